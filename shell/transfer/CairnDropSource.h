// CairnDropSource, the drop source of drags that start in an archive's view: the drag goes on
// while a mouse button that was down at its start stays down.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "ComObject.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

class CairnDropSource final : public ComObject<CairnDropSource, ICairnDropSource, IDropSource> {
 public:
  CairnDropSource() = default;

  // QueryContinueDrag: DRAGDROP_S_CANCEL after Escape; S_OK while one of the buttons (left, right,
  // middle) down at the first call stays down, else DRAGDROP_S_DROP.
  STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD keys) override;
  // GiveFeedback: the default cursors.
  STDMETHODIMP GiveFeedback(DWORD effect) override;

 private:
  friend ComObject;
  ~CairnDropSource() = default;

  bool started_ = false;
  DWORD buttons_ = 0;  // those down at the first call
};

}  // namespace shell
}  // namespace cairn
