// Deterministic histories of contents shaped like the benchmark's data sets, at a smaller scale:
// a large file edited in place (scattered overwrites and a 12 KB insertion each round) and a
// tree of small files (overwrites, appends, replacements, truncations). Every byte follows from
// the arguments, on every platform.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace cairn {
namespace testing {

using Content = std::vector<uint8_t>;
// contents[i][r]: object i after round r (round 0 is the first content).
using History = std::vector<std::vector<Content>>;

// Words of a small vocabulary with spaces and line ends, as text-like files are.
Content TextBytes(std::mt19937& rng, size_t size);
Content RandomBytes(std::mt19937& rng, size_t size);

// One file of size bytes, text-like and random pieces of 64 KB alternating; each round overwrites
// ten places with 16 to 255 random bytes and inserts 12 KB of text at one place.
History LargeFileHistory(uint32_t size, int rounds, uint32_t seed);

// files contents of size bytes, text-like and random alternating; each round overwrites 100 bytes
// in place in a quarter of them, appends 1 KB to two, replaces one whole and halves another.
History TreeHistory(int files, uint32_t size, int rounds, uint32_t seed);

}  // namespace testing
}  // namespace cairn
