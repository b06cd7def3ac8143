// Name masks over dotted variable names: segments, "&" ends, "*" and "?".
#include "problem_editor/name_mask.h"

#include "platform/text.h"
#include "platform/user_prompts.h"

namespace krv::pe {

using platform::UpperAscii;

static bool EndsSegment(char c) { return c == '.' || c == '_' || c == ' ' || c == '&'; }

static bool Parse(std::string_view text, NameMask& mask) {
  mask = NameMask{};
  // A blank terminator lets every scan below stop without a bounds test.
  std::string t(text.substr(0, kMaskTextMax));
  t += ' ';
  size_t p = 0;
  while (t[p] == ' ')
    if (++p == t.size()) return true;  // empty mask

  char c = t[p];
  if (c != '&' && c != '_' && c != '*') return false;
  mask.anchored = c == '&';
  if (c == '&') {
    mask.segments.push_back({"&", false});
    if (t[p + 1] == '.') ++p;
  } else if (c == '*') {
    mask.segments.push_back({"*", true});
    if (t[p + 1] != '.' && t[p + 1] != '_') return false;
    ++p;
  }
  ++p;
  if (t[p] == ' ') return true;

  for (;;) {
    MaskSegment seg;
    c = UpperAscii(t[p]);
    if (c == '.' || c == '_' || c == ' ') return false;  // empty segment
    seg.star = c == '*';
    seg.text += c;
    ++p;
    while (!EndsSegment(t[p])) {
      char d = UpperAscii(t[p]);
      if (d == '*' && seg.star) return false;
      if (seg.text.size() < kMaskSegmentMax) seg.text += d;
      ++p;
    }
    char ender = t[p++];
    mask.segments.push_back(std::move(seg));
    if (ender == '&') mask.segments.push_back({"&", false});
    if (ender == ' ' || ender == '&') return true;
  }
}

bool ParseNameMask(std::string_view text, NameMask& mask, bool report) {
  bool ok = Parse(text, mask);
  if (!ok && report) platform::Prompts().ShowMessage(kNameSyntaxErr);
  return ok;
}

bool SetNameMask(std::string_view text, NameMask& mask, bool report) {
  bool ok = ParseNameMask(text, mask, report);
  if (ok && mask.segments.empty()) {
    mask.anchored = true;
    mask.segments.push_back({"&", false});
  }
  return ok;
}

bool MatchMaskSegment(const MaskSegment& m, std::string_view n) {
  const std::string& s = m.text;
  if (m.star) {
    for (size_t d = 0; d < s.size(); ++d) {
      char c = s[s.size() - 1 - d];
      if (c == '*') return true;
      if (d >= n.size()) return false;
      if (c != '?' && c != n[n.size() - 1 - d]) return false;
    }
    return true;
  }
  for (size_t k = 0; k < s.size(); ++k) {
    if (s[k] == '?' || s[k] == '*') continue;  // also past the end of n
    if (k >= n.size() || n[k] != s[k]) return false;
  }
  if (n.size() > s.size()) return !s.empty() && s.back() == '*';
  return true;
}

static bool IsOpenEnd(const MaskSegment& m) { return m.text == "&"; }

bool MatchVarName(const NameMask& mask, std::string_view name, bool* splitError) {
  std::string full = "_X." + std::string(name);
  NameMask split;
  bool ok = Parse(std::string_view(full).substr(0, 80), split);
  if (splitError) *splitError = !ok;
  const auto& ms = mask.segments;
  const auto& ns = split.segments;

  if (mask.anchored) {
    size_t j = ns.size();
    for (size_t i = ms.size(); i-- > 0;) {
      if (IsOpenEnd(ms[i])) return true;
      if (j == 0) return false;
      if (!MatchMaskSegment(ms[i], ns[--j].text)) return false;
    }
    return true;
  }
  for (size_t j = 0; j < ms.size(); ++j) {
    if (IsOpenEnd(ms[j])) return true;
    if (ns.size() < j + 1) return false;
    if (!MatchMaskSegment(ms[j], ns[j].text)) return false;
  }
  return ns.size() <= ms.size();
}

}  // namespace krv::pe
