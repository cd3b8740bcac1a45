// Decompression room that a content read piece by piece gives back when it ends, for the next one
// to take. A snapshot reads the newest content of every file; allocating and freeing that room
// for each small file cost more than decompressing it where the heap gives freed pages back to
// the system at once and every new page faults in zeroed. Shared by the archive's readers.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "Compression.h"

namespace cairn {

class SpareRoom {
 public:
  // At most this many piece buffers are kept (about one content's slots' worth).
  static constexpr size_t kPieces = 64;

  // A kept buffer, or an empty one when none is.
  std::vector<uint8_t> TakePiece() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pieces_.empty()) return {};
    std::vector<uint8_t> bytes = std::move(pieces_.back());
    pieces_.pop_back();
    return bytes;
  }
  void GivePiece(std::vector<uint8_t>&& bytes) {
    if (bytes.capacity() == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (pieces_.size() >= kPieces) return;
    try {
      pieces_.push_back(std::move(bytes));
    } catch (const std::bad_alloc&) {
      // Not kept: freed as before.
    }
  }
  // A kept workspace with the decompressor's memory it held, or a new one; null without memory.
  std::unique_ptr<compression::Workspace> TakeWorkspace() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!workspaces_.empty()) {
        std::unique_ptr<compression::Workspace> workspace = std::move(workspaces_.back());
        workspaces_.pop_back();
        return workspace;
      }
    }
    return std::unique_ptr<compression::Workspace>(new (std::nothrow) compression::Workspace());
  }
  void GiveWorkspace(std::unique_ptr<compression::Workspace> workspace) {
    if (workspace == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (workspaces_.size() >= kWorkspaces) return;
    try {
      workspaces_.push_back(std::move(workspace));
    } catch (const std::bad_alloc&) {
      // Not kept: freed as before.
    }
  }

 private:
  static constexpr size_t kWorkspaces = 2;
  std::mutex mutex_;
  std::vector<std::vector<uint8_t>> pieces_;
  std::vector<std::unique_ptr<compression::Workspace>> workspaces_;
};

}  // namespace cairn
