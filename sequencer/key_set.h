// A set of small integer keys with constant-time insertion, removal and
// neighbour queries: a bit per key under a bit per word of keys.
#pragma once

#include <bit>
#include <cassert>
#include <cstdint>
#include <vector>

namespace krv::seq {

class KeySet {
 public:
  // Keys 0..size-1, the set empty.
  void Reset(int size) {
    words_.assign(size_t(size) / 64 + 1, 0);
    summary_.assign(words_.size() / 64 + 1, 0);
  }
  // Empties the set in time proportional to the words in use.
  void Clear() {
    for (size_t s = 0; s < summary_.size(); ++s) {
      for (uint64_t m = summary_[s]; m; m &= m - 1) words_[s * 64 + size_t(std::countr_zero(m))] = 0;
      summary_[s] = 0;
    }
  }
  bool Contains(int k) const { return words_[size_t(k) >> 6] >> (k & 63) & 1; }
  void Insert(int k) {
    size_t w = size_t(k) >> 6;
    words_[w] |= uint64_t(1) << (k & 63);
    summary_[w >> 6] |= uint64_t(1) << (w & 63);
  }
  void Erase(int k) {
    size_t w = size_t(k) >> 6;
    words_[w] &= ~(uint64_t(1) << (k & 63));
    if (!words_[w]) summary_[w >> 6] &= ~(uint64_t(1) << (w & 63));
  }
  // The least key >= k, or -1.
  int Next(int k) const {
    assert(k >= 0);
    size_t w = size_t(k) >> 6;
    if (w >= words_.size()) return -1;
    if (uint64_t m = words_[w] & (~uint64_t(0) << (k & 63))) return Key(w, m, true);
    for (size_t v = w + 1; v < words_.size();) {
      uint64_t s = summary_[v >> 6] & (~uint64_t(0) << (v & 63));
      if (s) {
        size_t u = (v & ~size_t(63)) + size_t(std::countr_zero(s));
        return Key(u, words_[u], true);
      }
      v = (v | 63) + 1;
    }
    return -1;
  }
  // The greatest key <= k, or -1.
  int Previous(int k) const {
    if (k < 0) return -1;
    size_t w = size_t(k) >> 6;
    if (w >= words_.size()) return Previous(int(words_.size() * 64 - 1));
    if (uint64_t m = words_[w] & (~uint64_t(0) >> (63 - (k & 63)))) return Key(w, m, false);
    for (size_t v = w; v-- > 0;) {
      uint64_t s = summary_[v >> 6] & (~uint64_t(0) >> (63 - (v & 63)));
      if (s) {
        size_t u = (v & ~size_t(63)) + size_t(63 - std::countl_zero(s));
        return Key(u, words_[u], false);
      }
      v &= ~size_t(63);
    }
    return -1;
  }

 private:
  static int Key(size_t w, uint64_t m, bool lowest) {
    return int(w * 64) + (lowest ? std::countr_zero(m) : 63 - std::countl_zero(m));
  }
  std::vector<uint64_t> words_, summary_;
};

}  // namespace krv::seq
