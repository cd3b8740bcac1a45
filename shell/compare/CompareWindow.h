// The extension's own compare window: two files side by side. Text is shown as a line
// difference, changed lines marked; other contents by both sizes and the first byte that
// differs.
#pragma once

#include <windows.h>

#include <string>

#include "Compare.h"

namespace cairn {
namespace shell {

// The window's class, by which a test finds it; its list is the child with kCompareListId.
inline constexpr wchar_t kCompareWindowClass[] = L"CairnCompareWindow";
inline constexpr int kCompareListId = 14100;
inline constexpr int kCompareSummaryId = 14101;

// Reads both files and opens the window on a thread of its own, which keeps the module loaded
// while the window lives; returns once that thread runs, so no caller waits for the reading. The
// sides' comparison copies are removed when the window closes.
HRESULT OpenCompareWindow(const CompareSide& older, const CompareSide& newer);

// A string of the comparisons' own, its %1 filled with the text; and a message box of one.
std::wstring CompareText(UINT id, const std::wstring& text);
void ShowCompareMessage(HWND owner, UINT id, const std::wstring& text);

}  // namespace shell
}  // namespace cairn
