// Revision builders: each stores a new revision of one archived object from where its current
// content comes from (a stream of a compound document, a disk file), and the revision-chain
// step that allocates the new record, lets a builder fill it, and links or frees it.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>

#include "ArchiveRecords.h"
#include "ArchiveText.h"
#include "ComPtr.h"
#include "cairn.h"

namespace cairn {

class RevisionBuilder {
 public:
  virtual ~RevisionBuilder() = default;
  // Keeps the archive and the object with a reference each, and the new record, whose previous
  // link is set to the object's newest revision and next link to 0.
  virtual void Attach(ICairnArchive* archive, ICairnObject* object, uint32_t objectRecord, uint32_t newRecord,
                      uint32_t previous);
  // Stores the revision with mode (0, 1 or 3) and the as-at stamp. True when a new revision was
  // stored; false when the content is unchanged or a step failed.
  virtual bool AddRevision(uint32_t mode, Stamp asAt);

 protected:
  // The object's stored name.
  std::string ObjectName() const;
  // The archive's stored names.
  NameCodec Names() const;

  ComPtr<ICairnArchive> archive_;
  ComPtr<ICairnObject> object_;
  uint32_t objectRecord_ = 0;
  uint32_t record_ = 0;
  uint32_t previous_ = 0;
};

// A stream of a compound document (or a caller's stream presented by Storage): the element of
// the storage named by the last component of the object's name.
class StreamRevision : public RevisionBuilder {
 public:
  explicit StreamRevision(IStorage* storage) : storage_(storage) {}
  bool AddRevision(uint32_t mode, Stamp asAt) override;

 protected:
  StreamRevision() = default;
  // Stores current as the new revision's content and fills its status block from current.
  bool Store(IStream* current, uint32_t mode, Stamp asAt, const char* module);

 private:
  ComPtr<IStorage> storage_;
};

// A disk file: the file named by the object's name, read through content when the caller has
// already opened it as a Stream, else opened here.
class FileRevision final : public StreamRevision {
 public:
  explicit FileRevision(IStream* content = nullptr) : content_(content) {}
  bool AddRevision(uint32_t mode, Stamp asAt) override;

 private:
  ComPtr<IStream> content_;
};

// The revision-chain step: allocates a RevisionRecord, attaches builder to it behind the
// object's newest revision, lets it store the content, and links the record to the object (a
// first revision) or frees it. S_OK when a revision was stored, S_FALSE when not,
// E_OUTOFMEMORY when no record could be allocated.
HRESULT AddRevisionToChain(ICairnArchive* archive, ICairnObject* object, uint32_t objectRecord,
                           RevisionBuilder& builder, uint32_t mode, Stamp asAt);

}  // namespace cairn
