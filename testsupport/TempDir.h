// A temporary directory for a test, removed with everything in it at the end.
#pragma once

#include <string>

namespace cairn {
namespace testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Path of a file named name inside the directory (UTF-8).
  std::string Path(const std::string& name) const;

 private:
  std::string dir_;
};

// Whole contents of a file, and writing one; false/empty on failure.
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace testing
}  // namespace cairn
