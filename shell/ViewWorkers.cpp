#include "ViewWorkers.h"

#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "CairnFolder.h"
#include "CairnView.h"
#include "ShellText.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

enum Kind { kSnapshot, kDelete, kPaste, kDrop, kKinds };

// One busy mark per kind, for the whole process.
std::atomic<bool> g_busy[kKinds];

// A global memory block the job owns.
class Global {
 public:
  Global() = default;
  ~Global() { Reset(); }
  Global(const Global&) = delete;
  Global& operator=(const Global&) = delete;
  void Reset() {
    if (memory_ != nullptr) GlobalFree(memory_);
    memory_ = nullptr;
  }
  void Adopt(HGLOBAL memory) {
    Reset();
    memory_ = memory;
  }
  HGLOBAL Get() const { return memory_; }

 private:
  HGLOBAL memory_ = nullptr;
};

// A one-dimensional SAFEARRAY of no BSTRs, destroyed with its owner.
struct EmptyList {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 0);
  EmptyList() = default;
  EmptyList(const EmptyList&) = delete;
  EmptyList& operator=(const EmptyList&) = delete;
  ~EmptyList() {
    if (array != nullptr) SafeArrayDestroy(array);
  }
};

struct Job {
  Kind kind = kSnapshot;
  bool refreshAtRoot = false;  // what the dialog does when the work succeeded
  ComPtr<ICairnView> hold;     // keeps the view alive while the worker runs
  CCairnView* view = nullptr;
  HWND dialog = nullptr;
  bool treePane = false;  // the browser showed a tree pane when the work was asked for
  std::vector<std::vector<uint8_t>> items;  // the bytes of each item to delete
  Global files;                              // the files to add (a DROPFILES block)
  HMODULE module = nullptr;                  // a reference on this module for the thread's life
};

// True when the block is a DROPFILES header followed, inside the block, by its list of names
// ending with an empty name: what the platform's DragQueryFile reads from it.
bool IsSoundDropList(const uint8_t* data, size_t size) {
  DROPFILES header;
  if (size < sizeof header) return false;
  std::memcpy(&header, data, sizeof header);
  const size_t unit = header.fWide ? sizeof(wchar_t) : 1;
  if (header.pFiles < sizeof header || header.pFiles >= size) return false;
  size_t length = 0;  // of the name being read
  for (size_t at = header.pFiles; at + unit <= size; at += unit) {
    const bool zero = data[at] == 0 && (unit == 1 || data[at + 1] == 0);
    if (!zero) {
      ++length;
      continue;
    }
    if (length == 0) return true;
    length = 0;
  }
  return false;
}

// A private copy of a CF_HDROP block; null when the block is not a sound drop list.
HGLOBAL CopyDropList(HGLOBAL source) {
  const SIZE_T size = source != nullptr ? GlobalSize(source) : 0;
  const auto* from = size > 0 ? static_cast<const uint8_t*>(GlobalLock(source)) : nullptr;
  if (from == nullptr) return nullptr;
  HGLOBAL copy = nullptr;
  if (IsSoundDropList(from, size) && (copy = GlobalAlloc(GMEM_MOVEABLE, size)) != nullptr) {
    if (void* to = GlobalLock(copy)) {
      std::memcpy(to, from, size);
      GlobalUnlock(copy);
    } else {
      GlobalFree(copy);
      copy = nullptr;
    }
  }
  GlobalUnlock(source);
  return copy;
}

std::unique_ptr<Job> NewJob(Kind kind, bool refreshAtRoot, CCairnView* view, HWND dialog) {
  auto job = std::make_unique<Job>();
  job->kind = kind;
  job->refreshAtRoot = refreshAtRoot;
  job->hold = ComPtr<ICairnView>(static_cast<ICairnView*>(view));
  job->view = view;
  job->dialog = dialog;
  // The browser is asked here, on its own thread.
  HWND tree = nullptr;
  IShellBrowser* browser = view->Browser();
  job->treePane = browser != nullptr && SUCCEEDED(browser->GetControlWindow(FCW_TREE, &tree)) && tree != nullptr;
  return job;
}

bool Run(Job& job) {
  CCairnFolder* folder = job.view->Folder();
  switch (job.kind) {
    case kSnapshot: {
      const EmptyList add, remove;
      return add.array != nullptr && remove.array != nullptr &&
             folder->CreateSnapshotFromLists(add.array, remove.array, job.dialog);
    }
    case kDelete: {
      std::vector<Item> items;
      for (const std::vector<uint8_t>& bytes : job.items) {
        const std::optional<Item> item = ReadItem(bytes.data(), bytes.size());
        if (!item) return false;
        items.push_back(*item);
      }
      return folder->DeleteItems(items.data(), items.size(), job.dialog);
    }
    case kPaste:
    case kDrop:
      return folder->AddDroppedFiles(static_cast<HDROP>(job.files.Get()), job.dialog);
    default:
      return false;
  }
}

