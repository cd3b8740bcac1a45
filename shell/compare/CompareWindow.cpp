#include "CompareWindow.h"

#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BackgroundWork.h"
#include "Handle.h"
#include "LineDifference.h"
#include "Module.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

// Larger files are compared as bytes: a line difference of them would not be read anyway.
constexpr uint64_t kTextLimit = 16u << 20;
constexpr DWORD kPiece = 1u << 20;
constexpr int kSummaryHeight = 26;
constexpr int kMarkWidth = 24, kNumberWidth = 50;
constexpr COLORREF kChangedColor = RGB(255, 244, 196), kRemovedColor = RGB(255, 218, 218),
                   kAddedColor = RGB(214, 245, 214);

std::wstring Loaded(UINT id) {
  const wchar_t* text = nullptr;
  const int n = LoadStringW(Module::Instance(), id, reinterpret_cast<wchar_t*>(&text), 0);
  return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

// The string with %1, %2, ... filled in by the texts.
std::wstring Formatted(UINT id, const std::vector<std::wstring>& texts) {
  std::vector<DWORD_PTR> arguments;
  for (const std::wstring& text : texts) arguments.push_back(reinterpret_cast<DWORD_PTR>(text.c_str()));
  const std::wstring format = Loaded(id);
  wchar_t* result = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                     FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                 format.c_str(), 0, 0, reinterpret_cast<wchar_t*>(&result), 0,
                                 reinterpret_cast<va_list*>(arguments.data()));
  std::wstring text = n > 0 && result != nullptr ? std::wstring(result, n) : format;
  LocalFree(result);
  return text;
}

Handle OpenToRead(const std::wstring& path) {
  return Handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool ReadPiece(HANDLE file, std::string* piece) {
  piece->resize(kPiece);
  DWORD got = 0;
  if (!ReadFile(file, piece->data(), kPiece, &got, nullptr)) return false;
  piece->resize(got);
  return true;
}

// One side as read: its size, and its text when it reads as one.
struct Side {
  CompareSide given;
  bool read = false;
  uint64_t size = 0;
  std::optional<std::wstring> text;
};

// Text, when the bytes read as text: UTF-16 with its mark, UTF-8 (marked or valid), or the code
// page's; bytes with a zero in them are no text.
std::optional<std::wstring> AsText(const std::string& bytes) {
  auto decode = [](UINT codePage, DWORD flags, const char* data, size_t size) -> std::optional<std::wstring> {
    if (size == 0) return std::wstring();
    const int n = MultiByteToWideChar(codePage, flags, data, static_cast<int>(size), nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, data, static_cast<int>(size), wide.data(), n);
    return wide;
  };
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE' && bytes.size() % 2 == 0) {
    std::wstring wide((bytes.size() - 2) / 2, L'\0');
    for (size_t k = 0; k < wide.size(); ++k)
      wide[k] = static_cast<wchar_t>(static_cast<uint8_t>(bytes[2 + 2 * k]) |
                                     (static_cast<uint8_t>(bytes[3 + 2 * k]) << 8));
    return wide;
  }
  if (bytes.find('\0') != std::string::npos) return std::nullopt;
  const bool marked = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  const size_t skip = marked ? 3 : 0;
  if (std::optional<std::wstring> utf8 = decode(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + skip, bytes.size() - skip))
    return utf8;
  return decode(CP_ACP, 0, bytes.data(), bytes.size());
}

void ReadSide(Side* side) {
  Handle file = OpenToRead(side->given.path);
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.Get(), &size)) return;
  side->size = static_cast<uint64_t>(size.QuadPart);
  side->read = true;
  if (side->size > kTextLimit) return;
  std::string bytes, piece;
  while (ReadPiece(file.Get(), &piece) && !piece.empty()) bytes += piece;
  if (bytes.size() != side->size) {
    side->read = false;
    return;
  }
  side->text = AsText(bytes);
}

// The first offset where two files differ, read piece by piece; nullopt when equal, or *failed.
std::optional<uint64_t> FirstDifferenceOf(const Side& older, const Side& newer, bool* failed) {
  Handle a = OpenToRead(older.given.path), b = OpenToRead(newer.given.path);
  *failed = !a || !b;
  std::string x, y;
  uint64_t offset = 0;
  while (!*failed) {
    if (!ReadPiece(a.Get(), &x) || !ReadPiece(b.Get(), &y)) {
      *failed = true;
      break;
    }
    if (x.empty() && y.empty()) break;
    if (const std::optional<uint64_t> at = FirstDifference(x, y)) return offset + *at;
    offset += x.size();
  }
  return std::nullopt;
}

// What the window shows, made on its thread before it shows.
class Comparison {
 public:
  Comparison(const CompareSide& older, const CompareSide& newer) {
    older_.given = older;
    newer_.given = newer;
  }

