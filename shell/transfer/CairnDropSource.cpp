#include "CairnDropSource.h"

namespace cairn {
namespace shell {

STDMETHODIMP CairnDropSource::QueryContinueDrag(BOOL escape, DWORD keys) {
  if (escape) return DRAGDROP_S_CANCEL;
  if (!started_) {
    started_ = true;
    buttons_ = keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
  }
  return (keys & buttons_) != 0 ? S_OK : DRAGDROP_S_DROP;
}

STDMETHODIMP CairnDropSource::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }

}  // namespace shell
}  // namespace cairn
