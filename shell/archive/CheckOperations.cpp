// Checking a whole archive from Explorer: the engine's check, on an archive object of its own
// loaded for reading, with its progress and its stop handed through.
#include "ArchiveOperations.h"

#include <utility>

#include "ComObject.h"
#include "SafeArray.h"

namespace cairn {
namespace shell {
namespace {

// Tells the caller's count of each object checked, and asks its stop.
class CheckCallback final : public ComObject<CheckCallback, ICairnCheckProgress> {
 public:
  // Checked: S_FALSE once the caller asks the check to stop.
  STDMETHODIMP Checked(ULONG done, ULONG total) override {
    if (count_) count_(done, total);
    return stop_ && stop_() ? S_FALSE : S_OK;
  }

 private:
  friend ComObject;
  CheckCallback(const CheckCount& count, const CheckStop& stop) : count_(count), stop_(stop) {}
  ~CheckCallback() = default;

  CheckCount count_;
  CheckStop stop_;
};

// The engine's texts, four to a damaged item; a partial last item is left out.
std::vector<Damage> DamageOf(SAFEARRAY* texts) {
  std::vector<Damage> damage;
  VARTYPE type = VT_EMPTY;
  LONG low = 0, high = -1;
  if (texts == nullptr || SafeArrayGetDim(texts) != 1 || FAILED(SafeArrayGetVartype(texts, &type)) ||
      type != VT_BSTR || FAILED(SafeArrayGetLBound(texts, 1, &low)) || FAILED(SafeArrayGetUBound(texts, 1, &high)))
    return damage;
  std::vector<std::wstring> each;
  for (LONG i = low; i <= high; ++i) {
    BSTR text = nullptr;
    if (FAILED(SafeArrayGetElement(texts, &i, &text))) break;
    each.emplace_back(text != nullptr ? text : L"", text != nullptr ? SysStringLen(text) : 0);
    SysFreeString(text);
  }
  for (size_t i = 0; i + 4 <= each.size(); i += 4)
    damage.push_back(Damage{std::move(each[i]), std::move(each[i + 1]), std::move(each[i + 2]), std::move(each[i + 3])});
  return damage;
}

}  // namespace

CheckResult ArchiveOperations::CheckArchive(const CheckCount& count, const CheckStop& stop) const {
  CheckResult result;
  ComPtr<ICairnArchive> archive = ArchiveToRead();
  ComPtr<ICairnArchiveCheck> check;
  if (!archive || FAILED(archive.As(&check))) return result;
  ComPtr<ICairnCheckProgress> callback = ComPtr<ICairnCheckProgress>::Adopt(CheckCallback::New(count, stop));
  if (!callback) {
    result.hr = E_OUTOFMEMORY;
    return result;
  }
  SAFEARRAY* texts = nullptr;
  result.hr = check->Check(callback.Get(), &texts, &result.objects, &result.revisions);
  const SafeArray owned(texts);
  if (SUCCEEDED(result.hr)) result.damage = DamageOf(owned.Get());
  return result;
}

}  // namespace shell
}  // namespace cairn