  void Make() {
    ReadSide(&older_);
    ReadSide(&newer_);
    if (!older_.read || !newer_.read) {
      summary_ = Formatted(IDS_COMPARE_UNREADABLE, {(!older_.read ? older_ : newer_).given.title});
      return;
    }
    if (older_.text && newer_.text) {
      olderLines_ = SplitLines(*older_.text);
      newerLines_ = SplitLines(*newer_.text);
      rows_ = DifferenceRows(olderLines_, newerLines_);
      size_t counts[4] = {};
      for (const DifferenceRow& row : rows_) ++counts[static_cast<int>(row.kind)];
      summary_ = counts[0] == rows_.size() && *older_.text == *newer_.text
                     ? Loaded(IDS_COMPARE_SAME)
                     : Formatted(IDS_COMPARE_LINES, {std::to_wstring(counts[1]), std::to_wstring(counts[2]),
                                                     std::to_wstring(counts[3])});
      return;
    }
    bool failed = false;
    const std::optional<uint64_t> at = FirstDifferenceOf(older_, newer_, &failed);
    summary_ = Formatted(IDS_COMPARE_SIZES, {older_.given.title, std::to_wstring(older_.size), newer_.given.title,
                                             std::to_wstring(newer_.size)});
    if (failed) {
      summary_ += Formatted(IDS_COMPARE_UNREADABLE, {older_.given.title});
    } else if (at) {
      wchar_t hex[24];
      wsprintfW(hex, L"%I64X", *at);
      summary_ += Formatted(IDS_COMPARE_FIRST_DIFFERENCE, {std::to_wstring(*at), hex});
    } else {
      summary_ += Loaded(IDS_COMPARE_SAME);
    }
  }

  bool Textual() const { return older_.text && newer_.text && !rows_.empty(); }
  const std::wstring& Summary() const { return summary_; }
  const CompareSide& Older() const { return older_.given; }
  const CompareSide& Newer() const { return newer_.given; }
  const std::vector<DifferenceRow>& Rows() const { return rows_; }

  // The text of a cell: the mark, the older line's number and text, the newer line's.
  std::wstring Cell(size_t row, int column) const {
    const DifferenceRow& r = rows_[row];
    static const wchar_t* const kMarks[] = {L"", L"*", L"-", L"+"};
    switch (column) {
      case 0: return kMarks[static_cast<int>(r.kind)];
      case 1: return r.older == DifferenceRow::kNoLine ? L"" : std::to_wstring(r.older + 1);
      case 2: return r.older == DifferenceRow::kNoLine ? L"" : std::wstring(olderLines_[r.older]);
      case 3: return r.newer == DifferenceRow::kNoLine ? L"" : std::to_wstring(r.newer + 1);
      case 4: return r.newer == DifferenceRow::kNoLine ? L"" : std::wstring(newerLines_[r.newer]);
      default: return L"";
    }
  }

 private:
  Side older_, newer_;
  std::vector<std::wstring_view> olderLines_, newerLines_;  // into the sides' texts
  std::vector<DifferenceRow> rows_;
  std::wstring summary_;
};

class CompareWindow {
 public:
  explicit CompareWindow(std::unique_ptr<Comparison> comparison) : comparison_(std::move(comparison)) {}
  ~CompareWindow() {
    if (font_ != nullptr) DeleteObject(font_);
  }
  CompareWindow(const CompareWindow&) = delete;
  CompareWindow& operator=(const CompareWindow&) = delete;

  static bool Register() {
    WNDCLASSEXW type = {};
    type.cbSize = sizeof type;
    type.lpfnWndProc = Procedure;
    type.hInstance = Module::Instance();
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.lpszClassName = kCompareWindowClass;
    return RegisterClassExW(&type) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }

