// The launcher's message boxes: texts and captions from its string table, no owner window.
#pragma once

#include <windows.h>

namespace cairn {
namespace sfx {

// Shows string text with string caption and the given icon (MB_ICONHAND, MB_ICONWARNING).
void ShowMessage(HINSTANCE instance, UINT text, UINT caption, UINT icon);

}  // namespace sfx
}  // namespace cairn
