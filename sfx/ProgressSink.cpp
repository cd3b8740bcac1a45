#include "ProgressSink.h"

#include <commctrl.h>

#include "resource.h"

namespace cairn {
namespace sfx {

STDMETHODIMP ProgressSink::OnProgress(ULONG progress, ULONG progressMax, ULONG, LPCWSTR) {
  if (progressMax != 0) {
    // In 255-byte units, as the bar has always counted.
    SendDlgItemMessageW(dialog_, IDC_PROGRESS, PBM_SETRANGE32, 0, static_cast<LPARAM>(progressMax / 255));
    SendDlgItemMessageW(dialog_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(progress / 255), 0);
  }
  return abort_;
}

}  // namespace sfx
}  // namespace cairn
