// The bulk number readers' fast decoder against the exact conversions: for every form, each
// element a bulk read gives (or the error it raises) is the one NumberValue gives for the same
// bytes, in both layouts, whether the form is taken by the fast decoder or left to the exact
// path. Forms come from a table across the decoder's boundaries and from random bytes.
#include "scalar/KelvorTypeNUMBER.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "tests/scalar/ScalarTestSupport.h"

namespace kelvor::jdbc::kelcore {
namespace {

using namespace scalartest;
using N = KelvorTypeNUMBER;
using testsupport::codeOf;

constexpr int32_t KINDS[] = {N::ACCESS_INT_ARRAY, N::ACCESS_DOUBLE_ARRAY, N::ACCESS_FLOAT_ARRAY,
                             N::ACCESS_LONG_ARRAY, N::ACCESS_SHORT_ARRAY};

// An element as its bits (ints sign-extended, floats by their representation), or an error.
struct Outcome {
  int32_t code = testsupport::NOTHING_RAISED;
  uint64_t bits = 0;
  bool operator==(const Outcome&) const = default;
};

template <typename T>
uint64_t bitsOf(T v) {
  if constexpr (std::is_floating_point_v<T>) {
    uint64_t b = 0;
    std::memcpy(&b, &v, sizeof v);
    return b;
  } else {
    return static_cast<uint64_t>(static_cast<int64_t>(v));
  }
}

Outcome exact(const Bytes& f, int32_t kind) {
  Outcome o;
  if (f.empty()) return o;  // an empty form is a null: 0 in a primitive array
  const auto n = static_cast<int32_t>(f.size());
  o.code = codeOf([&] {
    switch (kind) {
      case N::ACCESS_INT_ARRAY:
        o.bits = bitsOf(NumberValue::toInt(f.data(), n));
        break;
      case N::ACCESS_DOUBLE_ARRAY:
        o.bits = bitsOf(NumberValue::toDouble(f.data(), n));
        break;
      case N::ACCESS_FLOAT_ARRAY:
        o.bits = bitsOf(NumberValue::toFloat(f.data(), n));
        break;
      case N::ACCESS_LONG_ARRAY:
        o.bits = bitsOf(NumberValue::toLong(f.data(), n));
        break;
      default:
        o.bits = bitsOf(static_cast<int16_t>(NumberValue::toShort(f.data(), n)));
    }
  });
  return o;
}

std::vector<uint64_t> elementBits(const Ref<lang::Object>& a, int32_t kind) {
  auto all = [](const auto& array) {
    std::vector<uint64_t> v;
    for (int32_t i = 0; i < array.length(); ++i) v.push_back(bitsOf(array[i]));
    return v;
  };
  switch (kind) {
    case N::ACCESS_INT_ARRAY:
      return all(dynamic_cast<const lang::IntArray&>(*a));
    case N::ACCESS_DOUBLE_ARRAY:
      return all(dynamic_cast<const lang::DoubleArray&>(*a));
    case N::ACCESS_FLOAT_ARRAY:
      return all(dynamic_cast<const lang::FloatArray&>(*a));
    case N::ACCESS_LONG_ARRAY:
      return all(dynamic_cast<const lang::LongArray&>(*a));
    default:
      return all(dynamic_cast<const lang::ShortArray&>(*a));
  }
}

// The forms as data values and as fixed slots, then `tail` bytes of 0x63 (pairs of 99, so
// that a decoder reading past a form would see digits).
Bytes dataImage(const std::vector<Bytes>& forms, size_t tail) {
  Bytes image;
  for (const Bytes& f : forms) {
    image.push_back(static_cast<int8_t>(f.size()));
    image.insert(image.end(), f.begin(), f.end());
  }
  image.insert(image.end(), tail, 0x63);
  return image;
}
Bytes slotImage(const std::vector<Bytes>& forms, size_t tail) {
  Bytes image;
  for (const Bytes& f : forms) {
    Bytes slot(N::FIXED_NUMBER_STRIDE, 0x63);
    slot[0] = 0;
    slot[1] = static_cast<int8_t>(f.size());
    std::memcpy(&slot[2], f.data(), f.size());
    image.insert(image.end(), slot.begin(), slot.end());
  }
  image.insert(image.end(), tail, 0x63);
  return image;
}

Outcome bulkOne(const Bytes& f, int32_t kind, bool slots, size_t tail) {
  Outcome o;
  o.code = codeOf([&] {
    Ref<lang::Object> a;
    if (slots) {
      UnpickleContext ctx(arrayOf(slotImage({f}, tail)), 0, nullptr, nullptr, 0);
      a = N::unpickleFixedNumberArray(ctx, 1, 1, kind);
    } else {
      PickleContext ctx(arrayOf(dataImage({f}, tail)));
      a = N::unpickleNumberArray(ctx, 1, 1, kind);
    }
    o.bits = elementBits(a, kind).at(0);
  });
  return o;
}

// Every form read in bulk, by both layouts and every kind, with and without bytes after the
// last one: the forms the exact path reads all in one array each, the others one by one.
void expectBulkAsExact(const std::vector<Bytes>& forms) {
  for (const int32_t kind : KINDS) {
    std::vector<Bytes> readable;
    std::vector<Outcome> expected;
    for (const Bytes& f : forms) {
      const Outcome o = exact(f, kind);
      if (o.code == testsupport::NOTHING_RAISED) {
        readable.push_back(f);
        expected.push_back(o);
        continue;
      }
      for (const bool slots : {false, true}) {
        EXPECT_EQ(bulkOne(f, kind, slots, 8), o) << testing::PrintToString(f) << " kind " << kind;
      }
      EXPECT_EQ(bulkOne(f, kind, false, 0), o) << testing::PrintToString(f) << " kind " << kind;
    }
    std::vector<uint64_t> want;
    for (const Outcome& o : expected) want.push_back(o.bits);
    const auto count = static_cast<int32_t>(readable.size());
    for (const size_t tail : {size_t{0}, size_t{8}}) {
      PickleContext data(arrayOf(dataImage(readable, tail)));
      EXPECT_EQ(elementBits(N::unpickleNumberArray(data, 1, count, kind), kind), want) << kind;
      EXPECT_EQ(data.offset(), data.image()->length() - static_cast<int32_t>(tail));
      UnpickleContext fixed(arrayOf(slotImage(readable, tail)), 0, nullptr, nullptr, 0);
      EXPECT_EQ(elementBits(N::unpickleFixedNumberArray(fixed, 1, count, kind), kind), want);
    }
  }
}

Bytes form(std::initializer_list<int> bytes) {
  Bytes f;
  for (const int b : bytes) f.push_back(static_cast<int8_t>(b));
  return f;
}
Bytes formOfText(const char* text) {
  const Ref<lang::ByteArray> f = NumberValue::fromString(text)->shareBytes();
  return Bytes(f->data(), f->data() + f->length());
}

TEST(NumberDecoderTest, BoundaryFormsReadAsTheExactConversionsReadThem) {
  std::vector<Bytes> forms;
  // the limits of every target and one past them, powers of ten and their neighbours
  std::vector<int64_t> values = {0,
                                 1,
                                 9,
                                 10,
                                 11,
                                 99,
                                 100,
                                 101,
                                 32767,
                                 32768,
                                 32769,
                                 65535,
                                 99999999,
                                 100000000,
                                 123456789,
                                 999999999,
                                 1000000000,
                                 2147483647,
                                 2147483648,
                                 2147483649,
                                 9999999999,
                                 12345678,
                                 87654321000,
                                 999999990000000,
                                 999999999000000,
                                 INT64_MAX,
                                 2147483600,
                                 2147483700,
                                 2147480000,
                                 2147490000};
  for (int64_t p = 1;; p *= 10) {  // up to 10^18
    values.insert(values.end(), {p - 1, p, p + 1});
    for (const int64_t m : {7, 12, 1234, 99999999}) {
      if (p <= INT64_MAX / m) values.push_back(p * m);
    }
    if (p > INT64_MAX / 10) break;
  }
  for (const int64_t v : values) {
    forms.push_back(formOf(v));
    forms.push_back(formOf(v == INT64_MIN ? v : -v));
  }
  forms.push_back(formOf(INT64_MIN));
  // every length the decoder takes (and one more), every exponent to past its range, both
  // signs, the last digit on every place around the point: the first k of these pairs, and
  // the same with a last pair ending in 0
  constexpr int PAIRS[] = {12, 34, 56, 78, 91};
  for (int k = 1; k <= 5; ++k) {
    for (int e = 0; e <= 17; ++e) {
      for (const int sign : {0x00, 0x80}) {
        for (const bool zeroLast : {false, true}) {
          Bytes f = form({0x40 | sign, e});
          for (int i = 0; i < k; ++i) f.push_back(static_cast<int8_t>(PAIRS[i]));
          if (zeroLast) f.back() = static_cast<int8_t>(f.back() / 10 * 10);
          forms.push_back(f);
        }
      }
    }
  }
  for (const char* text : {"0.5", "-0.5", "12.5", "-12.5", "1.05", "99.9", "123.4", "0.01",
                           "2147483647.5", "-2147483648.9", "32767.9", "1e-5", "1e38"}) {
    forms.push_back(formOfText(text));
  }
  // malformed: a first pair below 10, a pair above 99, a last pair 00, a header without pairs,
  // zero written long, headers next to the ones taken, a form one byte longer than taken
  for (const Bytes& f :
       {form({0x40, 0x02, 0x05}), form({0x40, 0x02, 0x0A, 0x64}), form({0x40, 0x03, 0x0C, 0x00}),
        form({0x40, 0x00}), form({0x00, 0x00}), form({0x01}), form({0x80}),
        form({0x41, 0x00, 0x0C}), form({0x3F, 0xFF, 0x0C}), form({0xC1, 0x00, 0x0C}),
        form({0xBF, 0xFF, 0x0C}), form({0x40, 0x0F, 0x0C}), form({0x40, 0x10, 0x0C}),
        form({0x40, 0x09, 0x0C, 0x22, 0x38, 0x4E, 0x5A}), form({0x40, 0x08, 0xFF, 0x22}),
        form({0x40, 0x08, 0x0C, 0xFF})}) {
    forms.push_back(f);
  }
  expectBulkAsExact(forms);
}

TEST(NumberDecoderTest, RandomFormsAndValuesReadAsTheExactConversionsReadThem) {
  std::mt19937_64 random(15);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  std::vector<Bytes> forms;
  for (int i = 0; i < 4000; ++i) {
    // near the forms taken: headers around 40/C0 with small exponents, pairs mostly digits
    const int k = pick(0, 6);
    Bytes f;
    int h0 = pick(0, 1) != 0 ? 0xC0 : 0x40;
    if (pick(0, 5) == 0) h0 += pick(-1, 1);
    if (pick(0, 9) == 0) h0 = pick(0, 255);
    f.push_back(static_cast<int8_t>(h0));
    f.push_back(static_cast<int8_t>(pick(0, 9) == 0 ? pick(0, 255) : pick(0, 18)));
    for (int j = 0; j < k; ++j) {
      const int b = pick(0, 19) == 0 ? pick(0, 255) : (j == 0 ? pick(10, 99) : pick(0, 99));
      f.push_back(static_cast<int8_t>(b));
    }
    forms.push_back(f);
  }
  for (int i = 0; i < 4000; ++i) {  // well-formed values of every size
    const int digits = pick(1, 18);
    int64_t v = 0;
    for (int d = 0; d < digits; ++d) v = v * 10 + pick(d == 0 ? 1 : 0, 9);
    if (pick(0, 2) == 0) v -= v % 10000;  // trailing zeros
    forms.push_back(formOf(pick(0, 1) != 0 ? -v : v));
    if (i % 50 == 0) forms.emplace_back();  // empty: a null, written as 0 in a large result
    if (i % 16 == 0) forms.push_back(formOf(static_cast<int64_t>(random())));  // 19 digits
  }
  expectBulkAsExact(forms);
}

}  // namespace
}  // namespace kelvor::jdbc::kelcore
