// Test helper: writes problem files byte for byte, with an ordering made the way the sequencer makes it.
#include "runtime/tests/prb_writer.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <stdexcept>

namespace krv::rt {
namespace {

void PutWord(std::string& out, unsigned w) {
  out += static_cast<char>(w & 0xFF);
  out += static_cast<char>((w >> 8) & 0xFF);
}

template <typename T>
void PutRaw(std::string& out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out.append(bytes, sizeof(T));
}

// Ditto compression against the 15-entry table of earlier components.
std::string Compress(const std::string& name, std::array<std::string, 15>& table) {
  std::string out;
  size_t start = 0;
  size_t j = 0;
  for (size_t k = 0; k <= name.size(); ++k) {
    if (k < name.size() && name[k] != '.' && name[k] != '_') continue;
    std::string component = name.substr(start, k - start);
    if (j < table.size() && component == table[j]) {
      out += '"';
    } else {
      out += component;
      if (j < table.size()) table[j] = component.substr(0, 31);
    }
    if (k < name.size()) out += name[k];
    ++j;
    start = k + 1;
  }
  if (j < table.size()) table[j].clear();
  return out;
}

// Strongly connected components of "number n uses number m", emitted with
// every component after the ones it uses (Tarjan, iterative: model chains
// are deep).
std::vector<int> DependenciesFirst(int n, const std::vector<std::vector<int>>& uses) {
  std::vector<int> index(n + 1, -1), low(n + 1, 0), order, stack;
  std::vector<bool> on_stack(n + 1, false);
  std::vector<std::pair<int, size_t>> calls;  // (node, next edge)
  int counter = 0;
  for (int root = 1; root <= n; ++root) {
    if (index[root] >= 0) continue;
    calls.emplace_back(root, 0);
    while (!calls.empty()) {
      auto& [v, edge] = calls.back();
      if (edge == 0 && index[v] < 0) {
        index[v] = low[v] = counter++;
        stack.push_back(v);
        on_stack[v] = true;
      }
      if (edge < uses[v].size()) {
        int w = uses[v][edge++];
        if (index[w] < 0) {
          calls.emplace_back(w, 0);
        } else if (on_stack[w]) {
          low[v] = std::min(low[v], index[w]);
        }
        continue;
      }
      const int done = v;
      if (low[done] == index[done]) {
        int w;
        do {
          w = stack.back();
          stack.pop_back();
          on_stack[w] = false;
          order.push_back(w);
        } while (w != done);
      }
      calls.pop_back();
      if (!calls.empty()) low[calls.back().first] = std::min(low[calls.back().first], low[done]);
    }
  }
  return order;
}

}  // namespace

void OrderLikeSequencer(PrbSpec& desc, const std::vector<Incidence>& incidences) {
  const int count = static_cast<int>(desc.vars.size());
  struct Fix { int out, in, number = 0; };
  std::vector<Fix> fixes;
  desc.pairs.clear();
  for (const Incidence& inc : incidences) {
    if (inc.fix) fixes.push_back({inc.out, inc.in});
    if (inc.mode == 1) desc.pairs.emplace_back(inc.out, inc.in);
    if (inc.mode == 2) desc.pairs.emplace_back(inc.in, inc.out);
  }
  std::vector<int> row_of(count, 0), col_of(count, 0);
  std::vector<std::pair<int, int>> numbered;  // (row number, column number)
  int n = 0;
  for (int k = 0; k < count; ++k) {
    const std::string& kind = desc.vars[k].kind;
    if (kind == "IO") {
      row_of[k] = col_of[k] = ++n;
      numbered.emplace_back(n, n);
    } else if (kind == "IC" || kind == "CO") {
      bool ic = kind == "IC";
      for (Fix& f : fixes) {
        if ((ic ? f.out : f.in) != k) continue;
        if (f.number == 0) {
          f.number = ++n;
          col_of[f.out] = n;
          row_of[f.out] = 0;
          row_of[f.in] = n;
          col_of[f.in] = 0;
        }
        break;
      }
    }
  }
  for (const Incidence& inc : incidences)
    if (!inc.fix && row_of[inc.out] && col_of[inc.in])
      numbered.emplace_back(row_of[inc.out], col_of[inc.in]);

  std::vector<std::vector<int>> uses(n + 1);
  for (auto [r, c] : numbered)
    if (r != c) uses[r].push_back(c);
  std::vector<int> order = DependenciesFirst(n, uses);
  std::vector<int> position(n + 1);
  for (int p = 0; p < n; ++p) position[order[p]] = p + 1;

  desc.rows.assign(n, -1);
  desc.cols.assign(n, -1);
  for (int k = 0; k < count; ++k) {
    if (row_of[k]) desc.rows[position[row_of[k]] - 1] = k;
    if (col_of[k]) desc.cols[position[col_of[k]] - 1] = k;
  }
  desc.nonzeros.clear();
  for (auto [r, c] : numbered) desc.nonzeros.emplace_back(position[r], position[c]);
  std::sort(desc.nonzeros.begin(), desc.nonzeros.end(), [](auto a, auto b) {
    return a.second != b.second ? a.second < b.second : a.first < b.first;
  });
}

std::string WritePrb(const PrbSpec& desc) {
  std::string out = "*" + desc.label + "#0000\r\n";
  PutWord(out, static_cast<unsigned>(desc.vars.size()) - 1);
  std::array<std::string, 15> table;
  for (const PrbVar& v : desc.vars) {
    assert(v.kind.size() == 2);
    out += v.kind + Compress(v.name, table) + "\r\n";
    out += v.constraint;
    PutRaw(out, v.xin);
    PutRaw(out, v.range);
    PutRaw(out, 0.0f);
    PutRaw(out, 0.0);
  }
  out += "#\r\n";
  PutWord(out, static_cast<unsigned>(desc.pairs.size()));
  for (auto [a, b] : desc.pairs) {
    PutWord(out, a);
    PutWord(out, b);
  }
  if (!desc.has_ordering) return out;
  PutWord(out, static_cast<unsigned>(desc.rows.size()));
  for (int v : desc.rows) PutWord(out, v);
  for (int v : desc.cols) PutWord(out, v);
  const size_t z = desc.nonzeros.size();
  PutWord(out, z & 0xFFFF);
  PutWord(out, (z >> 16) & 0xFFFF);
  for (auto [r, c] : desc.nonzeros) {
    PutWord(out, r);
    PutWord(out, c);
  }
  return out;
}

size_t ValueBlockOffset(const std::string& prb, int k) {
  size_t at = prb.find("\r\n") + 2 + 2;
  for (int i = 0;; ++i) {
    at = prb.find("\r\n", at + 2);
    if (at == std::string::npos) throw std::runtime_error("no such value block");
    at += 2;
    if (i == k) return at;
    at += 25;
  }
}

double XOutAt(const std::string& prb, int k) {
  double x;
  std::memcpy(&x, prb.data() + ValueBlockOffset(prb, k) + 17, 8);
  return x;
}

void SetValueBlock(std::string& prb, int k, const PrbVar& v) {
  const size_t at = ValueBlockOffset(prb, k);
  prb[at] = v.constraint;
  std::memcpy(prb.data() + at + 1, &v.xin, 8);
  std::memcpy(prb.data() + at + 9, &v.range, 4);
}

}  // namespace krv::rt
