// Compare with Previous Revision and Compare with Current File, on a stored file of the view.
#include "CompareVerbs.h"

#include <optional>
#include <string>

#include "BackgroundWork.h"
#include "ComApartment.h"
#include "Compare.h"
#include "CompareWindow.h"
#include "Pidl.h"
#include "RestoreNames.h"
#include "resource.h"

namespace cairn {
namespace shell {
namespace {

// The one stored file of a selection below the archive root, as plain values a worker may hold:
// the level's operations, its stored name (as stored and wide) and the revision the item shows.
struct StoredFile {
  ArchiveOperations operations;
  std::string storedName;
  std::wstring wideName;
  long revision = 0;
};

std::optional<StoredFile> OneStoredFile(const Selection& selection) {
  if (selection.Level().AtRoot() || selection.StoredNames().size() != 1) return std::nullopt;
  const std::optional<Item> item = FirstItem(selection.Lists().front());
  if (!item || item->IsFolder()) return std::nullopt;
  StoredFile file;
  file.operations = selection.Level().Operations();
  file.storedName = selection.StoredNames().front();
  file.wideName = selection.Level().names.Wide(file.storedName);
  file.revision = item->fields.revision;
  return file;
}

// The object's revision numbered `number`, or with previous the newest one numbered below it.
ComPtr<ICairnRevision> FindRevision(ICairnObject* object, long number, bool previous) {
  ComPtr<IEnumCairnRevisions> revisions;
  if (object == nullptr || FAILED(object->EnumCairnRevisions(0, revisions.Out())) || !revisions) return {};
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
      FAILED(WriteRevisionForCompare(revision, file.wideName, number, &side->path)))
    return false;
  side->title = side->path.substr(side->path.rfind(L'\\') + 1);
  return true;
}

// Writing the revisions may take long: it runs on a thread of its own, in an apartment of its
// own, with the archive opened there; the owner only owns its messages.
bool OnWorker(const Selection& selection, HWND owner, void (*compare)(const StoredFile&, HWND)) {
  const std::optional<StoredFile> file = OneStoredFile(selection);
  return file && StartThread([file = *file, owner, compare] {
    const ComApartment apartment;
    if (apartment.Started()) compare(file, owner);
  });
}

void ComparePrevious(const StoredFile& file, HWND owner) {
  ComPtr<ICairnObject> object = file.operations.FindObject(file.storedName);
  ComPtr<ICairnRevision> previous = FindRevision(object.Get(), file.revision, true);
  if (!previous) return ShowCompareMessage(owner, IDS_COMPARE_NO_PREVIOUS, LastComponent(file.wideName));
  CompareSide older, newer;
  if (!RevisionSide(file, previous.Get(), &older) ||
      !RevisionSide(file, FindRevision(object.Get(), file.revision, false).Get(), &newer)) {
    RemoveComparisonCopy(older.path);
    return ShowCompareMessage(owner, IDS_COMPARE_NOT_WRITTEN, LastComponent(file.wideName));
  }
  ShowComparison(owner, older, newer);
}

void CompareCurrent(const StoredFile& file, HWND owner) {
  const DWORD attributes = GetFileAttributesW(file.wideName.c_str());
  if (!IsAbsoluteStoredName(file.wideName) || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return ShowCompareMessage(owner, IDS_COMPARE_NO_CURRENT, file.wideName);
  ComPtr<ICairnObject> object = file.operations.FindObject(file.storedName);
  CompareSide older, newer;
  if (!RevisionSide(file, FindRevision(object.Get(), file.revision, false).Get(), &older))
    return ShowCompareMessage(owner, IDS_COMPARE_NOT_WRITTEN, LastComponent(file.wideName));
  newer.path = file.wideName;
  newer.title = CompareText(IDS_COMPARE_CURRENT_TITLE, LastComponent(file.wideName));
  ShowComparison(owner, older, newer);
}

}  // namespace

bool CompareWithPreviousRevision(const Selection& selection, HWND owner) {
  return OnWorker(selection, owner, &ComparePrevious);
}

bool CompareWithCurrentFile(const Selection& selection, HWND owner) {
  return OnWorker(selection, owner, &CompareCurrent);
}

}  // namespace shell
}  // namespace cairn
