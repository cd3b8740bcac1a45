#include "ScriptedHistories.h"

#include <algorithm>
#include <cstring>

namespace cairn {
namespace testing {
namespace {

// Draws below n from the generator's raw output: distributions differ between libraries.
size_t Below(std::mt19937& rng, size_t n) { return n == 0 ? 0 : static_cast<size_t>(rng()) % n; }

}  // namespace

Content TextBytes(std::mt19937& rng, size_t size) {
  static const char* const kWords[] = {"archive", "snapshot", "revision", "folder", "stream", "the",  "of",
                                       "and",     "record",   "content",  "change", "older",  "newest", "history",
                                       "a",       "to",       "is",       "file",   "in",     "for",  "that",
                                       "with",    "on",       "as",       "by",     "it",     "this", "be"};
  constexpr size_t kCount = sizeof kWords / sizeof kWords[0];
  Content out;
  out.reserve(size + 16);
  size_t line = 0;
  while (out.size() < size) {
    const char* word = kWords[Below(rng, kCount)];
    out.insert(out.end(), word, word + std::strlen(word));
    line += std::strlen(word) + 1;
    out.push_back(line > 72 ? '\n' : ' ');
    if (line > 72) line = 0;
  }
  out.resize(size);
  return out;
}

Content RandomBytes(std::mt19937& rng, size_t size) {
  Content out(size);
  for (uint8_t& b : out) b = static_cast<uint8_t>(rng() >> 24);
  return out;
}

History LargeFileHistory(uint32_t size, int rounds, uint32_t seed) {
  std::mt19937 rng(seed);
  constexpr size_t kPiece = 64 * 1024;
  Content content;
  for (size_t at = 0, n = 0; at < size; at += kPiece, ++n) {
    const size_t piece = std::min<size_t>(kPiece, size - at);
    const Content bytes = n % 2 == 0 ? TextBytes(rng, piece) : RandomBytes(rng, piece);
    content.insert(content.end(), bytes.begin(), bytes.end());
  }
  History history(1);
  history[0].push_back(content);
  for (int r = 1; r <= rounds; ++r) {
    for (int k = 0; k < 10; ++k) {
      const Content bytes = RandomBytes(rng, 16 + Below(rng, 240));
      const size_t at = Below(rng, content.size() - bytes.size());
      std::copy(bytes.begin(), bytes.end(), content.begin() + at);
    }
    const Content inserted = TextBytes(rng, 12 * 1024);
    content.insert(content.begin() + Below(rng, content.size()), inserted.begin(), inserted.end());
    history[0].push_back(content);
  }
  return history;
}

History TreeHistory(int files, uint32_t size, int rounds, uint32_t seed) {
  std::mt19937 rng(seed);
  auto fresh = [&](int i, size_t n) { return i % 2 == 0 ? TextBytes(rng, n) : RandomBytes(rng, n); };
  History history(files);
  for (int i = 0; i < files; ++i) history[i].push_back(fresh(i, size));
  for (int r = 1; r <= rounds; ++r) {
    for (int i = 0; i < files; ++i) history[i].push_back(history[i].back());
    for (int k = 0; k < files / 4; ++k) {
      const int i = static_cast<int>(Below(rng, files));
      Content& c = history[i].back();
      if (c.size() <= 100) continue;
      const Content bytes = fresh(i, 100);
      std::copy(bytes.begin(), bytes.end(), c.begin() + Below(rng, c.size() - 100));
    }
    for (int k = 0; k < 2; ++k) {
      const int i = static_cast<int>(Below(rng, files));
      const Content bytes = fresh(i, 1024);
      history[i].back().insert(history[i].back().end(), bytes.begin(), bytes.end());
    }
    const int replaced = static_cast<int>(Below(rng, files));
    history[replaced].back() = fresh(replaced, size);
    Content& halved = history[Below(rng, files)].back();
    halved.resize(halved.size() / 2);
  }
  return history;
}

}  // namespace testing
}  // namespace cairn
