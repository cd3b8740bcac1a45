#include "ArchiveText.h"

#include "ArchiveRecords.h"

namespace cairn {

HRESULT StringToBstr(ArchiveHeap& heap, uint32_t offset, BSTR* out) {
  *out = nullptr;
  std::string text;
  if (offset != 0 && FAILED(ReadString(heap, offset, &text))) return E_FAIL;
  *out = AnsiToBstr(text);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace cairn
