// The little-endian byte functions: bytes in file order, values back bit-exact, neighbours untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "platform/little_endian.h"

using namespace krv::platform;

namespace {

// One type's three named functions, on a string buffer.
template <class T>
struct Codec {
  std::function<T(const std::string&, size_t)> get;
  std::function<void(std::string&, size_t, T)> put;
  std::function<void(std::string&, T)> append;
};

const Codec<uint8_t> kU8{[](const std::string& b, size_t at) { return GetU8(b, at); },
                         [](std::string& b, size_t at, uint8_t v) { PutU8(b, at, v); },
                         [](std::string& b, uint8_t v) { AppendU8(b, v); }};
const Codec<int16_t> kI16{[](const std::string& b, size_t at) { return GetI16(b, at); },
                          [](std::string& b, size_t at, int16_t v) { PutI16(b, at, v); },
                          [](std::string& b, int16_t v) { AppendI16(b, v); }};
const Codec<uint16_t> kU16{[](const std::string& b, size_t at) { return GetU16(b, at); },
                           [](std::string& b, size_t at, uint16_t v) { PutU16(b, at, v); },
                           [](std::string& b, uint16_t v) { AppendU16(b, v); }};
const Codec<int32_t> kI32{[](const std::string& b, size_t at) { return GetI32(b, at); },
                          [](std::string& b, size_t at, int32_t v) { PutI32(b, at, v); },
                          [](std::string& b, int32_t v) { AppendI32(b, v); }};
const Codec<uint32_t> kU32{[](const std::string& b, size_t at) { return GetU32(b, at); },
                           [](std::string& b, size_t at, uint32_t v) { PutU32(b, at, v); },
                           [](std::string& b, uint32_t v) { AppendU32(b, v); }};
const Codec<int64_t> kI64{[](const std::string& b, size_t at) { return GetI64(b, at); },
                          [](std::string& b, size_t at, int64_t v) { PutI64(b, at, v); },
                          [](std::string& b, int64_t v) { AppendI64(b, v); }};
const Codec<uint64_t> kU64{[](const std::string& b, size_t at) { return GetU64(b, at); },
                           [](std::string& b, size_t at, uint64_t v) { PutU64(b, at, v); },
                           [](std::string& b, uint64_t v) { AppendU64(b, v); }};
const Codec<float> kF32{[](const std::string& b, size_t at) { return GetF32(b, at); },
                        [](std::string& b, size_t at, float v) { PutF32(b, at, v); },
                        [](std::string& b, float v) { AppendF32(b, v); }};
const Codec<double> kF64{[](const std::string& b, size_t at) { return GetF64(b, at); },
                         [](std::string& b, size_t at, double v) { PutF64(b, at, v); },
                         [](std::string& b, double v) { AppendF64(b, v); }};

// What a case checks, with the value's type out of sight.
struct Case {
  std::string what;
  std::string bytes;                                    // the value's bytes in file order
  std::function<void(std::string&, size_t)> put;        // puts the value at an offset
  std::function<void(std::string&)> append;             // appends the value
  std::function<bool(const std::string&, size_t)> reads;  // reads back the same bits at an offset
  std::function<bool(const uint8_t*)> readsFromPointer;
};

template <class T>
Case Row(const char* what, const Codec<T>& codec, T v, std::initializer_list<int> bytes) {
  std::string b;
  for (int x : bytes) b += char(x);
  using Bits = little_endian::Bits<T>;
  auto same = [v](T got) { return std::bit_cast<Bits>(got) == std::bit_cast<Bits>(v); };
  return Case{what,
              b,
              [codec, v](std::string& s, size_t at) { codec.put(s, at, v); },
              [codec, v](std::string& s) { codec.append(s, v); },
              [codec, same](const std::string& s, size_t at) { return same(codec.get(s, at)); },
              [same](const uint8_t* p) { return same(little_endian::Load<T>(p)); }};
}

float F32Bits(uint32_t b) { return std::bit_cast<float>(b); }
double F64Bits(uint64_t b) { return std::bit_cast<double>(b); }

std::vector<Case> Cases() {
  return {
      Row("u8 top bit", kU8, uint8_t(0xFF), {0xFF}),
      Row("i16 -2", kI16, int16_t(-2), {0xFE, 0xFF}),
      Row("i16 lowest", kI16, std::numeric_limits<int16_t>::min(), {0x00, 0x80}),
      Row("i16 order", kI16, int16_t(0x1234), {0x34, 0x12}),
      Row("u16 high byte set", kU16, uint16_t(0xBEEF), {0xEF, 0xBE}),
      Row("i32 -1", kI32, int32_t(-1), {0xFF, 0xFF, 0xFF, 0xFF}),
      Row("i32 lowest", kI32, std::numeric_limits<int32_t>::min(), {0x00, 0x00, 0x00, 0x80}),
      Row("i32 order", kI32, int32_t(0x12345678), {0x78, 0x56, 0x34, 0x12}),
      Row("i32 -200 000", kI32, int32_t(-200000), {0xC0, 0xF2, 0xFC, 0xFF}),
      Row("u32 magic-like", kU32, uint32_t(0x00505050), {0x50, 0x50, 0x50, 0x00}),
      Row("u32 both ends", kU32, uint32_t(0x80000001), {0x01, 0x00, 0x00, 0x80}),
      Row("i64 -2", kI64, int64_t(-2), {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
      Row("i64 order", kI64, int64_t(0x0102030405060708), {8, 7, 6, 5, 4, 3, 2, 1}),
      Row("i64 lowest", kI64, std::numeric_limits<int64_t>::min(), {0, 0, 0, 0, 0, 0, 0, 0x80}),
      Row("u64 every byte high", kU64, uint64_t(0xFFEEDDCCBBAA9988), {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}),
      Row("f32 one", kF32, 1.0f, {0x00, 0x00, 0x80, 0x3F}),
      Row("f32 -2.5", kF32, -2.5f, {0x00, 0x00, 0x20, 0xC0}),
      Row("f32 -0", kF32, -0.0f, {0x00, 0x00, 0x00, 0x80}),
      Row("f32 +infinity", kF32, std::numeric_limits<float>::infinity(), {0x00, 0x00, 0x80, 0x7F}),
      Row("f32 -infinity", kF32, -std::numeric_limits<float>::infinity(), {0x00, 0x00, 0x80, 0xFF}),
      Row("f32 quiet NaN with payload", kF32, F32Bits(0x7FC12345), {0x45, 0x23, 0xC1, 0x7F}),
      Row("f32 signalling NaN", kF32, F32Bits(0x7F800001), {0x01, 0x00, 0x80, 0x7F}),
      Row("f32 negative NaN", kF32, F32Bits(0xFFC00000), {0x00, 0x00, 0xC0, 0xFF}),
      Row("f32 smallest subnormal", kF32, F32Bits(1), {0x01, 0x00, 0x00, 0x00}),
      Row("f64 one", kF64, 1.0, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}),
      Row("f64 -0.5", kF64, -0.5, {0, 0, 0, 0, 0, 0, 0xE0, 0xBF}),
      Row("f64 +infinity", kF64, std::numeric_limits<double>::infinity(), {0, 0, 0, 0, 0, 0, 0xF0, 0x7F}),
      Row("f64 negative NaN with payload", kF64, F64Bits(0xFFF8000000000123), {0x23, 0x01, 0, 0, 0, 0, 0xF8, 0xFF}),
      Row("f64 signalling NaN", kF64, F64Bits(0x7FF0000000000001), {0x01, 0, 0, 0, 0, 0, 0xF0, 0x7F}),
      Row("f64 smallest subnormal", kF64, F64Bits(1), {0x01, 0, 0, 0, 0, 0, 0, 0}),
  };
}

TEST(LittleEndian, EveryTypeGoesOutInFileOrderAndComesBackBitExact) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    const size_t at = 3;
    // Filler bytes with the top bit set catch a get that widens a char with its sign.
    std::string b(at + c.bytes.size() + 2, char(0xAA));
    c.put(b, at);
    EXPECT_EQ(b, std::string(at, char(0xAA)) + c.bytes + std::string(2, char(0xAA)));
    EXPECT_TRUE(c.reads(b, at));

    std::vector<uint8_t> u(b.begin(), b.end());
    EXPECT_TRUE(c.readsFromPointer(u.data() + at));

    std::string appended = "xy";
    c.append(appended);
    EXPECT_EQ(appended, "xy" + c.bytes);
    EXPECT_TRUE(c.reads(appended, 2));
  }
}

