#include "TempDir.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace cairn {
namespace testing {

TempDir::TempDir() {
  std::random_device random;
  fs::path dir = fs::temp_directory_path() / ("cairn-test-" + std::to_string(random()));
  fs::create_directories(dir);
  dir_ = dir.u8string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(fs::u8path(dir_), ignored);
}

std::string TempDir::Path(const std::string& name) const { return (fs::u8path(dir_) / fs::u8path(name)).u8string(); }

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace testing
}  // namespace cairn
