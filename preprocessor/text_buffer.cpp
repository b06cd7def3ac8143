// The one text store of a run.
#include "preprocessor/text_buffer.h"

#include <cassert>

namespace krv::pp {

TextBuffer::TextBuffer() { source_.assign(1, kEofChar); }

void TextBuffer::LoadSource(std::string bytes) {
  assert(bytes.size() < kMaxRegionSize);
  source_ = std::move(bytes);
  source_.push_back(kEofChar);
}

char TextBuffer::At(Pos p) const {
  if (p >= kSourceBase) {
    size_t i = p - kSourceBase;
    return i < source_.size() ? source_[i] : kEofChar;
  }
  if (p >= kGeneratedBase) {
    size_t i = p - kGeneratedBase;
    return i < generated_.size() ? generated_[i] : kEofChar;
  }
  if (p >= kNameStoreStart) {
    size_t i = p - kNameStoreStart;
    return i < names_.size() ? names_[i] : kEofChar;
  }
  return kEofChar;
}

static std::string_view Slice(const std::string& s, size_t i, size_t n) {
  if (i >= s.size()) return {};
  return std::string_view(s).substr(i, n);
}

std::string_view TextBuffer::View(Pos start, uint32_t length) const {
  if (start >= kSourceBase) return Slice(source_, start - kSourceBase, length);
  if (start >= kGeneratedBase) return Slice(generated_, start - kGeneratedBase, length);
  if (start >= kNameStoreStart) return Slice(names_, start - kNameStoreStart, length);
  return {};
}

bool TextBuffer::AppendGenerated(std::string_view text) {
  if (generated_.size() + text.size() >= kMaxRegionSize) return false;
  generated_.append(text);
  return true;
}

bool TextBuffer::StoreName(std::string_view text, NameRef& ref) {
  if (size_t(NamePtr()) + text.size() > kNameStoreEnd) return false;
  ref = {NamePtr(), uint32_t(text.size())};
  names_.append(text);
  return true;
}

}  // namespace krv::pp
