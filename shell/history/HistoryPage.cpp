#include "HistoryPage.h"

#include <commctrl.h>
#include <commdlg.h>

#include <functional>
#include <memory>
#include <vector>

#include "AnsiText.h"
#include "ArchiveOperations.h"
#include "BackgroundWork.h"
#include "ComApartment.h"
#include "Compare.h"
#include "DialogBase.h"
#include "HistoryLookup.h"
#include "HistoryResource.h"
#include "KnownArchives.h"
#include "Module.h"
#include "RestoreWriter.h"
#include "TimeText.h"

namespace cairn {
namespace shell {
namespace {

constexpr uint64_t kKilo = 1024;

std::wstring Text(UINT id) { return FromAnsi(ShellString(id)); }

// A text with each %s replaced, in order, by the values.
std::wstring Fill(UINT id, const std::vector<std::wstring>& values) {
  std::wstring text = Text(id);
  size_t from = 0;
  for (const std::wstring& value : values) {
    const size_t at = text.find(L"%s", from);
    if (at == std::wstring::npos) break;
    text.replace(at, 2, value);
    from = at + value.size();
  }
  return text;
}

// The size as the view's Size column shows it: whole KB, rounded up; nothing for a folder.
std::wstring SizeText(const HistoryEntry& entry) {
  if (entry.folder) return std::wstring();
  return std::to_wstring((entry.size + kKilo - 1) / kKilo) + L"KB";
}

std::wstring FileName(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

class HistoryPage final : public DialogBase {
 public:
  explicit HistoryPage(std::wstring path) : path_(std::move(path)) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM) override {
    switch (message) {
      case WM_INITDIALOG:
        OnInit();
        return TRUE;
      case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) OnButton(LOWORD(wParam));
        return TRUE;
      default:
        return FALSE;
    }
  }

  HWND List() const { return GetDlgItem(Window(), IDC_HISTORY_LIST); }

  void OnInit() {
    HWND list = List();
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    const struct {
      UINT text;
      int width;
    } columns[] = {{IDS_HISTORY_DATE, 115}, {IDS_HISTORY_SIZE, 45}, {IDS_HISTORY_SNAPSHOT, 75},
                   {IDS_HISTORY_ARCHIVE, 300}};
    for (int i = 0; i < 4; ++i) {
      std::wstring title = Text(columns[i].text);
      LVCOLUMNW column = {};
      column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
      column.pszText = &title[0];
      column.cx = columns[i].width;
      column.iSubItem = i;
      SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    SetDlgItemTextW(Window(), IDC_HISTORY_COMMAND, CompareCommand().c_str());
    entries_ = FindHistory(path_, KnownArchives());
    // Archives that cannot be read are listed after the revisions, so none read means no history
    // found (in the archives that could be read).
    if (entries_.empty() || !entries_.front().readable) {
      AddRow(-1, {Text(IDS_HISTORY_NONE)});
      for (int button : {IDC_HISTORY_OPEN, IDC_HISTORY_RESTORE, IDC_HISTORY_SAVE_AS, IDC_HISTORY_COMPARE})
        EnableWindow(GetDlgItem(Window(), button), FALSE);
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
      const HistoryEntry& entry = entries_[i];
      if (!entry.readable) {
        AddRow(static_cast<int>(i), {Text(IDS_HISTORY_UNREADABLE), L"", L"", entry.archive});
        continue;
      }
      AddRow(static_cast<int>(i), {FromAnsi(DateTime(entry.snapshotTime)), SizeText(entry), entry.snapshotName,
                                   entry.archive});
    }
    // The date, the snapshot's name and the archive's path fit their texts (the list scrolls for a
    // long path), as the user's date format makes them.
    if (entries_.empty() || !entries_.front().readable) return;
    for (int column : {0, 2}) SendMessageW(list, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE_USEHEADER);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 3, LVSCW_AUTOSIZE);
  }