TEST(LittleEndian, BuffersOfEveryKindHoldTheSameBytes) {
  std::array<uint8_t, 6> a{};
  PutI16(a, 0, -3);
  PutU32(a.data(), 2, 0xA1B2C3D4u);
  EXPECT_EQ(a, (std::array<uint8_t, 6>{0xFD, 0xFF, 0xD4, 0xC3, 0xB2, 0xA1}));

  std::vector<uint8_t> v;
  AppendI16(v, -3);
  AppendU32(v, 0xA1B2C3D4u);
  EXPECT_TRUE(std::equal(v.begin(), v.end(), a.begin(), a.end()));

  char plain[6];
  PutI16(plain, 0, -3);
  PutU32(plain, 2, 0xA1B2C3D4u);
  EXPECT_EQ(GetI16(plain), -3);
  EXPECT_EQ(GetU32(std::string_view(plain, 6), 2), 0xA1B2C3D4u);
  EXPECT_EQ(GetI32(a, 2), int32_t(0xA1B2C3D4u));
}

// Usable where a format's constants are worked out at compile time.
static_assert(GetI32(std::array<uint8_t, 4>{0x78, 0x56, 0x34, 0x12}) == 0x12345678);
static_assert([] {
  std::array<uint8_t, 8> b{};
  PutF64(b, 0, -0.5);
  return b[7] == 0xBF && b[6] == 0xE0 && GetF64(b) == -0.5;
}());

#ifndef NDEBUG
TEST(LittleEndianDeathTest, AFieldPastTheBufferStops) {
  std::string b(5, '\0');
  EXPECT_DEATH(GetU32(b, 2), "");
  EXPECT_DEATH(PutU16(b, 4, 1), "");
  EXPECT_DEATH(GetU8(b, 6), "");
}
#endif

}  // namespace
