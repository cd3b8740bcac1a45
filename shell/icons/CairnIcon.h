// CairnIcon, the icon handler of one archive item: a snapshot shows the extension's snapshot
// icon, a stored folder the system's folder icon, a stored file the system's icon for its type.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "ComObject.h"
#include "nsx12.h"

// The toolchain's headers give IExtractIconA no __uuidof; the identifier is the shell's.
__CRT_UUID_DECL(IExtractIconA, 0x000214eb, 0x0000, 0x0000, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)

namespace cairn {
namespace shell {

class CairnIcon final : public ComObject<CairnIcon, ICairnIcon, IExtractIconA> {
 public:
  // Initialize: the item's Name (cut to 259 characters), attributes and whether it is a snapshot.
  STDMETHODIMP Initialize(LPSTR name, long attributes, long snapshot) override;
  // GetIconLocation: the location text (the start of the cache key), index 1 for the open icon and 0
  // otherwise, flags GIL_NOTFILENAME | GIL_PERCLASS.
  STDMETHODIMP GetIconLocation(UINT flags, LPSTR file, UINT size, int* index, UINT* outFlags) override;
  // Extract: the large and small icons of a location; S_FALSE for an index other than 0 or 1, an
  // unknown location or a type without an icon.
  STDMETHODIMP Extract(LPCSTR file, UINT index, HICON* large, HICON* small, UINT sizes) override;

 private:
  bool snapshot_ = false;
  std::string name_;
  DWORD attributes_ = 0;
};

}  // namespace shell
}  // namespace cairn
