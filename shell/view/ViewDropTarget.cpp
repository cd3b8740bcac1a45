// The archive view as a drop target: files dropped onto it become a new snapshot; items dragged
// out of an archive (the extension's own data objects) are refused.
#include "CairnView.h"
#include "ViewWorkers.h"

namespace cairn {
namespace shell {
namespace {

// The extension's own data objects offer this clipboard format as their marker.
constexpr CLIPFORMAT kOwnDataMarker = 4;

bool OffersMarker(IDataObject* data) {
  FORMATETC marker = {kOwnDataMarker, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  return data->QueryGetData(&marker) == S_OK;
}

}  // namespace

STDMETHODIMP CCairnView::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  if (data == nullptr || effect == nullptr) return E_INVALIDARG;
  dropEffect_ = OffersMarker(data) ? DROPEFFECT_NONE : DROPEFFECT_COPY;
  *effect = dropEffect_;
  return S_OK;
}

STDMETHODIMP CCairnView::DragOver(DWORD, POINTL, DWORD* effect) {
  if (effect == nullptr) return E_INVALIDARG;
  *effect = dropEffect_;
  return S_OK;
}

STDMETHODIMP CCairnView::DragLeave() { return S_OK; }

STDMETHODIMP CCairnView::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  if (data == nullptr || effect == nullptr) return E_INVALIDARG;
  *effect = DROPEFFECT_NONE;
  if (OffersMarker(data)) return E_FAIL;
  FORMATETC files = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  if (FAILED(data->GetData(&files, &medium))) {
    MessageBeep(0);
    return E_FAIL;
  }
  // The medium is released either way.
  if (!StartDropWorker(MakeWorkOrder(level_, browser_.Get(), dialog_.Window()), &medium)) {
    MessageBeep(0);
    return E_FAIL;
  }
  *effect = DROPEFFECT_COPY;
  return S_OK;
}

}  // namespace shell
}  // namespace cairn
