// CairnShellExt, the extension's context-menu and property-sheet handler. Explorer loads it for
// an archive file (and a self-extracting one): Snapshot, Restore Latest, the conversion and Check
// Archive in its menu, the Settings and schedule pages in its properties. The archive's folder makes it for an
// item inside the archive: Explore, Open, Restore, Copy, Paste, Delete, Rename and Properties.
// Each command is a verb of the verbs wing; long ones run on workers of their own.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>

#include "ArchiveWork.h"
#include "ComApartment.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "FolderLevel.h"
#include "Pidl.h"
#include "Selection.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

class CairnShellExt final
    : public ComObject<CairnShellExt, ICairnShellExt, IShellPropSheetExt, IContextMenu, IShellExtInit> {
 public:
  CairnShellExt() = default;

  // InitializeExt: the folder's item menu, for the first of the items (a list each); the count is
  // not looked at. An item that is not one of ours is not kept. E_INVALIDARG without a folder,
  // E_NOINTERFACE for a folder that is not this extension's.
  STDMETHODIMP InitializeExt(ICairnFolder* folder, _ITEM** lists, int count) override;

  // AddPages: the archive file's Settings page and, where the Task Scheduler offers one, the
  // schedule page of its Autosnap job; E_FAIL for no archive, or a page that cannot be made or is
  // refused.
  STDMETHODIMP AddPages(LPFNSVADDPROPSHEETPAGE add, LPARAM parameter) override;
  // ReplacePage: E_NOTIMPL.
  STDMETHODIMP ReplacePage(EXPPS page, LPFNSVADDPROPSHEETPAGE replace, LPARAM parameter) override;

  // QueryContextMenu: with a folder the item menu merged in at the top (Restore its default), as
  // a success code of one more than the highest offset used; without one the archive file's
  // commands at indexMenu, code 81. E_FAIL without an archive (no items).
  STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last, UINT flags) override;
  // InvokeCommand: the command at the offset, under the wait cursor; E_INVALIDARG for a string
  // verb or an offset that is none of ours, E_FAIL when the command cannot be done or started.
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  // GetCommandString: the verb "rename" (ANSI or wide) and the ANSI help texts of the archive
  // file's commands; E_NOTIMPL for anything else.
  STDMETHODIMP GetCommandString(UINT_PTR offset, UINT kind, UINT* reserved, CHAR* name, UINT size) override;

  // Initialize: the one archive file (class "Cairn Archive"), or self-extracting archive (class
  // "Application"), of the data's file list; nothing for other classes or several files. E_FAIL
  // without data; the data's failure to give a file list as it is.
  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) override;

 private:
  friend ComObject;
  ~CairnShellExt();

  // Holds the archive's folder, made for the archive file when none is held yet; E_FAIL when it
  // cannot be had.
  HRESULT HoldFolder();
  HRESULT AddItemMenu(HMENU menu, UINT first, UINT last);
  HRESULT AddFileMenu(HMENU menu, UINT index, UINT first);
  // The commands (ShellExtCommands.cpp).
  HRESULT Run(UINT offset, const CMINVOKECOMMANDINFO& info);
  HRESULT Execute(const char* verb, const char* file, const char* parameters, const CMINVOKECOMMANDINFO& info) const;
  HRESULT Convert(const CMINVOKECOMMANDINFO& info) const;
  // What the menu's workers are given: the invoking window owns their messages, and the shell is
  // told when the archive changed.
  WorkOrder Order() const;
  // The item given, checked, of the folder held; nullopt without one.
  std::optional<Selection> Chosen();
  HRESULT Restore();
  HRESULT Properties();
  HRESULT Copy();
  HRESULT Paste();
  HRESULT Delete();

  ComPtr<ICairnFolder> folder_;
  FolderLevel level_;   // of the folder held
  CPidl item_;          // the first item given; empty when none
  HWND owner_ = nullptr;
  std::string archivePath_;
  // COM started for a folder made on demand, on the thread that made it; ended there, after the
  // folder is let go.
  std::optional<ComApartment> com_;
};

}  // namespace shell
}  // namespace cairn
