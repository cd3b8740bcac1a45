#include "HistoryLookup.h"

#include <algorithm>
#include <tuple>

#include "ArchiveAccess.h"
#include "ArchiveItems.h"
#include "Bstr.h"
#include "StoredNames.h"

namespace cairn {
namespace shell {
namespace {

// An archive is untrusted: its lists could lead round in circles. No real archive comes near these.
constexpr size_t kMaxSteps = 1000000;
constexpr size_t kMaxDepth = 130;  // a stored path of 259 characters has no more levels

uint64_t Join(unsigned long high, unsigned long low) { return static_cast<uint64_t>(high) << 32 | low; }

std::wstring WideName(ICairnObject* object, const StoredText& names) {
  Bstr name;
  if (object == nullptr || FAILED(object->GetName(name.Out())) || name.Get() == nullptr) return std::wstring();
  return names.Wide(names.FromBstr(name.Get()));
}

// Whether the path is the stored name or lies below it; *rest is what follows it then.
bool Holds(const std::wstring& name, const std::wstring& path, std::wstring* rest) {
  if (name.empty() || name.size() > path.size() || !SameNameIgnoringCase(name, path.substr(0, name.size())))
    return false;
  if (name.size() == path.size()) {
    rest->clear();
    return true;
  }
  size_t at = name.size();
  if (name.back() != L'\\') {
    if (path[at] != L'\\') return false;
    ++at;
  }
  *rest = path.substr(at);
  return !rest->empty();
}

std::wstring ChildName(const std::wstring& parent, const std::wstring& component) {
  return parent.back() == L'\\' ? parent + component : parent + L'\\' + component;
}

// The child stored under the name in the revision's child list; S_FALSE when none is.
HRESULT ChildIn(ICairnRevision* revision, const std::wstring& parent, const std::wstring& name, const StoredText& names,
                ComPtr<ICairnObject>* child) {
  ComPtr<IEnumCairnObjects> children;
  if (FAILED(revision->EnumCairnObjects(0, children.Out())) || !children) return E_FAIL;
  ComPtr<ICairnObject> object;
  for (size_t step = 0; step < kMaxSteps; ++step) {
    const HRESULT hr = children->Next(0, object.Out());
    if (hr != S_OK || !object) return FAILED(hr) ? hr : S_FALSE;
    const std::wstring stored = WideName(object.Get(), names);
    if (SameNameIgnoringCase(stored, name) && IsChildName(parent, stored)) {
      *child = object;
      return S_OK;
    }
  }
  return E_FAIL;
}

// Walks down from the top-level object to the path's object, one component at a time, each in
// its parent's latest revision: the children that folder had when it was last stored.
HRESULT Descend(ComPtr<ICairnObject> object, std::wstring rest, const StoredText& names,
                ComPtr<ICairnObject>* found) {
  for (size_t depth = 0; !rest.empty(); ++depth) {
    if (depth >= kMaxDepth) return E_FAIL;
    const size_t slash = rest.find(L'\\');
    const std::wstring component = rest.substr(0, slash);
    rest = slash == std::wstring::npos ? std::wstring() : rest.substr(slash + 1);
    if (component.empty()) return S_FALSE;
    const std::wstring parent = WideName(object.Get(), names);
    ComPtr<IEnumCairnRevisions> revisions;
    ComPtr<ICairnRevision> latest;
    ComPtr<ICairnObject> child;
    if (parent.empty() || FAILED(object->EnumCairnRevisions(0, revisions.Out())) || !revisions) return E_FAIL;
    HRESULT hr = revisions->Last(0, latest.Out());
    if (hr == S_OK && latest) hr = ChildIn(latest.Get(), parent, ChildName(parent, component), names, &child);
    if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
    object = child;
  }
  *found = object;
  return S_OK;
}

// The newest live snapshot: Last(1), unless the newest one was deleted, when the walk over the
// live ones finds it. S_FALSE for an archive without one.
HRESULT NewestSnapshot(ICairnArchive* archive, ComPtr<ICairnSnapShot>* newest) {
  ComPtr<IEnumSnapShots> snapshots;
  HRESULT hr = archive->EnumSnapShots(0, snapshots.Out());
  if (FAILED(hr) || !snapshots) return FAILED(hr) ? hr : E_FAIL;
  hr = snapshots->Last(1, newest->Out());
  if (hr == S_OK && *newest) return S_OK;
  if (FAILED(hr)) return hr;
  snapshots->Reset();
  ComPtr<ICairnSnapShot> snapshot;
  for (size_t step = 0; step < kMaxSteps; ++step) {
    hr = snapshots->Next(1, snapshot.Out());
    if (hr != S_OK || !snapshot) return FAILED(hr) ? hr : (*newest ? S_OK : S_FALSE);
    *newest = snapshot;
  }
  return E_FAIL;
}

// The snapshot that stored a revision: the first whose stamp is not earlier than the revision's.
const SnapshotStamp* StoredIn(const std::vector<SnapshotStamp>& stamps, bool sorted, uint64_t asAt) {
  if (sorted) {
    const auto it = std::lower_bound(stamps.begin(), stamps.end(), asAt,
                                     [](const SnapshotStamp& s, uint64_t t) { return s.stamp < t; });
    return it == stamps.end() ? nullptr : &*it;
  }
  for (const SnapshotStamp& snapshot : stamps)
    if (snapshot.stamp >= asAt) return &snapshot;
  return nullptr;
}

// The entries of one readable archive; false when it cannot be read.
bool ArchiveHistory(const std::wstring& archivePath, const std::wstring& path, std::vector<HistoryEntry>* entries) {
  ComPtr<ICairnArchive> archive;
  if (FAILED(OpenArchiveReader(archivePath, &archive)) || !archive) return false;
  ComPtr<ICairnObject> object;
  const HRESULT hr = FindStoredObject(archive.Get(), path, &object);
  if (FAILED(hr)) return false;
  if (hr != S_OK) return true;
  const StoredText names = NamesOf(archive.Get());
  const std::wstring storedName = WideName(object.Get(), names);
  const std::vector<SnapshotStamp> stamps = SnapshotStamps(archive.Get());
  const bool sorted = std::is_sorted(stamps.begin(), stamps.end(),
                                     [](const SnapshotStamp& a, const SnapshotStamp& b) { return a.stamp < b.stamp; });
  ComPtr<IEnumCairnRevisions> revisions;
  if (FAILED(object->EnumCairnRevisions(0, revisions.Out())) || !revisions) return false;
  ComPtr<ICairnRevision> revision;
  HRESULT next = S_OK;
  for (size_t step = 0; step < kMaxSteps && (next = revisions->Next(0, revision.Out())) == S_OK && revision; ++step) {
    HistoryEntry entry;
    entry.archive = archivePath;
    entry.storedName = storedName;
    revision->GetRevision(&entry.revision);
    unsigned long high = 0, low = 0;
    if (SUCCEEDED(revision->GetAsAt(&high, &low))) entry.asAt = Join(high, low);
    STATSTG stat;
    if (RevisionStat(revision.Get(), &stat)) {
      entry.size = stat.cbSize.QuadPart;
      entry.folder = (stat.reserved & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    if (const SnapshotStamp* snapshot = StoredIn(stamps, sorted, entry.asAt)) {
      entry.snapshotTime = snapshot->created;
      entry.snapshotName = names.Wide(snapshot->name);
    }
    entries->push_back(std::move(entry));
  }
  // A chain that breaks off is damage, not the end of the history.
  return SUCCEEDED(next);
}

}  // namespace

HRESULT FindStoredObject(ICairnArchive* archive, const std::wstring& path, ComPtr<ICairnObject>* object) {
  object->Reset();
  if (archive == nullptr || path.empty()) return E_INVALIDARG;
  const StoredText names = NamesOf(archive);
  ComPtr<ICairnSnapShot> newest;
  HRESULT hr = NewestSnapshot(archive, &newest);
  if (hr != S_OK) return hr;
  ComPtr<IEnumCairnObjects> entries;
  if (FAILED(newest->EnumCairnObjects(0, entries.Out())) || !entries) return E_FAIL;
  // The most specific holder first: a top-level folder inside another top-level folder.
  std::vector<std::tuple<size_t, ComPtr<ICairnObject>, std::wstring>> holders;
  ComPtr<ICairnObject> entry;
  HRESULT next = S_OK;
  for (size_t step = 0; step < kMaxSteps && (next = entries->Next(0, entry.Out())) == S_OK && entry; ++step) {
    const std::wstring name = WideName(entry.Get(), names);
    std::wstring rest;
    if (Holds(name, path, &rest)) holders.emplace_back(name.size(), entry, rest);
  }
  if (FAILED(next)) return next;
  std::sort(holders.begin(), holders.end(), [](const auto& a, const auto& b) { return std::get<0>(a) > std::get<0>(b); });
  for (const auto& holder : holders) {
    hr = Descend(std::get<1>(holder), std::get<2>(holder), names, object);
    if (hr != S_FALSE) return hr;
  }
  return S_FALSE;
}

std::vector<HistoryEntry> FindHistory(const std::wstring& path, const std::vector<std::wstring>& archives) {
  std::vector<HistoryEntry> entries, unreadable;
  for (const std::wstring& archive : archives) {
    std::vector<HistoryEntry> found;
    if (ArchiveHistory(archive, path, &found)) {
      entries.insert(entries.end(), found.begin(), found.end());
    } else {
      HistoryEntry marked;
      marked.archive = archive;
      marked.readable = false;
      unreadable.push_back(std::move(marked));
    }
  }
  std::stable_sort(entries.begin(), entries.end(), [](const HistoryEntry& a, const HistoryEntry& b) {
    return std::tie(a.snapshotTime, a.asAt, a.revision) > std::tie(b.snapshotTime, b.asAt, b.revision);
  });
  entries.insert(entries.end(), unreadable.begin(), unreadable.end());
  return entries;
}

HRESULT OpenEntryRevision(const HistoryEntry& entry, const std::wstring& path, ComPtr<ICairnRevision>* revision) {
  revision->Reset();
  ComPtr<ICairnArchive> archive;
  ComPtr<ICairnObject> object;
  ComPtr<IEnumCairnRevisions> revisions;
  HRESULT hr = OpenArchiveReader(entry.archive, &archive);
  if (SUCCEEDED(hr)) hr = FindStoredObject(archive.Get(), path, &object);
  if (hr == S_FALSE) hr = E_FAIL;
  if (SUCCEEDED(hr)) hr = object->EnumCairnRevisions(0, revisions.Out());
  if (FAILED(hr) || !revisions) return FAILED(hr) ? hr : E_FAIL;
  ComPtr<ICairnRevision> candidate;
  for (size_t step = 0; step < kMaxSteps && revisions->Next(0, candidate.Out()) == S_OK && candidate; ++step) {
    long number = 0;
    if (SUCCEEDED(candidate->GetRevision(&number)) && number == entry.revision) {
      *revision = candidate;
      return S_OK;
    }
  }
  return E_FAIL;
}

}  // namespace shell
}  // namespace cairn