void Work(Job& job) {
  std::atomic<bool>& busy = g_busy[job.kind];
  if (busy.exchange(true)) return;  // another worker of this kind is at work: dropped
  if (SUCCEEDED(CoInitialize(nullptr))) {
    if (Run(job)) {
      if (job.treePane) SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, job.view->Folder()->ArchivePath().c_str(), nullptr);
      // The dialog finishes on the browser's thread, when its window is still there.
      if (IsWindow(job.dialog)) PostMessageW(job.dialog, kWorkerDoneMessage, job.refreshAtRoot, 0);
    } else {
      MessageBeep(0);
    }
    job.files.Reset();
    CoUninitialize();
  }
  busy = false;
}

DWORD WINAPI WorkerMain(void* parameter) {
  HMODULE module = static_cast<Job*>(parameter)->module;
  {
    std::unique_ptr<Job> job(static_cast<Job*>(parameter));
    Work(*job);
  }  // the view is released here, after the busy mark
  // The module may be unloaded once the thread no longer runs its code.
  FreeLibraryAndExitThread(module, 0);
  return 0;
}

bool Start(std::unique_ptr<Job> job) {
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&WorkerMain),
                          &job->module))
    return false;
  HANDLE thread = CreateThread(nullptr, 0, &WorkerMain, job.get(), 0, nullptr);
  if (thread == nullptr) {
    FreeLibrary(job->module);
    return false;
  }
  job.release();  // the thread owns it now
  CloseHandle(thread);
  return true;
}

// A confirmation text: one with the item's name for each "%s", or several with their count.
std::string ConfirmationText(UINT format, const std::string& name, int count) {
  char text[1200];
  if (count == 1)
    std::snprintf(text, sizeof text, ShellString(format).c_str(), name.c_str(), name.c_str());
  else
    std::snprintf(text, sizeof text, ShellString(format).c_str(), count);
  return text;
}

}  // namespace

bool StartSnapshotWorker(CCairnView* view, HWND dialog) {
  return Start(NewJob(kSnapshot, false, view, dialog));
}

bool ConfirmAndDelete(CCairnView* view, HWND dialog, const std::vector<LPCITEMIDLIST>& items) {
  // The thread gets copies: the list view owns its item lists.
  auto job = NewJob(kDelete, true, view, dialog);
  std::string first;
  for (LPCITEMIDLIST list : items) {
    const std::optional<Item> item = FirstItem(list);
    if (!item) return false;
    if (job->items.empty()) first = std::string(item->name);
    job->items.emplace_back(item->data, item->data + item->size);
  }
  if (job->items.empty()) return false;
  const bool root = view->AtRoot();
  const int count = static_cast<int>(job->items.size());
  const std::string caption = ShellString(root ? IDS_CONFIRM_SNAPSHOT_DELETE : IDS_CONFIRM_ITEM_DELETE);
  const UINT format = count == 1 ? (root ? IDS_DELETE_SNAPSHOT_TEXT : IDS_DELETE_ITEM_TEXT)
                                  : (root ? IDS_DELETE_SNAPSHOTS_TEXT : IDS_DELETE_ITEMS_TEXT);
  const std::string text = ConfirmationText(format, first, count);
  if (MessageBoxA(dialog, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return true;
  return Start(std::move(job));
}

bool StartPasteWorker(CCairnView* view, HWND dialog) {
  if (!OpenClipboard(dialog)) return false;
  HGLOBAL files = CopyDropList(GetClipboardData(CF_HDROP));
  CloseClipboard();
  if (files == nullptr) return false;
  auto job = NewJob(kPaste, true, view, dialog);
  job->files.Adopt(files);
  return Start(std::move(job));
}

bool StartDropWorker(CCairnView* view, HWND dialog, STGMEDIUM* medium) {
  // The worker gets a private copy; the medium (which may carry a releasing object of this
  // thread's apartment) is released here, on the thread that received it.
  HGLOBAL files = medium->tymed == TYMED_HGLOBAL ? CopyDropList(medium->hGlobal) : nullptr;
  ReleaseStgMedium(medium);
  if (files == nullptr) return false;
  auto job = NewJob(kDrop, true, view, dialog);
  job->files.Adopt(files);
  return Start(std::move(job));
}

void FinishWork(CCairnView* view, bool refreshAtRoot) {
  if (refreshAtRoot && view->AtRoot()) {
    if (FAILED(view->Refresh())) MessageBeep(0);
    return;
  }
  // The archive root: the folder's own location.
  IShellBrowser* browser = view->Browser();
  LPCITEMIDLIST root = view->Folder()->Location();
  if (browser == nullptr || root == nullptr ||
      FAILED(browser->BrowseObject(root, SBSP_ABSOLUTE | SBSP_ALLOW_AUTONAVIGATE)))
    MessageBeep(0);
}

}  // namespace shell
}  // namespace cairn
