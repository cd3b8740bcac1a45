// CairnHistory, the property-sheet handler of every file and folder: the shell gives it the item
// (a one-path file list) and it adds the History page for that path.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "ComObject.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

class CairnHistory final : public ComObject<CairnHistory, ICairnHistory, IShellExtInit, IShellPropSheetExt> {
 public:
  CairnHistory() = default;

  // Initialize: the data's file list, which must name exactly one file or folder; E_FAIL without
  // data or for several items, the data's failure to give a file list as it is.
  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) override;
  // AddPages: the History page; E_FAIL before Initialize, or when the page cannot be made or is
  // refused.
  STDMETHODIMP AddPages(LPFNSVADDPROPSHEETPAGE add, LPARAM parameter) override;
  // ReplacePage: E_NOTIMPL.
  STDMETHODIMP ReplacePage(EXPPS page, LPFNSVADDPROPSHEETPAGE replace, LPARAM parameter) override;

 private:
  friend ComObject;
  ~CairnHistory() = default;

  std::wstring path_;
};

}  // namespace shell
}  // namespace cairn
