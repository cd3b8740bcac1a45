// The compression of difference data (internal to the revision store). A compressed data block
// is one complete zlib stream (revision flags 1) or bzip2 stream (flags 3) of a record's bytes,
// with nothing of our own around it; its uncompressed length is not stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace cairn {
namespace compression {

// True when records of a revision with these flags are compressed, and with bzip2 rather than
// zlib. Any flags but 0 mean compressed; bit 0x02 picks bzip2.
inline bool IsCompressed(uint32_t revisionFlags) { return revisionFlags != 0; }
inline bool IsBzip2(uint32_t revisionFlags) { return (revisionFlags & 0x02) != 0; }

// Memory that compressors and decompressors reuse from one stream to the next, so that the
// large tables of bzip2 (megabytes) and zlib are allocated once per pass or rebuild rather than
// once per record. Blocks not in use are freed when a request of another size comes.
class Workspace {
 public:
  Workspace() = default;
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  void* Take(size_t size);
  void Give(void* block);

 private:
  struct Block {
    void* address;
    size_t size;
    bool used;
  };
  std::vector<Block> blocks_;
};

// Compresses count bytes into *out as one stream: zlib deflate at level 1 (window 15, memory
// level 8, default strategy) or bzip2 with 900 kB blocks and work factor 30, finished in one call
// into room for 2n + 16 (zlib) or 2n + 600 (bzip2) bytes. False when the stream does not end
// there or memory runs out.
bool Compress(uint32_t revisionFlags, const uint8_t* bytes, uint32_t count, std::vector<uint8_t>* out,
              Workspace* workspace = nullptr);
// The room Compress makes in out for count bytes (out of that size already is not reallocated).
uint64_t Room(uint32_t revisionFlags, uint32_t count);

// For tests: the n-th compression from now on, counting every thread's, fails as when memory
// runs out; 0 turns this off. Returns whether the failure asked for before took place.
bool FailCompressionAt(uint64_t n);

enum class Inflated {
  kComplete,  // a clean end of stream within the bound: the output is the record's bytes
  kFailed,    // not a complete stream, or more output than the bound: use the stored bytes
  kStopped,   // the sink refused the output
};

// Receives the output in order, in pieces; false stops decompression. It refers to the caller's
// callable without copying it (which could allocate on every call, on every worker thread).
class Sink {
 public:
  // From any callable at the call, which outlives the call.
  template <class F, class = std::enable_if_t<!std::is_same<std::decay_t<F>, Sink>::value>>
  Sink(F&& f)
      : object_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* o, const uint8_t* b, uint32_t n) { return (*static_cast<std::remove_reference_t<F>*>(o))(b, n); }) {}
  bool operator()(const uint8_t* bytes, uint32_t count) const { return call_(object_, bytes, count); }

 private:
  void* object_;
  bool (*call_)(void*, const uint8_t*, uint32_t);
};

// Decompresses one stream of count bytes, handing the output to sink as it comes, without ever
// producing more than bound bytes (a stream with more output fails). Memory use is a fixed
// buffer, whatever the stream claims. *produced is the number of bytes handed to sink.
Inflated Decompress(uint32_t revisionFlags, const uint8_t* bytes, uint32_t count, uint32_t bound,
                    const Sink& sink, uint32_t* produced, Workspace* workspace = nullptr);

// The same into out, capacity bytes of room, without a copy: kStopped when the stream holds more
// than fits there but not more than bound (decompress it with a sink then).
Inflated DecompressInto(uint32_t revisionFlags, const uint8_t* bytes, uint32_t count, uint32_t bound, uint8_t* out,
                        uint32_t capacity, uint32_t* produced, Workspace* workspace = nullptr);

}  // namespace compression
}  // namespace cairn
