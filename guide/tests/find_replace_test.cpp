// Tests of find and replace: the search steps on memo texts, the caret
// line, the search order and the replace targets.
#include <gtest/gtest.h>

#include <random>

#include "guide/find_replace.h"
#include "platform/user_prompts.h"

using namespace krv::guide;
using krv::platform::ScriptedPrompts;

namespace {

// A memo as the searches see it: its text and selection.
struct Memo {
  std::string text;
  size_t selStart = 0;
  size_t selLength = 0;
};

// Runs one search of `find` on `memo` as the window does: a hit selects it.
std::optional<size_t> Search(FindState& state, FindMemo which, Memo& memo, const std::string& find,
                             bool forward, bool caseSensitive = false) {
  auto hit = state.Search(which, memo.text, memo.selStart, find, caseSensitive, forward);
  if (hit) {
    memo.selStart = *hit;
    memo.selLength = find.size();
  }
  return hit;
}

}  // namespace

TEST(FindReplace, CaretLineNumber) {
  const std::string text = "ab\n\ncd\n";
  struct {
    size_t caret;
    int line;
  } cases[] = {{0, 1}, {2, 1}, {3, 2}, {4, 3}, {6, 3}, {7, 4}, {100, 4}};
  for (auto c : cases) EXPECT_EQ(CaretLineNumber(text, c.caret), c.line) << c.caret;
}

TEST(FindReplace, SearchDownAndUpThroughATable) {
  ScriptedPrompts prompts;
  FindState state;
  state.Select(FindCommand::SearchQtl);
  Memo m{"begin\nEND;\nend.\n"};
  struct Step {
    bool forward;
    std::optional<size_t> hit;
    size_t selStart;
    int line;
  } steps[] = {
      {true, 6, 6, 2},                // END, though the caret is at 0
      {true, 11, 11, 3},              // again: moves past the current hit
      {true, std::nullopt, 11, 3},    // no more: the selection stays
      {false, 6, 6, 2},               // up from the kept hit
      {false, std::nullopt, 6, 2},
  };
  int n = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(n++);
    EXPECT_EQ(Search(state, FindMemo::Qtl, m, "end", s.forward), s.hit);
    EXPECT_EQ(m.selStart, s.selStart);
    EXPECT_EQ(CaretLineNumber(m.text, m.selStart), s.line);
  }
  EXPECT_EQ(prompts.messages, (std::vector<std::string>{"No find", "No find"}));
  EXPECT_TRUE(state.LastSearchHit());
}

TEST(FindReplace, ChangedFindTextStartsAtTheCaret) {
  ScriptedPrompts prompts;
  FindState state;
  state.Select(FindCommand::SearchQtl);
  Memo m{"begin\nEND;\nend.\n"};
  ASSERT_EQ(Search(state, FindMemo::Qtl, m, "end", true), 6u);
  // Unchanged, the hit at the caret is passed over ...
  Memo same = m;
  EXPECT_EQ(Search(state, FindMemo::Qtl, same, "END;", true), std::nullopt);
  // ... a changed find text finds it.
  state.FindTextChanged();
  EXPECT_EQ(Search(state, FindMemo::Qtl, m, "END;", true), 6u);
}

TEST(FindReplace, WhatMatches) {
  ScriptedPrompts prompts;
  struct Case {
    const char* what;
    std::string text, find;
    bool caseSensitive;
    std::optional<size_t> down, up;  // from the start, from the end
  } cases[] = {
      {"case-blind", "begin\nEnd;\nEND.", "end", false, 6, 11},
      {"case sensitive", "begin\nEnd;\nend.", "end", true, 11, 11},
      {"accents compare exactly", "caf\xe9 CAF\xc9", "caf\xe9", false, 0, 0},
      {"an occurrence ending the text", "x := end", "END", false, 5, 5},
      {"longer than the text", "ab", "abc", false, std::nullopt, std::nullopt},
      {"empty find text", "abc", "", false, std::nullopt, std::nullopt},
      {"not a letter first", "a[1] b[2]", "[2", false, 6, 6},
      {"line breaks match", "ab\ncd", "b\nc", false, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FindForward(c.text, c.find, c.caseSensitive, 0, false), c.down);
    EXPECT_EQ(FindBackward(c.text, c.find, c.caseSensitive, c.text.size(), false), c.up);
  }
  // The find text is cut to its limit.
  std::string long_(300, 'a');
  EXPECT_EQ(FindForward(std::string(255, 'a'), long_, false, 0, false), 0u);
}

