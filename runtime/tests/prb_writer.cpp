// Test helper: problem files through the problem-file library, with an ordering made the way the sequencer makes it.
#include "runtime/tests/prb_writer.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <stdexcept>

#include "sequencer/prb_format.h"

namespace krv::rt {
namespace {

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
  seq::PrbProblem p;
  p.header = seq::MakeHeaderLine(desc.label);
  for (const PrbVar& v : desc.vars) {
    seq::PrbVariable var;
    var.kind = v.kind;
    var.name = v.name;
    var.block.SetConstraint(v.constraint);
    var.block.SetXIn(v.xin);
    var.block.SetRange(v.range);
    p.variables.push_back(std::move(var));
  }
  auto index = [](int v) { return static_cast<uint16_t>(v); };
  for (auto [a, b] : desc.pairs) p.ordering.pairs.push_back({index(a), index(b)});
  if (desc.has_ordering) {
    for (int v : desc.rows) p.ordering.rowNames.push_back(index(v));
    for (int v : desc.cols) p.ordering.columnNames.push_back(index(v));
    for (auto [r, c] : desc.nonzeros) p.ordering.nonzeros.push_back({index(r), index(c)});
  }
  std::string out, error;
  if (!seq::WritePrb(p, out, error)) throw std::runtime_error("cannot write the problem: " + error);
  // A problem the sequencer stopped on ends after its integration pairs:
  // drop the empty ordering (its count word and the nonzero count).
  if (!desc.has_ordering) out.resize(out.size() - 2 - 4);
  return out;
}

namespace {

// The problem as read back, ordering left unread, so that files cut short
// there can be inspected too.
seq::PrbProblem ReadBack(const std::string& prb) {
  seq::PrbReadOptions o;
  o.ordering = seq::PrbOrderingRule::CopyUnread;
  seq::PrbProblem p;
  seq::PrbReadResult r = seq::ReadPrb(prb, p, o);
  if (!r.ok) throw std::runtime_error("unreadable problem file: " + r.error);
  return p;
}

}  // namespace

size_t ValueBlockOffset(const std::string& prb, int k) {
  seq::PrbProblem p = ReadBack(prb);
  if (k < 0 || static_cast<size_t>(k) >= p.variables.size())
    throw std::runtime_error("no such value block");
  size_t at = p.header.size() + 2 + 2;
  for (int i = 0; i < k; ++i) at += p.variables[size_t(i)].storedLine.size() + 2 + seq::kValueBlockSize;
  return at + p.variables[size_t(k)].storedLine.size() + 2;
}

double XOutAt(const std::string& prb, int k) {
  seq::PrbProblem p = ReadBack(prb);
  if (k < 0 || static_cast<size_t>(k) >= p.variables.size())
    throw std::runtime_error("no such value block");
  return p.variables[size_t(k)].block.XOut();
}

void SetValueBlock(std::string& prb, int k, const PrbVar& v) {
  const size_t at = ValueBlockOffset(prb, k);
  seq::PRBValueBlock b;
  std::memcpy(b.bytes.data(), prb.data() + at, b.bytes.size());
  b.SetConstraint(v.constraint);
  b.SetXIn(v.xin);
  b.SetRange(v.range);
  std::memcpy(prb.data() + at, b.bytes.data(), b.bytes.size());
}

}  // namespace krv::rt
