// dsf_check FILE: reads a data-series file on its own, without the store's
// code, and prints every record it reaches from the root, so the
// transcripts show what the store wrote byte by byte. Records that no
// link reaches are listed at the end. A record met twice, or a link out of
// the file, is printed and not followed.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/little_endian.h"

namespace {

using krv::platform::GetF32;
using krv::platform::GetI16;
using krv::platform::GetI32;

std::vector<uint8_t> g_file;
size_t g_records = 0;
std::set<int32_t> g_seen;

const uint8_t* Rec(int32_t n) { return g_file.data() + size_t(n) * 128; }
std::string Str(const uint8_t* p, size_t width) {
  size_t n = p[0] <= width ? p[0] : width;
  std::string s(reinterpret_cast<const char*>(p + 1), n);
  return p[0] <= width ? "\"" + s + "\"" : "\"" + s + "\"(length " + std::to_string(p[0]) + ")";
}
std::string Hex(const uint8_t* p, size_t n) {
  std::string s;
  char b[4];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
    s += b;
  }
  return s;
}
std::string Stamp(const uint8_t* p) {
  char b[40];
  std::snprintf(b, sizeof b, "%d/%d/%d %d:%02d", GetI16(p), p[2], p[3], p[4], p[5]);
  return b;
}

bool Reach(int32_t n, const char* what) {
  if (n < 1 || size_t(n) >= g_records) {
    std::printf("  %s %d is outside the file\n", what, n);
    return false;
  }
  if (!g_seen.insert(n).second) {
    std::printf("  %s %d met again\n", what, n);
    return false;
  }
  return true;
}

void Series(int32_t head, const std::string& path);

void Dir(int32_t first, const std::string& path, int depth) {
  for (int32_t n = first; n != 0;) {
    if (!Reach(n, "block")) return;
    const uint8_t* r = Rec(n);
    std::printf("R%d dir %s link=%d\n", n, path.empty() ? "(root)" : path.c_str(), GetI32(r));
    std::vector<std::pair<int32_t, std::string>> subdirs, series;
    for (int k = 0; k < 4; ++k) {
      const uint8_t* e = r + 4 + 31 * k;
      int32_t rec = GetI32(e);
      if (rec == -1) {
        std::printf("  free\n");
        continue;
      }
      std::string name(reinterpret_cast<const char*>(e + 5), e[4] <= 25 ? e[4] : 25);
      std::printf("  %s %s %s\n", Hex(e, 7).c_str(), e[30] == 1 ? "dir" : "series",
                  Str(e + 4, 25).c_str());
      (e[30] == 1 ? subdirs : series).push_back({rec, path + "." + name});
    }
    n = GetI32(r);
    for (auto& s : series) Series(s.first, s.second);
    for (auto& d : subdirs) {
      if (depth < 40) Dir(d.first, d.second, depth + 1);
    }
  }
}

void Series(int32_t head, const std::string& path) {
  if (!Reach(head, "head")) return;
  const uint8_t* r = Rec(head);
  std::printf("R%d head %s first=%d base=%d highest=%d offset=%d stamp=%s x=%d comment=%s\n",
              head, path.c_str(), GetI32(r), GetI16(r, 4), GetI16(r, 6), r[8], Stamp(r + 118).c_str(),
              GetI32(r, 124), Str(r + 9, 108).c_str());
  for (int32_t n = GetI32(r); n != 0;) {
    if (!Reach(n, "data")) return;
    const uint8_t* d = Rec(n);
    std::printf("R%d data link=%d\n", n, GetI32(d));
    // Runs of cells with the same bytes.
    for (int k = 0; k < 31;) {
      int j = k + 1;
      while (j < 31 && std::memcmp(d + 4 + 4 * k, d + 4 + 4 * j, 4) == 0) ++j;
      float f = GetF32(d, 4 + 4 * k);
      if (j - k == 1)
        std::printf("  cell %d %s (%.9g)\n", k, Hex(d + 4 + 4 * k, 4).c_str(), double(f));
      else
        std::printf("  cells %d..%d %s (%.9g)\n", k, j - 1, Hex(d + 4 + 4 * k, 4).c_str(),
                    double(f));
      k = j;
    }
    n = GetI32(d);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dsf_check FILE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::printf("cannot read %s\n", argv[1]);
    return 1;
  }
  g_file.assign(std::istreambuf_iterator<char>(in), {});
  g_records = g_file.size() / 128;
  std::printf("size %zu bytes, %zu records\n", g_file.size(), g_records);
  if (g_records < 1) return 0;
  const uint8_t* h = Rec(0);
  std::printf("R0 %s next=%d name=%s created=%s\n", Hex(h, 8).c_str(), GetI32(h, 4),
              Str(h + 8, 25).c_str(), Stamp(h + 34).c_str());
  if (g_records > 1) Dir(1, "", 1);
  for (size_t n = 1; n < g_records; ++n)
    if (!g_seen.count(int32_t(n))) std::printf("R%zu unreached\n", n);
  return 0;
}