TEST(FindReplace, AgreesWithPlainComparisonEverywhere) {
  // Every caret, both directions, both foldings, on random small texts.
  std::mt19937 rng(7);
  const std::string alphabet = "aAbB\n\xe9";
  auto random = [&](size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += alphabet[rng() % alphabet.size()];
    return s;
  };
  auto fold = [](std::string s, bool exact) {
    if (!exact)
      for (char& c : s) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    return s;
  };
  for (int round = 0; round < 400; ++round) {
    const std::string text = random(rng() % 12), find = random(1 + rng() % 3);
    const bool exact = rng() % 2, hit = rng() % 2;
    const std::string t = fold(text, exact), f = fold(find, exact);
    for (size_t caret = 0; caret <= text.size(); ++caret) {
      std::optional<size_t> down, up;
      for (size_t at = caret + hit; at + f.size() <= t.size() && !down; ++at)
        if (t.compare(at, f.size(), f) == 0) down = at;
      if (!(hit && caret == 0))
        for (long at = long(caret) - hit; at >= 0 && !up; --at)
          if (size_t(at) + f.size() <= t.size() && t.compare(size_t(at), f.size(), f) == 0) up = at;
      SCOPED_TRACE(text + "|" + find);
      EXPECT_EQ(FindForward(text, find, exact, caret, hit), down) << caret;
      EXPECT_EQ(FindBackward(text, find, exact, caret, hit), up) << caret;
    }
  }
}

TEST(FindReplace, SearchBothReportsEachMemoAndReplacesOnlyWhereItHit) {
  ScriptedPrompts prompts;
  FindState state;
  state.Select(FindCommand::SearchBoth);
  Memo qtl{"model text"}, psy{"procedure SETUP;"};
  std::vector<std::optional<size_t>> hits;
  for (FindMemo which : state.SearchOrder())
    hits.push_back(Search(state, which, which == FindMemo::Qtl ? qtl : psy, "setup", true));
  EXPECT_EQ(hits, (std::vector<std::optional<size_t>>{std::nullopt, 10u}));
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"No find"});
  EXPECT_EQ(state.ReplaceTargets(), std::vector<FindMemo>{FindMemo::Psy});
}

TEST(FindReplace, SearchOrderAndReplaceTargets) {
  ScriptedPrompts prompts;
  using V = std::vector<FindMemo>;
  struct Case {
    FindCommand command;
    const char* caption;  // "" where the caption stays
    V order;
    std::vector<bool> hits;  // the outcome of each search in order
    V replace;
  } cases[] = {
      {FindCommand::SearchQtl, "Find/Replace in QTL file", {FindMemo::Qtl}, {false}, {FindMemo::Qtl}},
      {FindCommand::SearchPsy, "Find/Replace in PSY file", {FindMemo::Psy}, {true}, {FindMemo::Psy}},
      {FindCommand::SearchBoth, "Find/Replace in both QTL and PSY", {FindMemo::Qtl, FindMemo::Psy},
       {true, true}, {FindMemo::Qtl, FindMemo::Psy}},
      {FindCommand::SearchBoth, "Find/Replace in both QTL and PSY", {FindMemo::Qtl, FindMemo::Psy},
       {true, false}, {FindMemo::Qtl}},
      {FindCommand::SearchBoth, "Find/Replace in both QTL and PSY", {FindMemo::Qtl, FindMemo::Psy},
       {false, false}, {}},
      {FindCommand::SearchAny, "Find/Replace in Any file", {FindMemo::Any}, {true}, {FindMemo::Any}},
      {FindCommand::SearchSosi, "", {FindMemo::Sosi}, {false}, {FindMemo::Sosi}},
  };
  for (const Case& c : cases) {
    FindState state;
    // An earlier target's hits do not carry over.
    state.Select(FindCommand::SearchBoth);
    for (FindMemo m : state.SearchOrder()) state.Search(m, "-x", 0, "x", false, true);
    state.Select(c.command);
    SCOPED_TRACE(int(c.command));
    EXPECT_EQ(FindCaptionFor(c.command).value_or(""), c.caption);
    ASSERT_EQ(state.SearchOrder(), c.order);
    for (size_t i = 0; i < c.order.size(); ++i)
      state.Search(c.order[i], c.hits[i] ? "-x" : "-y", 0, "x", false, true);
    EXPECT_EQ(state.ReplaceTargets(), c.replace);
  }
}
