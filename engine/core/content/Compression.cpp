#include "Compression.h"

#include <bzlib.h>  // on Windows this brings <windows.h>; it stays inside this file
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

namespace cairn {
namespace compression {
namespace {

constexpr uint32_t kChunk = 64 * 1024;

// The test setting of FailCompressionAt.
std::atomic<uint64_t> failAt{0}, compressions{0};
std::atomic<bool> failedAsAsked{false};

// Allocation hooks of both libraries: through the workspace in opaque, else malloc.
void* Allocate(void* opaque, size_t n, size_t m) {
  if (m != 0 && n > SIZE_MAX / m) return nullptr;
  return opaque != nullptr ? static_cast<Workspace*>(opaque)->Take(n * m) : std::malloc(n * m);
}
void Release(void* opaque, void* block) {
  if (opaque != nullptr) static_cast<Workspace*>(opaque)->Give(block);
  else std::free(block);
}
voidpf ZlibAllocate(voidpf opaque, uInt items, uInt size) { return Allocate(opaque, items, size); }
void ZlibFree(voidpf opaque, voidpf block) { Release(opaque, block); }
void* Bzip2Allocate(void* opaque, int n, int m) {
  return n < 0 || m < 0 ? nullptr : Allocate(opaque, static_cast<size_t>(n), static_cast<size_t>(m));
}
void Bzip2Free(void* opaque, void* block) { Release(opaque, block); }

void Hook(z_stream* z, Workspace* workspace) {
  z->zalloc = ZlibAllocate;
  z->zfree = ZlibFree;
  z->opaque = workspace;
}
void Hook(bz_stream* s, Workspace* workspace) {
  s->bzalloc = Bzip2Allocate;
  s->bzfree = Bzip2Free;
  s->opaque = workspace;
}

bool CompressZlib(const uint8_t* bytes, uint32_t count, std::vector<uint8_t>* out, Workspace* workspace) {
  const uint64_t room = Room(1, count);
  if (room > UINT32_MAX) return false;
  out->resize(static_cast<size_t>(room));
  z_stream z = {};
  Hook(&z, workspace);
  if (deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(bytes);
  z.avail_in = count;
  z.next_out = out->data();
  z.avail_out = static_cast<uInt>(room);
  const int result = deflate(&z, Z_FINISH);
  const size_t written = static_cast<size_t>(room - z.avail_out);
  deflateEnd(&z);
  if (result != Z_STREAM_END) return false;
  out->resize(written);
  return true;
}

bool CompressBzip2(const uint8_t* bytes, uint32_t count, std::vector<uint8_t>* out, Workspace* workspace) {
  const uint64_t room = Room(3, count);
  if (room > UINT32_MAX) return false;
  out->resize(static_cast<size_t>(room));
  bz_stream s = {};
  Hook(&s, workspace);
  if (BZ2_bzCompressInit(&s, 9, 0, 30) != BZ_OK) return false;
  s.next_in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
  s.avail_in = count;
  s.next_out = reinterpret_cast<char*>(out->data());
  s.avail_out = static_cast<unsigned int>(room);
  const int result = BZ2_bzCompress(&s, BZ_FINISH);
  const size_t written = static_cast<size_t>(room - s.avail_out);
  BZ2_bzCompressEnd(&s);
  if (result != BZ_STREAM_END) return false;
  out->resize(written);
  return true;
}

// One decompressor behind a common face: Step runs it on what is left of the input into the
// given room and tells whether the stream ended, went on, or failed.
class Decoder {
 public:
  enum Step { kEnded, kGoing, kBroken };
  virtual ~Decoder() = default;
  virtual bool Start(const uint8_t* bytes, uint32_t count, Workspace* workspace) = 0;
  // *in and *out are the bytes consumed and produced by this step.
  virtual Step Run(uint8_t* room, uint32_t size, uint32_t* in, uint32_t* out) = 0;
};

class ZlibDecoder final : public Decoder {
 public:
  ~ZlibDecoder() override {
    if (started_) inflateEnd(&z_);
  }
  bool Start(const uint8_t* bytes, uint32_t count, Workspace* workspace) override {
    z_ = z_stream();
    Hook(&z_, workspace);
    if (inflateInit2(&z_, 15) != Z_OK) return false;
    started_ = true;
    z_.next_in = const_cast<Bytef*>(bytes);
    z_.avail_in = count;
    return true;
  }
  Step Run(uint8_t* room, uint32_t size, uint32_t* in, uint32_t* out) override {
    const uInt availIn = z_.avail_in;
    z_.next_out = room;
    z_.avail_out = size;
    const int result = inflate(&z_, Z_NO_FLUSH);
    *in = availIn - z_.avail_in;
    *out = size - z_.avail_out;
    if (result == Z_STREAM_END) return kEnded;
    // Z_BUF_ERROR only says that no progress was possible; the caller sees that from the counts.
    return result == Z_OK || result == Z_BUF_ERROR ? kGoing : kBroken;
  }

 private:
  z_stream z_ = {};
  bool started_ = false;
};

class Bzip2Decoder final : public Decoder {
 public:
  ~Bzip2Decoder() override {
    if (started_) BZ2_bzDecompressEnd(&s_);
  }
  bool Start(const uint8_t* bytes, uint32_t count, Workspace* workspace) override {
    s_ = bz_stream();
    Hook(&s_, workspace);
    if (BZ2_bzDecompressInit(&s_, 0, 0) != BZ_OK) return false;
    started_ = true;
    s_.next_in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    s_.avail_in = count;
    return true;
  }
  Step Run(uint8_t* room, uint32_t size, uint32_t* in, uint32_t* out) override {
    const unsigned int availIn = s_.avail_in;
    s_.next_out = reinterpret_cast<char*>(room);
    s_.avail_out = size;
    const int result = BZ2_bzDecompress(&s_);
    *in = availIn - s_.avail_in;
    *out = size - s_.avail_out;
    if (result == BZ_STREAM_END) return kEnded;
    return result == BZ_OK ? kGoing : kBroken;
  }

 private:
  bz_stream s_ = {};
  bool started_ = false;
};

}  // namespace

Workspace::~Workspace() {
  for (const Block& block : blocks_) std::free(block.address);
}

void* Workspace::Take(size_t size) {
  for (Block& block : blocks_)
    if (!block.used && block.size == size) {
      block.used = true;
      return block.address;
    }
  // Another shape of stream: what lies idle would only hold memory.
  blocks_.erase(std::remove_if(blocks_.begin(), blocks_.end(),
                               [](const Block& block) {
                                 if (!block.used) std::free(block.address);
                                 return !block.used;
                               }),
                blocks_.end());
  void* address = std::malloc(size == 0 ? 1 : size);
  if (address == nullptr) return nullptr;
  try {
    blocks_.push_back(Block{address, size, true});
  } catch (const std::bad_alloc&) {
    std::free(address);
    return nullptr;
  }
  return address;
}

void Workspace::Give(void* address) {
  for (Block& block : blocks_)
    if (block.address == address) {
      block.used = false;
      return;
    }
}

uint64_t Room(uint32_t revisionFlags, uint32_t count) {
  return 2 * static_cast<uint64_t>(count) + (IsBzip2(revisionFlags) ? 600 : 16);
}

bool FailCompressionAt(uint64_t n) {
  failAt = 0;
  compressions = 0;
  const bool failed = failedAsAsked.exchange(false);
  failAt = n;
  return failed;
}

bool Compress(uint32_t revisionFlags, const uint8_t* bytes, uint32_t count, std::vector<uint8_t>* out,
              Workspace* workspace) {
  if (failAt.load(std::memory_order_relaxed) != 0 && ++compressions == failAt) {
    failedAsAsked = true;
    return false;
  }
  try {
    return IsBzip2(revisionFlags) ? CompressBzip2(bytes, count, out, workspace)
                                  : CompressZlib(bytes, count, out, workspace);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

Inflated Decompress(uint32_t revisionFlags, const uint8_t* bytes, uint32_t count, uint32_t bound,
                    const Sink& sink, uint32_t* produced, Workspace* workspace) {
  *produced = 0;
  ZlibDecoder zlib;
  Bzip2Decoder bzip2;
  Decoder& decoder = IsBzip2(revisionFlags) ? static_cast<Decoder&>(bzip2) : zlib;
  // The output room comes from the workspace too; its fixed size lets it be reused.
  struct Room {
    Workspace* workspace;
    uint8_t* bytes;
    ~Room() { Release(workspace, bytes); }
  } room{workspace, static_cast<uint8_t*>(Allocate(workspace, kChunk, 1))};
  if (room.bytes == nullptr) return Inflated::kFailed;
  if (!decoder.Start(bytes, count, workspace)) return Inflated::kFailed;
  // Exactly as one call into a buffer of bound bytes: output past the bound is never taken, and
  // a stream that still has output when the bound is reached fails.
  for (;;) {
    const uint32_t size = std::min(bound - *produced, kChunk);
    uint32_t in = 0, out = 0;
    const Decoder::Step step = decoder.Run(room.bytes, size, &in, &out);
    if (out != 0) {
      *produced += out;
      if (!sink(room.bytes, out)) return Inflated::kStopped;
    }
    if (step == Decoder::kEnded) return Inflated::kComplete;
    if (step == Decoder::kBroken) return Inflated::kFailed;
    if (in == 0 && out == 0) return Inflated::kFailed;  // input ran out, or the bound was reached
  }
}

Inflated DecompressInto(uint32_t revisionFlags, const uint8_t* bytes, uint32_t count, uint32_t bound, uint8_t* out,
                        uint32_t capacity, uint32_t* produced, Workspace* workspace) {
  *produced = 0;
  ZlibDecoder zlib;
  Bzip2Decoder bzip2;
  Decoder& decoder = IsBzip2(revisionFlags) ? static_cast<Decoder&>(bzip2) : zlib;
  if (!decoder.Start(bytes, count, workspace)) return Inflated::kFailed;
  const uint32_t room = std::min(bound, capacity);
  for (;;) {
    uint32_t in = 0, n = 0;
    const Decoder::Step step = decoder.Run(out + *produced, room - *produced, &in, &n);
    *produced += n;
    if (step == Decoder::kEnded) return Inflated::kComplete;
    if (step == Decoder::kBroken) return Inflated::kFailed;
    // Input ran out, or the room is full: past the bound that is a failure, before it only
    // the room was too small.
    if (in == 0 && n == 0) return *produced == room && room < bound ? Inflated::kStopped : Inflated::kFailed;
  }
}

}  // namespace compression
}  // namespace cairn
