// CairnArchive's check of the whole archive: the portable check on the loaded archive, its
// findings handed out as texts.
#include "CairnArchive.h"

#include <string>
#include <vector>

#include "ArchiveCheck.h"
#include "ArchiveText.h"
#include "SafeArray.h"

namespace cairn {
namespace {

// The caller's progress interface as the portable check's callback.
class CallerProgress final : public CheckProgress {
 public:
  explicit CallerProgress(ICairnCheckProgress* caller) : caller_(caller) {}
  bool Checked(uint32_t done, uint32_t total) override { return caller_->Checked(done, total) == S_OK; }

 private:
  ICairnCheckProgress* caller_;
};

// Four texts per damaged item, the names as the archive keeps them.
std::vector<std::wstring> DamageTexts(const CheckReport& report, const NameCodec& names) {
  std::vector<std::wstring> texts;
  for (const DamagedItem& item : DamagedItems(report)) {
    std::string snapshots;
    for (const std::string& name : item.snapshots) snapshots += (snapshots.empty() ? "" : ", ") + name;
    texts.push_back(item.ofRevision ? names.Read(item.object) : std::wstring());
    texts.push_back(item.ofRevision ? std::to_wstring(item.revision) : std::wstring());
    texts.push_back(names.Read(snapshots));
    texts.push_back(NameCodec::Ansi().Read(item.what));
  }
  return texts;
}

}  // namespace

STDMETHODIMP CairnArchive::Check(ICairnCheckProgress* progress, SAFEARRAY** damage, ULONG* objects, ULONG* revisions) {
  if (damage == nullptr || objects == nullptr || revisions == nullptr) return E_POINTER;
  *damage = nullptr;
  *objects = 0;
  *revisions = 0;
  if (heap_ == nullptr) return E_UNEXPECTED;
  if (!heap_->IsOpen()) return E_FAIL;
  CallerProgress told(progress);
  CheckReport report;
  const HRESULT hr = CheckArchive(*heap_, Workers(), progress != nullptr ? &told : nullptr, &report);
  if (hr == kCheckCancelled || hr == E_OUTOFMEMORY) return hr;
  if (FAILED(hr)) return E_FAIL;
  SafeArray texts = BstrArray(DamageTexts(report, NameCodec::Of(*heap_)));
  if (!texts) return E_OUTOFMEMORY;
  *damage = texts.Detach();
  *objects = report.objects;
  *revisions = report.revisions;
  return report.Sound() ? S_OK : S_FALSE;
}

}  // namespace cairn
