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
#include "scalar/NumberBlockDecoder.h"
#include "tests/scalar/ScalarTestSupport.h"

namespace kelvor::jdbc::kelcore {
namespace {

using namespace scalartest;
using N = KelvorTypeNUMBER;
using testsupport::codeOf;

// An element as its bits (ints sign-extended, floats by their representation), or an error.
struct Outcome {
  int32_t code = testsupport::NOTHING_RAISED;
  uint64_t bits = 0;
  bool operator==(const Outcome&) const = default;
};

template <typename T>
uint64_t bitsOf(T v) {
  uint64_t b = 0;
  if constexpr (std::is_floating_point_v<T>) {
    std::memcpy(&b, &v, sizeof v);
  } else {
    b = static_cast<uint64_t>(static_cast<int64_t>(v));
  }
  return b;
}
template <typename E>
std::vector<uint64_t> elementBits(const Ref<lang::Object>& a) {
  std::vector<uint64_t> v;
  for (const E e : dynamic_cast<const lang::PrimitiveArray<E>&>(*a).span()) v.push_back(bitsOf(e));
  return v;
}

// An access kind: the exact conversion of one form and the elements of a bulk result.
struct Kind {
  int32_t access;
  uint64_t (*exact)(const int8_t*, int32_t);
  std::vector<uint64_t> (*elements)(const Ref<lang::Object>&);
};
const Kind KINDS[] = {
    {N::ACCESS_INT_ARRAY,
     [](const int8_t* b, int32_t n) { return bitsOf(NumberValue::toInt(b, n)); },
     elementBits<int32_t>},
    {N::ACCESS_DOUBLE_ARRAY,
     [](const int8_t* b, int32_t n) { return bitsOf(NumberValue::toDouble(b, n)); },
     elementBits<double>},
    {N::ACCESS_FLOAT_ARRAY,
     [](const int8_t* b, int32_t n) { return bitsOf(NumberValue::toFloat(b, n)); },
     elementBits<float>},
    {N::ACCESS_LONG_ARRAY,
     [](const int8_t* b, int32_t n) { return bitsOf(NumberValue::toLong(b, n)); },
     elementBits<int64_t>},
    {N::ACCESS_SHORT_ARRAY,
     [](const int8_t* b, int32_t n) {
       return bitsOf(static_cast<int16_t>(NumberValue::toShort(b, n)));
     },
     elementBits<int16_t>}};

Outcome exact(const Bytes& f, const Kind& kind) {
  Outcome o;
  if (f.empty()) return o;  // an empty form is a null: 0 in a primitive array
  o.code = codeOf([&] { o.bits = kind.exact(f.data(), static_cast<int32_t>(f.size())); });
  return o;
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
    if (!f.empty()) std::memcpy(&slot[2], f.data(), f.size());
    image.insert(image.end(), slot.begin(), slot.end());
  }
  image.insert(image.end(), tail, 0x63);
  return image;
}

Outcome bulkOne(const Bytes& f, const Kind& kind, bool slots, size_t tail) {
  Outcome o;
  o.code = codeOf([&] {
    if (slots) {
      UnpickleContext ctx(arrayOf(slotImage({f}, tail)), 0, nullptr, nullptr, 0);
      o.bits = kind.elements(N::unpickleFixedNumberArray(ctx, 1, 1, kind.access)).at(0);
    } else {
      PickleContext ctx(arrayOf(dataImage({f}, tail)));
      o.bits = kind.elements(N::unpickleNumberArray(ctx, 1, 1, kind.access)).at(0);
    }
  });
  return o;
}

// Every form read in bulk, by both layouts and every kind, with and without bytes after the
// last one: the forms the exact path reads all in one array each, the others one by one.
void expectBulkAsExact(const std::vector<Bytes>& forms) {
  for (const Kind& kind : KINDS) {
    std::vector<Bytes> readable;
    std::vector<uint64_t> want;
    for (const Bytes& f : forms) {
      const Outcome o = exact(f, kind);
      if (o.code == testsupport::NOTHING_RAISED) {
        readable.push_back(f);
        want.push_back(o.bits);
        continue;
      }
      for (const auto& [slots, tail] : {std::pair{false, 8}, {true, 8}, {false, 0}}) {
        EXPECT_EQ(bulkOne(f, kind, slots, tail), o) << testing::PrintToString(f) << kind.access;
      }
    }
    const auto count = static_cast<int32_t>(readable.size());
    for (const size_t tail : {size_t{0}, size_t{8}}) {
      PickleContext data(arrayOf(dataImage(readable, tail)));
      EXPECT_EQ(kind.elements(N::unpickleNumberArray(data, 1, count, kind.access)), want);
      EXPECT_EQ(data.offset(), data.image()->length() - static_cast<int32_t>(tail));
      UnpickleContext fixed(arrayOf(slotImage(readable, tail)), 0, nullptr, nullptr, 0);
      EXPECT_EQ(kind.elements(N::unpickleFixedNumberArray(fixed, 1, count, kind.access)), want);
    }
    // Every form amid small whole numbers (the forms every decoder takes), at a place of a
    // group the bulk readers decode at once that turns with the form: the read gives the
    // element or raises the error that the exact path gives, whichever decoder meets the form.
    constexpr size_t GROUP = NumberBlockDecoder::BLOCK;
    std::vector<Bytes> small;
    for (int64_t v = -200; small.size() < 3 * GROUP; v += 37) small.push_back(formOf(v));
    for (size_t i = 0; i < forms.size(); ++i) {
      const size_t at = 2 * GROUP + i % GROUP;
      std::vector<Bytes> run(small.begin(), small.begin() + static_cast<ptrdiff_t>(at));
      run.push_back(forms[i]);
      run.insert(run.end(), small.begin(), small.end());
      const auto n = static_cast<int32_t>(run.size());
      Outcome packed;
      packed.code = codeOf([&] {
        PickleContext data(arrayOf(dataImage(run, 8)));
        packed.bits = kind.elements(N::unpickleNumberArray(data, 1, n, kind.access)).at(at);
      });
      Outcome fixed;
      fixed.code = codeOf([&] {
        UnpickleContext slots(arrayOf(slotImage(run, 8)), 0, nullptr, nullptr, 0);
        fixed.bits = kind.elements(N::unpickleFixedNumberArray(slots, 1, n, kind.access)).at(at);
      });
      const Outcome one = exact(forms[i], kind);
      EXPECT_EQ(packed, one) << testing::PrintToString(forms[i]) << kind.access;
      EXPECT_EQ(fixed, one) << testing::PrintToString(forms[i]) << kind.access;
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
  // the limits of every target and one past them, powers of ten and their neighbours, the
  // int limits with as few pairs as the decoder takes
  std::vector<int64_t> values = {12345678,        123456789,       87654321000,
                                 999999990000000, 999999999000000, 2147480000,
                                 2147490000,      2147483600,      2147483700};
  for (const int64_t limit : {int64_t{INT16_MAX}, int64_t{INT32_MAX}}) {
    values.insert(values.end(), {limit, limit + 1, limit + 2});
  }
  values.insert(values.end(), {INT64_MAX - 1, INT64_MAX});
  for (int64_t p = 1;; p *= 10) {  // up to 10^18
    values.insert(values.end(), {p - 1, p, p + 1});
    for (const int64_t m : {7, 12, 1234, 99999999}) {
      if (p <= INT64_MAX / m) values.push_back(p * m);
    }
    if (p > INT64_MAX / 10) break;
  }
  for (const int64_t v : values) {
    forms.push_back(formOf(v));
    forms.push_back(formOf(-v));
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
       {form({0x40, 0x02, 0x05}), form({0x40, 0x02, 0x09}), form({0x40, 0x02, 0x0A, 0x64}),
        form({0x40, 0x03, 0x0C, 0x00}), form({0x40, 0x00}), form({0x00, 0x00}), form({0x01}),
        form({0x80}), form({0x41, 0x00, 0x0C}), form({0x3F, 0xFF, 0x0C}), form({0xC1, 0x00, 0x0C}),
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
