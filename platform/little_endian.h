// Little-endian integers and floats in byte buffers, for every file format, test and fuzz target.
#pragma once

// Every value is moved byte by byte, least significant first, so the bytes
// are the same on any host; a float travels as its bit pattern, NaN payloads
// and signs of zero included. `bytes` is a pointer to char or uint8_t (the
// caller vouches for the room) or a buffer with data and size (std::string,
// std::string_view, std::vector, std::array, a plain array), whose bounds
// are asserted.
//
//   GetI32(bytes, at)      the int32_t in bytes[at .. at + 4)
//   PutI32(bytes, at, v)   writes v there
//   AppendI32(buffer, v)   adds v's four bytes at the end of a string or vector

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>

namespace krv::platform {

namespace little_endian {

// The unsigned integer of a value's width: the bytes are shifted in and out of it.
template <class T>
using Bits = std::conditional_t<
    sizeof(T) == 1, uint8_t,
    std::conditional_t<sizeof(T) == 2, uint16_t, std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;

template <class E>
concept ByteElement = std::is_same_v<std::remove_cv_t<E>, char> ||
                      std::is_same_v<std::remove_cv_t<E>, unsigned char> ||
                      std::is_same_v<std::remove_cv_t<E>, signed char>;

template <class T, ByteElement E>
constexpr T Load(const E* p) {
  Bits<T> v = 0;
  for (size_t i = 0; i < sizeof(T); ++i) v = Bits<T>(v | Bits<T>(Bits<T>(static_cast<uint8_t>(p[i])) << (8 * i)));
  return std::bit_cast<T>(v);
}

template <class T, ByteElement E>
constexpr void Store(E* p, T value) {
  const Bits<T> v = std::bit_cast<Bits<T>>(value);
  for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<E>(static_cast<uint8_t>(v >> (8 * i)));
}

// The address of bytes[at], asserting that `width` bytes from there lie in a buffer.
template <class B>
constexpr auto At(B&& bytes, size_t at, [[maybe_unused]] size_t width) {
  if constexpr (std::is_pointer_v<std::remove_cvref_t<B>>) {
    return bytes + at;
  } else {
    assert(at <= std::size(bytes) && std::size(bytes) - at >= width);
    return std::data(bytes) + at;
  }
}

template <class T, class B>
constexpr T Get(const B& bytes, size_t at) {
  return Load<T>(At(bytes, at, sizeof(T)));
}

template <class T, class B>
constexpr void Put(B&& bytes, size_t at, T v) {
  Store(At(bytes, at, sizeof(T)), v);
}

template <class T, class B>
constexpr void Append(B& buffer, T v) {
  const size_t at = buffer.size();
  buffer.resize(at + sizeof(T));
  Store(buffer.data() + at, v);
}

}  // namespace little_endian

constexpr uint8_t GetU8(const auto& bytes, size_t at = 0) { return little_endian::Get<uint8_t>(bytes, at); }
constexpr int16_t GetI16(const auto& bytes, size_t at = 0) { return little_endian::Get<int16_t>(bytes, at); }
constexpr uint16_t GetU16(const auto& bytes, size_t at = 0) { return little_endian::Get<uint16_t>(bytes, at); }
constexpr int32_t GetI32(const auto& bytes, size_t at = 0) { return little_endian::Get<int32_t>(bytes, at); }
constexpr uint32_t GetU32(const auto& bytes, size_t at = 0) { return little_endian::Get<uint32_t>(bytes, at); }
constexpr int64_t GetI64(const auto& bytes, size_t at = 0) { return little_endian::Get<int64_t>(bytes, at); }
constexpr uint64_t GetU64(const auto& bytes, size_t at = 0) { return little_endian::Get<uint64_t>(bytes, at); }
constexpr float GetF32(const auto& bytes, size_t at = 0) { return little_endian::Get<float>(bytes, at); }
constexpr double GetF64(const auto& bytes, size_t at = 0) { return little_endian::Get<double>(bytes, at); }

constexpr void PutU8(auto&& bytes, size_t at, uint8_t v) { little_endian::Put(bytes, at, v); }
constexpr void PutI16(auto&& bytes, size_t at, int16_t v) { little_endian::Put(bytes, at, v); }
constexpr void PutU16(auto&& bytes, size_t at, uint16_t v) { little_endian::Put(bytes, at, v); }
constexpr void PutI32(auto&& bytes, size_t at, int32_t v) { little_endian::Put(bytes, at, v); }
constexpr void PutU32(auto&& bytes, size_t at, uint32_t v) { little_endian::Put(bytes, at, v); }
constexpr void PutI64(auto&& bytes, size_t at, int64_t v) { little_endian::Put(bytes, at, v); }
constexpr void PutU64(auto&& bytes, size_t at, uint64_t v) { little_endian::Put(bytes, at, v); }
constexpr void PutF32(auto&& bytes, size_t at, float v) { little_endian::Put(bytes, at, v); }
constexpr void PutF64(auto&& bytes, size_t at, double v) { little_endian::Put(bytes, at, v); }

constexpr void AppendU8(auto& buffer, uint8_t v) { little_endian::Append(buffer, v); }
constexpr void AppendI16(auto& buffer, int16_t v) { little_endian::Append(buffer, v); }
constexpr void AppendU16(auto& buffer, uint16_t v) { little_endian::Append(buffer, v); }
constexpr void AppendI32(auto& buffer, int32_t v) { little_endian::Append(buffer, v); }
constexpr void AppendU32(auto& buffer, uint32_t v) { little_endian::Append(buffer, v); }
constexpr void AppendI64(auto& buffer, int64_t v) { little_endian::Append(buffer, v); }
constexpr void AppendU64(auto& buffer, uint64_t v) { little_endian::Append(buffer, v); }
constexpr void AppendF32(auto& buffer, float v) { little_endian::Append(buffer, v); }
constexpr void AppendF64(auto& buffer, double v) { little_endian::Append(buffer, v); }

}  // namespace krv::platform
