#include "Messages.h"

namespace cairn {
namespace sfx {

void ShowMessage(HINSTANCE instance, UINT text, UINT caption, UINT icon) {
  // A string that fails to load is shown empty.
  wchar_t message[512] = {}, title[64] = {};
  LoadStringW(instance, text, message, ARRAYSIZE(message));
  LoadStringW(instance, caption, title, ARRAYSIZE(title));
  MessageBoxW(nullptr, message, title, MB_OK | icon);
}

}  // namespace sfx
}  // namespace cairn
