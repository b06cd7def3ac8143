// The index of procedure and function headings in a model source.
#include "guide/headings.h"

#include <algorithm>

#include "platform/text.h"
#include "platform/user_prompts.h"

namespace pf = krv::platform;

namespace krv::guide {

void SourceScanner::Reset(std::string_view memoText) {
  text_.assign(memoText);
  // Every line of a memo ends with a line break, the last one too.
  if (!text_.empty()) text_ += '\n';
  pos_ = 0;
  lines_ = 0;
}

char SourceScanner::Current() const { return Ended() ? '\0' : pf::UpperAscii(text_[pos_]); }

char SourceScanner::Next() const {
  return pos_ + 1 < text_.size() ? pf::UpperAscii(text_[pos_ + 1]) : '\0';
}

void SourceScanner::Advance() {
  if (Ended()) return;
  if (text_[pos_] == '\n') ++lines_;
  ++pos_;
}

bool SourceScanner::AtWhiteSpace() const {
  if (Ended()) return false;
  const char c = text_[pos_];
  return c == ' ' || c == '\r' || c == '\n' || c == '{' || (c == '(' && Next() == '*');
}

void SourceScanner::SkipWhiteSpace() {
  while (AtWhiteSpace()) {
    if (text_[pos_] == '{') {
      Advance();
      while (!Ended() && text_[pos_] != '}') Advance();
      Advance();
    } else if (text_[pos_] == '(') {
      Advance();
      Advance();
      while (!Ended() && !(text_[pos_] == '*' && Next() == ')')) Advance();
      Advance();
      Advance();
    } else {
      Advance();
    }
  }
}

bool NextSourceToken(SourceScanner& sc, const StopChars& stops, SourceToken& token) {
  token.text.clear();  // keeps its buffer: tokens come by the million
  token.stop = '\0';
  token.firstStop = false;
  if (sc.Ended()) {
    token.stopAt = sc.text_.size();
    return false;
  }
  auto isStop = [&](char c) { return std::find(stops.begin(), stops.end(), c) != stops.end(); };

  sc.SkipWhiteSpace();
  token.start = sc.pos_;
  token.line = sc.lines_;
  while (!sc.Ended() && !sc.AtWhiteSpace() && !isStop(sc.Current())) {
    const char c = sc.Current();
    if (c == '^') {
      sc.Advance();
      if (sc.Ended()) break;
      if (token.text.size() < kMaxSourceToken)
        token.text += char(static_cast<unsigned char>(sc.Current()) - 64);
      sc.Advance();
    } else if (c == '\'') {
      // A quoted part is taken as read, up to and including its closing quote.
      bool closed = false;
      bool opening = true;
      while (!sc.Ended() && !closed) {
        if (token.text.size() >= kMaxSourceToken) {
          pf::Prompts().ShowMessage("String too long");
          token.text.clear();
          token.stopAt = sc.pos_;
          return true;
        }
        const char q = sc.Current();
        token.text += q;
        sc.Advance();
        closed = q == '\'' && !opening;
        opening = false;
      }
    } else {
      if (token.text.size() < kMaxSourceToken) token.text += c;
      sc.Advance();
    }
  }

  // The character that ended the token, past any white space but never
  // past a stop character.
  sc.SkipWhiteSpace();
  token.stopAt = sc.pos_;
  if (sc.Ended()) return true;
  token.stop = sc.Current();
  token.firstStop = token.stop == stops[0];
  if (isStop(token.stop)) sc.Advance();
  return true;
}

void NextNonEmptySourceToken(SourceScanner& sc, const StopChars& stops, SourceToken& token) {
  while (NextSourceToken(sc, stops, token) && token.text.empty()) {
  }
}

namespace {

constexpr StopChars kHeadingStops{'(', ',', ':', ')', ';'};
constexpr StopChars kParameterStops{')', ',', ':', '(', ';'};

bool IsHeadingKeyword(const std::string& t) {
  return t == "XPROC" || t == "MPROC" || t == "PROCEDURE" || t == "FUNCTION";
}

// The procedures every model has; their headings are not listed.
bool IsStandardProcedure(const std::string& t) {
  for (const char* name : {"SETUP", "SYSTEM", "TIMESET", "REPORT", "PARSET", "USERBPR", "ADDSET"})
    if (t == name) return true;
  return false;
}

}  // namespace

std::string BuildHeadingsList(std::string_view qtlText) {
  SourceScanner sc(qtlText);
  const std::string& text = sc.Text();
  std::string list;
  SourceToken token;
  while (!sc.Ended()) {
    NextNonEmptySourceToken(sc, kHeadingStops, token);
    if (!IsHeadingKeyword(token.text)) continue;
    const size_t headingStart = token.start;
    const int headingLine = token.line;

    NextNonEmptySourceToken(sc, kHeadingStops, token);
    if (token.text.empty() || IsStandardProcedure(token.text)) continue;
    size_t end = token.stopAt;
    if (token.firstStop) {
      // Through the ")" that closes the parameter list.
      int level = 1;
      while (level > 0 && NextSourceToken(sc, kParameterStops, token)) {
        if (token.stop == ')') --level;
        if (token.stop == '(') ++level;
        end = token.stopAt;
      }
    }
    if (sc.Ended()) break;

    // The heading and the character after it; a line break there just ends
    // the list line.
    std::string_view heading(text.data() + headingStart,
                             std::min(end + 2, text.size()) - headingStart);
    if (!heading.empty() && heading.back() == '\n') heading.remove_suffix(1);
    if (!list.empty()) list += '\n';
    list += "line = " + pf::IntToString(headingLine + 1) + "\n";
    list += heading;
  }
  return list;
}

std::optional<long long> HeadingJumpLine(std::string_view list, size_t caret) {
  constexpr auto npos = std::string_view::npos;
  caret = std::min(caret, list.size());
  size_t lf = caret == 0 ? npos : list.rfind('\n', caret - 1);
  size_t lineStart = lf == npos ? 0 : lf + 1;
  // A heading may span several lines: go back to its entry's number line.
  constexpr std::string_view kMark = "line = ";
  for (;;) {
    if (list.substr(lineStart, kMark.size()) == kMark) {
      const size_t digits = lineStart + kMark.size();
      size_t endDigits = digits;
      while (endDigits < list.size() && list[endDigits] >= '0' && list[endDigits] <= '9')
        ++endDigits;
      if (auto n = pf::ParseInt(list.substr(digits, endDigits - digits))) return n;
    }
    if (lineStart == 0) return std::nullopt;
    // lineStart - 1 is the line feed that ends the line before.
    lf = lineStart == 1 ? npos : list.rfind('\n', lineStart - 2);
    lineStart = lf == npos ? 0 : lf + 1;
  }
}

size_t LineStart(std::string_view text, long long line) {
  size_t pos = 0;
  for (long long k = 1; k < line; ++k) {
    size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) return text.size();
    pos = lf + 1;
  }
  return pos;
}

std::optional<size_t> SearchHeadings(std::string_view list, std::string_view search,
                                     size_t& lastHit) {
  const size_t m = search.size();
  if (m == 0 || m > list.size()) return std::nullopt;
  const std::string wanted = pf::UpperAscii(search);
  const size_t fits = list.size() - m + 1;  // start positions, from 1
  size_t k = (lastHit >= 1 && lastHit <= fits) ? lastHit : 1;
  for (size_t tried = 0; tried < fits; ++tried) {
    bool match = true;
    for (size_t i = 0; i < m && match; ++i) match = pf::UpperAscii(list[k - 1 + i]) == wanted[i];
    if (match) {
      lastHit = k;
      return k - 1;
    }
    k = k == fits ? 1 : k + 1;
  }
  pf::Prompts().ShowMessage("No find");
  return std::nullopt;
}

}  // namespace krv::guide
