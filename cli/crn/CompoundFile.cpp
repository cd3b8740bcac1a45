#include "CompoundFile.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <memory>
#include <mutex>

#include "RestoreNames.h"
#include "StoredNames.h"
#include "StoredText.h"
#include "TargetNames.h"

namespace cairn {
namespace crn {
namespace {

// No real document nests its storages deeper.
constexpr int kMaxDepth = 64;

struct Unref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <class T>
using GsfPtr = std::unique_ptr<T, Unref>;

struct Builder {
  ArchiveHeap& heap;
  Stamp asAt;
  CompoundFailure* failure;
  StoredText text;

  bool Fail(const char* format, const std::string& subject = std::string()) {
    failure->format = format;
    failure->subject = subject;
    return false;
  }

  // Copies the elements of a storage revision into the storage out; objects holds the storages
  // above, from the document down.
  bool CopyElements(const std::string& storedName, uint32_t revision, GsfOutfile* out,
                    std::vector<uint32_t>& objects, int depth) {
    if (depth > kMaxDepth) return Fail("Damaged archive: elements nested too deep in %s\n", storedName);
    std::vector<reader::HeldObject> children;
    if (FAILED(reader::ReadHeld(heap, RevisionRecord(heap, revision).Children(), asAt, &children)))
      return Fail("Damaged archive: the elements of %s cannot be read\n", storedName);
    for (const reader::HeldObject& child : children) {
      if (child.revision == 0) continue;  // an element that came after this snapshot
      const std::string last = child.name.substr(child.name.rfind('\\') + 1);
      const std::string name = text.Utf8(last);
      if (!IsChildName(storedName, child.name) || !IsElementName(text.Wide(last)))
        return Fail("Unsafe name in archive: %s\n", child.name);
      StatBlock stat;
      if (FAILED(reader::ReadStat(heap, child.revision, &stat))) return Fail("Damaged archive: %s\n", child.name);
      if (stat.type == revision_type::kStorage) {
        for (uint32_t above : objects)
          if (above == child.object) return Fail("Damaged archive: %s is met again below itself\n", child.name);
        GsfPtr<GsfOutput> element(gsf_outfile_new_child(out, name.c_str(), TRUE));
        if (!element) return Fail("Unable to create storage!\n");
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(element.get()), stat.classId);
        objects.push_back(child.object);
        const bool ok = CopyElements(child.name, child.revision, GSF_OUTFILE(element.get()), objects, depth + 1);
        objects.pop_back();
        if (!gsf_output_close(element.get()) && ok) return Fail("Unable to create storage!\n");
        if (!ok) return false;
      } else if (stat.type == revision_type::kStream) {
        MemoryContent content;
        if (FAILED(reader::ReadContent(heap, child.revision, content)))
          return Fail("Damaged archive: %s does not rebuild\n", child.name);
        GsfPtr<GsfOutput> element(gsf_outfile_new_child(out, name.c_str(), FALSE));
        if (!element) return Fail("Unable to create stream!\n");
        const bool written = content.Bytes().empty() ||
                             gsf_output_write(element.get(), content.Bytes().size(), content.Bytes().data());
        if (!gsf_output_close(element.get()) || !written) return Fail("Unable to copy stream!\n");
      }
      // Any other kind is not an element this version writes.
    }
    return true;
  }
};

}  // namespace

bool BuildCompoundFile(ArchiveHeap& heap, Stamp asAt, uint32_t object, const std::string& storedName, uint32_t revision,
                       std::vector<uint8_t>* bytes, CompoundFailure* failure) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { gsf_init(); });
  StatBlock stat;
  if (FAILED(reader::ReadStat(heap, revision, &stat))) {
    failure->format = "Damaged archive: %s\n";
    failure->subject = storedName;
    return false;
  }
  GsfPtr<GsfOutput> memory(gsf_output_memory_new());
  GsfPtr<GsfOutfile> document(memory ? gsf_outfile_msole_new(memory.get()) : nullptr);
  if (!document) {
    failure->format = "Unable to create: %s\n";
    failure->subject = storedName;
    return false;
  }
  gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(document.get()), stat.classId);
  Builder builder{heap, asAt, failure, StoredText::Of(heap)};
  std::vector<uint32_t> objects{object};
  const bool ok = builder.CopyElements(storedName, revision, document.get(), objects, 0);
  const bool closed = gsf_output_close(GSF_OUTPUT(document.get()));
  if (!ok) return false;
  // Closing the document closes the memory output under it.
  if (!closed) {
    failure->format = "Unable to create: %s\n";
    failure->subject = storedName;
    return false;
  }
  const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory.get()));
  const gsf_off_t size = gsf_output_size(memory.get());
  bytes->assign(data, data + size);
  return true;
}

}  // namespace crn
}  // namespace cairn
