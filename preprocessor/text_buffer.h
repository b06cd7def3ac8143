// The one text store of a run: the whole source, the name store and the
// generated text, each addressed by a 32-bit position.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace krv::pp {

using Pos = uint32_t;

inline constexpr char kEofChar = 26;
inline constexpr char kSegmentMark = 2;

// Names live at 4097..79999 so that "80000 - NamePtr" is the free space the
// log reports; generated text and the source sit in regions of their own.
inline constexpr Pos kNameStoreStart = 4097;
inline constexpr Pos kNameStoreEnd = 80000;
inline constexpr Pos kGeneratedBase = 0x40000000u;
inline constexpr Pos kSourceBase = 0x80000000u;
inline constexpr size_t kMaxRegionSize = 0x3FFFFF00u;

// A piece of text in the buffer: start position and length.
struct NameRef {
  Pos start = 0;
  uint32_t length = 0;
};

class TextBuffer {
 public:
  TextBuffer();

  // Holds `bytes` as the source text, followed by the end-of-file mark.
  // The whole file stays in memory so every token can be read back later.
  void LoadSource(std::string bytes);
  size_t SourceSize() const { return source_.size(); }

  // The character at p; past the end of a region it reads as end of file.
  char At(Pos p) const;
  // `length` characters from `start`; all of them lie in one region.
  std::string_view View(Pos start, uint32_t length) const;
  std::string_view View(const NameRef& r) const { return View(r.start, r.length); }

  // Generated text only grows, so text still referenced is never overwritten.
  Pos GenPtr() const { return Pos(kGeneratedBase + generated_.size()); }
  // Appends text; false when the region is exhausted.
  bool AppendGenerated(std::string_view text);

  // The name store: names for the whole run; false when it is full.
  Pos NamePtr() const { return Pos(kNameStoreStart + names_.size()); }
  bool StoreName(std::string_view text, NameRef& ref);
  void ResetNames() { names_.clear(); }

 private:
  std::string source_;
  std::string names_;
  std::string generated_;
};

}  // namespace krv::pp
