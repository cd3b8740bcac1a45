// Items dragged out of the archive view: the folder's data object for the selection, whose files
// are written when the receiver asks for them.
#include "NsxViewDlg.h"

#include <ole2.h>

#include "ItemVerbs.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

void CNsxViewDlg::StartDrag() {
  const std::optional<Selection> selected = Selected();
  if (!selected) return;
  const DWORD allowed = Abilities(selected->Lists(), SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANLINK) &
                        (DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK);
  if (allowed == 0) return;
  const ComPtr<IDataObject> data = SelectionData(*selected, dialog_);
  ComPtr<IDropSource> source;
  if (!data || FAILED(CoCreateInstance(CLSID_CairnDropSource, nullptr, CLSCTX_INPROC_SERVER, IID_IDropSource,
                                       source.OutVoid()))) {
    MessageBeep(0);
    return;
  }
  DWORD effect = DROPEFFECT_NONE;
  DoDragDrop(data.Get(), source.Get(), allowed, &effect);
}

}  // namespace shell
}  // namespace cairn
