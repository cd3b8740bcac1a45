// Items leaving the archive view: copied to the clipboard or dragged out, as the folder's data
// object for the selection, whose files are written when the receiver asks for them.
#include "NsxViewDlg.h"

#include <ole2.h>

#include "nsx12.h"

namespace cairn {
namespace shell {

bool CNsxViewDlg::Copy() {
  std::vector<LPCITEMIDLIST> items = Items(true);
  ComPtr<IDataObject> data;
  return !items.empty() &&
         SUCCEEDED(host_->Folder()->GetUIObjectOf(dialog_, static_cast<UINT>(items.size()), items.data(),
                                                  IID_IDataObject, nullptr, data.OutVoid())) &&
         SUCCEEDED(OleSetClipboard(data.Get()));
}

void CNsxViewDlg::StartDrag() {
  std::vector<LPCITEMIDLIST> items = Items(true);
  const DWORD allowed = Abilities(items, SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANLINK) &
                        (DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK);
  if (allowed == 0) return;
  ComPtr<IDataObject> data;
  ComPtr<IDropSource> source;
  if (FAILED(host_->Folder()->GetUIObjectOf(dialog_, static_cast<UINT>(items.size()), items.data(), IID_IDataObject,
                                            nullptr, data.OutVoid())) ||
      FAILED(CoCreateInstance(CLSID_CairnDropSource, nullptr, CLSCTX_INPROC_SERVER, IID_IDropSource,
                              source.OutVoid()))) {
    MessageBeep(0);
    return;
  }
  DWORD effect = DROPEFFECT_NONE;
  DoDragDrop(data.Get(), source.Get(), allowed, &effect);
}

}  // namespace shell
}  // namespace cairn
