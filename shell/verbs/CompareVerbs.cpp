// Compare with Previous Revision and Compare with Current File, on a stored file of the view.
#include "CompareVerbs.h"

#include <optional>
#include <string>

#include "Compare.h"
#include "CompareWindow.h"
#include "Pidl.h"
#include "RestoreNames.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

// The one stored file of a selection below the archive root: its object, stored name (wide) and
// the revision the item shows.
struct StoredFile {
  ComPtr<ICairnObject> object;
  std::wstring storedName;
  long revision = 0;
};

std::optional<StoredFile> OneStoredFile(const Selection& selection) {
  if (selection.Level().AtRoot() || selection.StoredNames().size() != 1) return std::nullopt;
  const std::optional<Item> item = FirstItem(selection.Lists().front());
  if (!item || item->IsFolder()) return std::nullopt;
  StoredFile file;
  file.object = selection.Level().Operations().FindObject(selection.StoredNames().front());
  file.storedName = selection.Level().names.Wide(selection.StoredNames().front());
  file.revision = item->fields.revision;
  if (!file.object) return std::nullopt;
  return file;
}

// The object's revision numbered `number`, or with previous the newest one numbered below it.
ComPtr<ICairnRevision> FindRevision(ICairnObject* object, long number, bool previous) {
  ComPtr<IEnumCairnRevisions> revisions;
  if (FAILED(object->EnumCairnRevisions(0, revisions.Out())) || !revisions) return {};
  ComPtr<ICairnRevision> found;
  long foundNumber = 0;
  for (;;) {
    ComPtr<ICairnRevision> revision;
    long n = 0;
    if (revisions->Next(0, revision.Out()) != S_OK || !revision) break;
    if (FAILED(revision->GetRevision(&n))) continue;
    const bool fits = previous ? n < number && n > foundNumber : n == number;
    if (fits) {
      found = revision;
      foundNumber = n;
    }
  }
  return found;
}

// The revision written for the comparison, titled by the copy's name.
bool RevisionSide(const StoredFile& file, ICairnRevision* revision, CompareSide* side) {
  long number = 0;
  if (revision == nullptr || FAILED(revision->GetRevision(&number)) ||
      FAILED(WriteRevisionForCompare(revision, file.storedName, number, &side->path)))
    return false;
  side->title = side->path.substr(side->path.rfind(L'\\') + 1);
  return true;
}

}  // namespace

bool CompareWithPreviousRevision(const Selection& selection, HWND owner) {
  const std::optional<StoredFile> file = OneStoredFile(selection);
  if (!file) return false;
  ComPtr<ICairnRevision> previous = FindRevision(file->object.Get(), file->revision, true);
  if (!previous) {
    ShowCompareMessage(owner, IDS_COMPARE_NO_PREVIOUS, LastComponent(file->storedName));
    return true;
  }
  CompareSide older, newer;
  if (!RevisionSide(*file, previous.Get(), &older) ||
      !RevisionSide(*file, FindRevision(file->object.Get(), file->revision, false).Get(), &newer)) {
    RemoveComparisonCopy(older.path);
    ShowCompareMessage(owner, IDS_COMPARE_NOT_WRITTEN, LastComponent(file->storedName));
    return false;
  }
  return SUCCEEDED(ShowComparison(owner, older, newer));
}

bool CompareWithCurrentFile(const Selection& selection, HWND owner) {
  const std::optional<StoredFile> file = OneStoredFile(selection);
  if (!file) return false;
  const DWORD attributes = GetFileAttributesW(file->storedName.c_str());
  if (!IsAbsoluteStoredName(file->storedName) || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ShowCompareMessage(owner, IDS_COMPARE_NO_CURRENT, file->storedName);
    return true;
  }
  CompareSide older, newer;
  if (!RevisionSide(*file, FindRevision(file->object.Get(), file->revision, false).Get(), &older)) {
    ShowCompareMessage(owner, IDS_COMPARE_NOT_WRITTEN, LastComponent(file->storedName));
    return false;
  }
  newer.path = file->storedName;
  newer.title = CompareText(IDS_COMPARE_CURRENT_TITLE, LastComponent(file->storedName));
  return SUCCEEDED(ShowComparison(owner, older, newer));
}

}  // namespace shell
}  // namespace cairn