  void AddRow(int entry, const std::vector<std::wstring>& cells) {
    HWND list = List();
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::wstring first = cells.front();
    item.pszText = &first[0];
    item.lParam = entry;
    const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (size_t column = 1; column < cells.size(); ++column) {
      std::wstring cell = cells[column];
      LVITEMW sub = {};
      sub.iSubItem = static_cast<int>(column);
      sub.pszText = &cell[0];
      SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
    }
  }

  // The readable entries of the selected rows, in the list's order (newest first).
  std::vector<const HistoryEntry*> Selected() const {
    std::vector<const HistoryEntry*> chosen;
    HWND list = List();
    for (int row = -1; (row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0;) {
      LVITEMW item = {};
      item.mask = LVIF_PARAM;
      item.iItem = row;
      SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
      if (item.lParam >= 0 && static_cast<size_t>(item.lParam) < entries_.size() && entries_[item.lParam].readable)
        chosen.push_back(&entries_[item.lParam]);
    }
    return chosen;
  }

  void Tell(const std::wstring& message, UINT icon = MB_ICONEXCLAMATION) const { Say(Window(), message, icon); }

  static void Say(HWND owner, const std::wstring& message, UINT icon = MB_ICONEXCLAMATION) {
    MessageBoxW(owner, message.c_str(), Text(IDS_HISTORY_CAPTION).c_str(), MB_OK | icon);
  }

  // Reading and writing a revision may take long: it runs on a thread of its own, in an apartment
  // of its own, with the entry's archive opened there; the page only owns its messages.
  void OnWorker(const HistoryEntry& entry, std::function<void(ICairnRevision*, HWND)> work) const {
    const bool started = StartThread([entry, path = path_, owner = Window(), work = std::move(work)] {
      const ComApartment apartment;
      ComPtr<ICairnRevision> revision;
      if (!apartment.Started() || FAILED(OpenEntryRevision(entry, path, &revision)))
        return Say(owner, Text(IDS_HISTORY_NOT_OPENED));
      work(revision.Get(), owner);
    });
    if (!started) Tell(Text(IDS_HISTORY_NOT_OPENED));
  }

  void OnButton(UINT id) {
    if (id == IDC_HISTORY_SET_COMMAND) return SetCommand();
    const std::vector<const HistoryEntry*> chosen = Selected();
    if (id == IDC_HISTORY_COMPARE) return Compare(chosen);
    if (chosen.size() != 1) return;
    const HistoryEntry& entry = *chosen.front();
    switch (id) {
      case IDC_HISTORY_OPEN:
        return OnWorker(entry, [storedName = entry.storedName](ICairnRevision* revision, HWND owner) {
          std::string copy;
          if (!DisplayRevision(owner, revision, storedName, &copy)) Say(owner, Text(IDS_HISTORY_NOT_OPENED));
        });
      case IDC_HISTORY_RESTORE:
        if (GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES &&
            MessageBoxW(Window(), Fill(IDS_HISTORY_CONFIRM_RESTORE, {path_, entry.snapshotName}).c_str(),
                        Text(IDS_HISTORY_CAPTION).c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
          return;
        return Write(entry, path_);
      case IDC_HISTORY_SAVE_AS: {
        std::wstring target;
        if (AskTarget(&target)) Write(entry, target);
        return;
      }
      default:
        return;
    }
  }

  // Writes the revision by the restore rules: whole under a temporary name, then in the place of
  // what stood there (which the person agreed to), with its stored times.
  void Write(const HistoryEntry& entry, const std::wstring& target) const {
    OnWorker(entry, [storedName = entry.storedName, target](ICairnRevision* revision, HWND owner) {
      RestoreWriter writer(RestoreOptions{}, nullptr);
      if (!writer.WriteObject(revision, storedName, target)) Say(owner, Fill(IDS_HISTORY_NOT_WRITTEN, {target}));
    });
  }

  bool AskTarget(std::wstring* target) const {
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring name = FileName(path_);
    name.copy(file.data(), file.size() - 1);
    const std::wstring title = Text(IDS_HISTORY_SAVE_TITLE);
    OPENFILENAMEW box = {};
    box.lStructSize = sizeof box;
    box.hwndOwner = Window();
    box.lpstrFile = file.data();
    box.nMaxFile = static_cast<DWORD>(file.size());
    box.lpstrTitle = title.c_str();
    box.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&box)) return false;
    *target = file.data();
    return !target->empty();
  }

  // Two revisions, older against newer; or one against the file on disk, written on a worker. The
  // copies written go again when one cannot be written; once shown, the compare wing has them.
  void Compare(const std::vector<const HistoryEntry*>& chosen) {
    if (chosen.empty() || chosen.size() > 2) return Tell(Text(IDS_HISTORY_PICK_COMPARE), MB_ICONINFORMATION);
    std::vector<HistoryEntry> entries;
    for (const HistoryEntry* entry : chosen) entries.push_back(*entry);
    const bool started = StartThread([entries, path = path_, owner = Window()] {
      const ComApartment apartment;
      CompareSide sides[2];
      std::vector<std::wstring> copies;
      bool written = apartment.Started();
      for (size_t i = 0; written && i < entries.size(); ++i) {
        ComPtr<ICairnRevision> revision;
        // The list is newest first: the older side is the later row.
        CompareSide& side = sides[entries.size() == 2 ? 1 - i : 0];
        written = SUCCEEDED(OpenEntryRevision(entries[i], path, &revision)) &&
                  SUCCEEDED(WriteRevisionForCompare(revision.Get(), entries[i].storedName, entries[i].revision,
                                                    &side.path));
        if (written) copies.push_back(side.path);
        side.title = FileName(path) + L";" + std::to_wstring(entries[i].revision);
      }
      if (entries.size() == 1) {
        sides[1].path = path;
        sides[1].title = Fill(IDS_HISTORY_CURRENT_FILE, {FileName(path)});
      }
      // The compare wing tells of its own failures.
      if (written) {
        ShowComparison(owner, sides[0], sides[1]);
        return;
      }
      for (const std::wstring& copy : copies) RemoveComparisonCopy(copy);
      Say(owner, Text(IDS_HISTORY_NOT_COMPARED));
    });
    if (!started) Tell(Text(IDS_HISTORY_NOT_COMPARED));
  }

  void SetCommand() {
    HWND field = GetDlgItem(Window(), IDC_HISTORY_COMMAND);
    std::wstring command(static_cast<size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    command.resize(GetWindowTextW(field, &command[0], static_cast<int>(command.size())));
    if (FAILED(SetCompareCommand(command))) Tell(Text(IDS_HISTORY_COMMAND_BAD));
  }

  const std::wstring path_;
  std::vector<HistoryEntry> entries_;
  // A page handed to the shell's sheet runs this module's code until the sheet lets it go.
  ModuleLock lock_;
};

}  // namespace

HPROPSHEETPAGE CreateHistoryPage(const std::wstring& path) {
  auto page = std::make_unique<HistoryPage>(path);
  PROPSHEETPAGEW sheetPage = {};
  sheetPage.dwSize = sizeof sheetPage;
  sheetPage.dwFlags = PSP_USECALLBACK;
  sheetPage.hInstance = Module::Instance();
  sheetPage.pszTemplate = MAKEINTRESOURCEW(IDD_HISTORY);
  sheetPage.pfnDlgProc = &DialogBase::PageProc;
  sheetPage.pfnCallback = &DialogBase::DeleteWithPage;
  sheetPage.lParam = page->Parameter();
  HPROPSHEETPAGE made = CreatePropertySheetPageW(&sheetPage);
  // From here the sheet's release deletes it.
  if (made != nullptr) page.release();
  return made;
}

}  // namespace shell
}  // namespace cairn
