// The ordering's whole output on many generated matrices, both forms,
// against digests kept from a run of the ordering as first written: every
// log event, the entries, the positions and the first stage's blocks. Any
// change to how the ordering is computed must leave all of them unchanged.
//
// KRV_WRITE_ORDERING_DIGESTS=<file> writes the digests instead of checking.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "preprocessor/log_writer.h"
#include "sequencer/order_jacobian.h"
#include "sequencer/tests/literal_search.h"

using namespace krv::seq;

namespace {

using Pairs = std::vector<std::pair<int, int>>;

// Only the engine's raw numbers: the distributions of the standard library
// differ between implementations.
struct Rng {
  std::mt19937 engine;
  explicit Rng(unsigned seed) : engine(seed) {}
  int Below(int n) { return int(engine() % unsigned(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  void Shuffle(Pairs& v) {
    for (size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[size_t(Below(int(i)))]);
  }
};

// FNV-1a over everything the ordering gives out.
struct Digest {
  uint64_t h = 14695981039346656037ull;
  void Byte(unsigned char b) { h = (h ^ b) * 1099511628211ull; }
  void Int(long long v) {
    for (int i = 0; i < 8; ++i) Byte((unsigned char)(uint64_t(v) >> (8 * i)));
  }
  void Text(const std::string& s) {
    Int((long long)s.size());
    for (char c : s) Byte((unsigned char)c);
  }
};

// Every change the log makes, in order: the window keeps only its last
// lines, the digest sees them all.
class DigestView : public krv::pp::LogView {
 public:
  explicit DigestView(Digest& d) : d_(d) {}
  void LineAdded(const std::string& text) override { d_.Int(1), d_.Text(text); }
  void LineReplaced(size_t index, const std::string& text) override {
    d_.Int(2), d_.Int((long long)index), d_.Text(text);
  }
  void FirstLineRemoved() override { d_.Int(3); }

 private:
  Digest& d_;
};

uint64_t OrderDigest(int n, const Pairs& nz, const OrderingOptions& options) {
  std::vector<int> rows, cols;
  for (auto [r, c] : nz) rows.push_back(r), cols.push_back(c);
  Digest d;
  DigestView view(d);
  krv::pp::LogWriter log;
  log.SetView(&view);
  JacobianOrder o = OrderJacobian(n, rows, cols, log, options);
  d.Int(o.singular);
  for (auto e : o.entries) d.Int(e.row), d.Int(e.column);
  for (int p : o.RowPosition) d.Int(p);
  for (int p : o.MatchedRow) d.Int(p);
  for (auto [a, b] : o.firstStageBlocks) d.Int(a), d.Int(b);
  for (int p : o.firstStageRowAt) d.Int(p);
  return d.h;
}

Pairs RandomPattern(Rng& rng, int n, int densityPermille, bool diagonal) {
  Pairs nz;
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c)
      if ((diagonal && r == c) || rng.Below(1000) < densityPermille) {
        nz.push_back({r, c});
        if (rng.Chance(5)) nz.push_back({r, c});
      }
  rng.Shuffle(nz);
  return nz;
}

// One strongly coupled group around a cycle, columns shifted so the
// diagonal may need repairs; `singular` empties the last column.
Pairs CoupledPattern(Rng& rng, int n, int extra, int shift, bool singular) {
  Pairs nz;
  for (int r = 1; r <= n; ++r) {
    nz.push_back({r, 1 + (r - 1 + shift) % n});
    nz.push_back({r, 1 + r % n});
    for (int k = 0; k < extra; ++k) nz.push_back({r, 1 + rng.Below(n)});
    if (rng.Chance(10)) nz.push_back(nz.back());
  }
  if (singular) std::erase_if(nz, [&](auto p) { return p.second == n; });
  rng.Shuffle(nz);
  return nz;
}

// Strongly connected blocks of random sizes up to `maxBlock`, coupled
// inside and fed by earlier blocks, variables shuffled: the shape of a
// large model. `permuted` also shuffles the columns, so the diagonal needs
// repairs.
Pairs BlockModel(Rng& rng, int n, int maxBlock, int inside, int earlier, bool permuted) {
  std::vector<int> perm(size_t(n) + 1), colPerm(size_t(n) + 1);
  for (int k = 0; k <= n; ++k) perm[size_t(k)] = colPerm[size_t(k)] = k;
  for (int k = n; k > 1; --k) std::swap(perm[size_t(k)], perm[size_t(1 + rng.Below(k))]);
  if (permuted)
    for (int k = n; k > 1; --k) std::swap(colPerm[size_t(k)], colPerm[size_t(1 + rng.Below(k))]);
  Pairs nz;
  for (int first = 1; first <= n;) {
    int size = std::min(n - first + 1, 1 + rng.Below(maxBlock));
    for (int i = 0; i < size; ++i) {
      int v = first + i;
      nz.push_back({v, v});
      if (size > 1) nz.push_back({v, first + (i + 1) % size});
      for (int k = 0; k < inside && size > 2; ++k) nz.push_back({v, first + rng.Below(size)});
      for (int k = 0; k < earlier && first > 1; ++k) nz.push_back({v, 1 + rng.Below(first - 1)});
      if (rng.Chance(3)) nz.push_back(nz.back());
    }
    first += size;
  }
  for (auto& [r, c] : nz) r = perm[size_t(r)], c = colPerm[size_t(perm[size_t(c)])];
  rng.Shuffle(nz);
  return nz;
}

struct Case {
  int n;
  Pairs nz;
  bool literalToo;   // also in the literal form (the sweeps are slow on big ones)
  bool literalSearch;  // the literal form with the literal repair search too
};

std::vector<Case> Cases() {
  std::vector<Case> out;
  Rng rng(20261210);
  for (int i = 0; i < 300; ++i) {
    int n = 1 + rng.Below(i < 150 ? 9 : 40);
    int density = i < 150 ? 80 + rng.Below(500) : 1000 * (1 + rng.Below(50)) / (10 * n);
    out.push_back({n, RandomPattern(rng, n, density, i % 3 == 0), true, i < 150});
  }
  for (int i = 0; i < 120; ++i) {
    int n = 40 + rng.Below(260);
    int shift = i % 4 == 0 ? 0 : rng.Below(5);
    Pairs nz = CoupledPattern(rng, n, 1 + rng.Below(5), shift, i % 9 == 4);
    if (i % 2) {  // a lower-triangular tail feeding on the group
      for (int r = n + 1; r <= n + 40; ++r) {
        nz.push_back({r, r});
        nz.push_back({r, 1 + rng.Below(r - 1)});
      }
      n += 40;
    }
    out.push_back({n, std::move(nz), true, false});
  }
  for (int i = 0; i < 100; ++i) {
    int n = 50 + rng.Below(i < 80 ? 400 : 3000);
    out.push_back({n, BlockModel(rng, n, 3 + rng.Below(60), 1 + rng.Below(9), rng.Below(5), i % 4 == 1),
                   i < 80, false});
  }
  // The benchmark's shape at full size, and one big coupled block.
  out.push_back({10000, BlockModel(rng, 10000, 50, 9, 4, false), false, false});
  out.push_back({1000, CoupledPattern(rng, 1000, 3, 1, false), false, false});
  return out;
}

std::string Digests() {
  OrderingOptions fast, literal, literalSearch;
  literal.literalSweeps = literalSearch.literalSweeps = true;
  literalSearch.search = krv::seq::testing::LiteralRepairSearch;
  std::ostringstream s;
  int k = 0;
  for (const Case& c : Cases()) {
    s << k << " n=" << c.n << " fast " << std::hex << OrderDigest(c.n, c.nz, fast) << std::dec;
    if (c.literalToo)
      s << " literal " << std::hex
        << OrderDigest(c.n, c.nz, c.literalSearch ? literalSearch : literal) << std::dec;
    s << "\n";
    ++k;
  }
  return s.str();
}

const std::string kGolden = std::string(KRV_SOURCE_DIR) + "/sequencer/tests/digests/ordering_digests.txt";

}  // namespace

TEST(OrderingDigests, EveryGeneratedMatrixOrdersAsItAlwaysHas) {
  std::string got = Digests();
  if (const char* out = std::getenv("KRV_WRITE_ORDERING_DIGESTS")) {
    std::ofstream(out, std::ios::binary) << got;
    GTEST_SKIP() << "digests written to " << out;
  }
  std::ifstream in(kGolden, std::ios::binary);
  ASSERT_TRUE(in) << kGolden;
  std::stringstream want;
  want << in.rdbuf();
  // Line by line, so a failure names the matrix.
  std::istringstream g(got), w(want.str());
  std::string gl, wl;
  int line = 0;
  while (std::getline(w, wl)) {
    ASSERT_TRUE(std::getline(g, gl)) << "missing line " << line;
    EXPECT_EQ(gl, wl) << "matrix " << line;
    ++line;
  }
  EXPECT_FALSE(std::getline(g, gl)) << "more matrices than digests";
  EXPECT_GT(line, 500);
}
