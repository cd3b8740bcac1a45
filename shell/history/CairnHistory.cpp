#include "CairnHistory.h"

#include <vector>

#include "FileList.h"
#include "HistoryPage.h"

namespace cairn {
namespace shell {

STDMETHODIMP CairnHistory::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  path_.clear();
  if (data == nullptr) return E_FAIL;
  std::vector<std::wstring> paths;
  const HRESULT hr = ReadFileList(data, &paths);
  if (FAILED(hr)) return hr;
  if (paths.size() != 1 || paths.front().empty()) return E_FAIL;
  path_ = paths.front();
  return S_OK;
}

STDMETHODIMP CairnHistory::AddPages(LPFNSVADDPROPSHEETPAGE add, LPARAM parameter) {
  if (add == nullptr || path_.empty()) return E_FAIL;
  HPROPSHEETPAGE page = CreateHistoryPage(path_);
  if (page == nullptr) return E_FAIL;
  if (!add(page, parameter)) {
    DestroyPropertySheetPage(page);
    return E_FAIL;
  }
  return S_OK;
}

STDMETHODIMP CairnHistory::ReplacePage(EXPPS, LPFNSVADDPROPSHEETPAGE, LPARAM) { return E_NOTIMPL; }

}  // namespace shell
}  // namespace cairn