  // Creates the window, which uses this object until it is destroyed.
  HWND Create() {
    const std::wstring title = Formatted(IDS_COMPARE_TITLE, {comparison_->Older().title, comparison_->Newer().title});
    return CreateWindowExW(0, kCompareWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                           CW_USEDEFAULT, CW_USEDEFAULT, 900, 600, nullptr, nullptr, Module::Instance(), this);
  }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<CompareWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      PostQuitMessage(0);
      return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->OnMessage(window, message, wParam, lParam);
  }

  LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_CREATE:
        return MakeChildren(window) ? 0 : -1;
      case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
      case WM_SETFOCUS:
        SetFocus(comparison_->Textual() ? list_ : summary_);
        return 0;
      case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->hwndFrom == list_ && header->code == LVN_GETDISPINFOW) return Fill(reinterpret_cast<NMLVDISPINFOW*>(lParam));
        if (header->hwndFrom == list_ && header->code == NM_CUSTOMDRAW) return Paint(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
        break;
      }
      case WM_DESTROY:
        // Both files were read whole before the window showed.
        RemoveComparisonCopy(comparison_->Older().path);
        RemoveComparisonCopy(comparison_->Newer().path);
        return 0;
      case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) DestroyWindow(window);
        return 0;
      default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  bool MakeChildren(HWND window) {
    const bool textual = comparison_->Textual();
    summary_ = CreateWindowExW(0, WC_STATICW, comparison_->Summary().c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                               0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCompareSummaryId)),
                               Module::Instance(), nullptr);
    list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS |
                                (textual ? WS_VISIBLE : 0),
                            0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCompareListId)),
                            Module::Instance(), nullptr);
    if (summary_ == nullptr || list_ == nullptr) return false;
    SendMessageW(summary_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    font_ = CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
    if (font_ != nullptr) SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    const std::wstring line = Loaded(IDS_COMPARE_LINE);
    const std::wstring headers[] = {L"", line, comparison_->Older().title, line, comparison_->Newer().title};
    for (int column = 0; column < 5; ++column) {
      LVCOLUMNW entry = {};
      entry.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
      entry.fmt = column == 1 || column == 3 ? LVCFMT_RIGHT : LVCFMT_LEFT;
      entry.cx = column == 0 ? kMarkWidth : column % 2 == 1 ? kNumberWidth : 300;
      entry.pszText = const_cast<wchar_t*>(headers[column].c_str());
      SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&entry));
    }
    ListView_SetItemCountEx(list_, static_cast<int>(comparison_->Rows().size()), 0);
    return true;
  }

  void Layout(int width, int height) {
    if (comparison_->Textual()) {
      MoveWindow(summary_, 8, 6, width - 16, kSummaryHeight - 8, TRUE);
      MoveWindow(list_, 0, kSummaryHeight, width, height - kSummaryHeight, TRUE);
      // The two texts share what the marks and line numbers leave.
      const int text = (width - kMarkWidth - 2 * kNumberWidth - GetSystemMetrics(SM_CXVSCROLL) - 4) / 2;
      ListView_SetColumnWidth(list_, 2, text > 80 ? text : 80);
      ListView_SetColumnWidth(list_, 4, text > 80 ? text : 80);
    } else {
      MoveWindow(summary_, 12, 12, width - 24, height - 24, TRUE);
    }
  }

  LRESULT Fill(NMLVDISPINFOW* info) {
    if (!(info->item.mask & LVIF_TEXT) || info->item.iItem < 0 ||
        static_cast<size_t>(info->item.iItem) >= comparison_->Rows().size())
      return 0;
    cell_ = comparison_->Cell(static_cast<size_t>(info->item.iItem), info->item.iSubItem);
    lstrcpynW(info->item.pszText, cell_.c_str(), info->item.cchTextMax);
    return 0;
  }

  LRESULT Paint(NMLVCUSTOMDRAW* draw) {
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT || draw->nmcd.dwItemSpec >= comparison_->Rows().size())
      return CDRF_DODEFAULT;
    switch (comparison_->Rows()[draw->nmcd.dwItemSpec].kind) {
      case RowKind::kChanged: draw->clrTextBk = kChangedColor; break;
      case RowKind::kRemoved: draw->clrTextBk = kRemovedColor; break;
      case RowKind::kAdded: draw->clrTextBk = kAddedColor; break;
      case RowKind::kSame: break;
    }
    return CDRF_NEWFONT;
  }

  std::unique_ptr<Comparison> comparison_;
  HWND summary_ = nullptr;
  HWND list_ = nullptr;
  HFONT font_ = nullptr;
  std::wstring cell_;
};

}  // namespace

HRESULT OpenCompareWindow(const CompareSide& older, const CompareSide& newer) {
  auto comparison = std::make_shared<std::unique_ptr<Comparison>>(std::make_unique<Comparison>(older, newer));
  const bool started = StartThread([comparison, copies = std::make_pair(older.path, newer.path)] {
    (*comparison)->Make();
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CompareWindow view(std::move(*comparison));
    HWND window = CompareWindow::Register() ? view.Create() : nullptr;
    if (window == nullptr) {
      RemoveComparisonCopy(copies.first);
      RemoveComparisonCopy(copies.second);
      return;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  });
  return started ? S_OK : E_FAIL;
}

std::wstring CompareText(UINT id, const std::wstring& text) { return Formatted(id, {text}); }

void ShowCompareMessage(HWND owner, UINT id, const std::wstring& text) {
  const std::wstring message = Formatted(id, {text}), caption = Loaded(IDS_COMPARE_CAPTION);
  MessageBoxW(owner, message.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace shell
}  // namespace cairn
