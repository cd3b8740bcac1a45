// The archive view as a drop target: files dropped onto it become a new snapshot; items dragged
// out of an archive (the extension's own data objects) are refused.
#include "ArchiveWork.h"
#include "CairnView.h"
#include "FileList.h"

namespace cairn {
namespace shell {

STDMETHODIMP CCairnView::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  if (data == nullptr || effect == nullptr) return E_INVALIDARG;
  dropEffect_ = OffersOwnData(data) ? DROPEFFECT_NONE : DROPEFFECT_COPY;
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
  if (OffersOwnData(data)) return E_FAIL;
  // The paths are taken and the medium released before this returns, whatever becomes of the
  // worker.
  if (!StartDrop(dialog_.Order(), data)) {
    MessageBeep(0);
    return E_FAIL;
  }
  *effect = DROPEFFECT_COPY;
  return S_OK;
}

}  // namespace shell
}  // namespace cairn
