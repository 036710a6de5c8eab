// Side-by-side comparison on identical data: each row ("cmp/<row>/<codec>") runs kelcore, the
// baseline codec on an equivalent message (bench/proto/compare.proto), a straight-line
// hand-written codec of the very same image bytes (the floor: checked byte for byte against
// kelcore's image when the fixture is built) and memcpy of the image bytes, where they apply.
// scripts/bench.sh runs the binary three times and prints the ratios of the medians.
#include <benchmark/benchmark.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TypeDefinition.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "compare.pb.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/CharValue.h"
#include "driver/DateValue.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "driver/RawValue.h"
#include "lang/Array.h"
#include "lang/Decimal.h"
#include "lang/SharedBlock.h"
#include "lang/String.h"
#include "scalar/KelvorTypeNUMBER.h"

namespace {

using kelvor::catalog::AttributeType;
using kelvor::catalog::MemoryCatalog;
using kelvor::catalog::TypeDefinition;
using kelvor::jdbc::ArrayDescriptor;
using kelvor::jdbc::ArrayValue;
using kelvor::jdbc::CharValue;
using kelvor::jdbc::DateValue;
using kelvor::jdbc::MemoryConnection;
using kelvor::jdbc::NumberValue;
using kelvor::jdbc::ObjectDescriptor;
using kelvor::jdbc::ObjectValue;
using kelvor::jdbc::SqlValue;
using kelvor::jdbc::kelcore::KelvorTypeADT;
using kelvor::jdbc::kelcore::KelvorTypeCOLLECTION;
using kelvor::jdbc::kelcore::KelvorTypeNUMBER;
using kelvor::lang::ByteArray;
using kelvor::lang::IntArray;
using kelvor::lang::makeRef;
using kelvor::lang::Object;
using kelvor::lang::ObjectArray;
using kelvor::lang::Ref;

constexpr int32_t SQL = 1;
constexpr int32_t PLATFORM = 2;
constexpr int32_t ELEMENTS = 1'000'000;
constexpr int32_t NESTED = 1'000;
constexpr int32_t LARGE = 32767;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "compare bench: %s\n", what);
  std::abort();
}

// --- the hand-written codec of the image bytes ---

struct Date {
  int32_t year, month, day, hour, minute, second;
};

// A whole number (times 10^-scale) as NUMBER bytes: header (sign, exponent + 16384), pairs.
size_t putNumber(uint8_t* out, int64_t unscaled, int32_t scale) {
  if (unscaled == 0) {
    out[0] = 0;
    return 1;
  }
  const bool negative = unscaled < 0;
  uint64_t m = negative ? 0 - static_cast<uint64_t>(unscaled) : static_cast<uint64_t>(unscaled);
  char digits[24];
  int32_t n = 0;
  for (uint64_t v = m; v != 0; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
  const int32_t exponent = n - 1 - scale;
  int32_t last = 0;  // trailing zeros do not count
  while (digits[last] == '0') ++last;
  const uint32_t header = static_cast<uint32_t>(exponent + 16384) | (negative ? 0x8000U : 0U);
  out[0] = static_cast<uint8_t>(header >> 8);
  out[1] = static_cast<uint8_t>(header);
  size_t at = 2;
  for (int32_t i = n - 1; i >= last; i -= 2) {
    const int32_t hi = digits[i] - '0';
    const int32_t lo = i - 1 >= last ? digits[i - 1] - '0' : 0;
    out[at++] = static_cast<uint8_t>(hi * 10 + lo);
  }
  return at;
}

// NUMBER bytes of a whole number back to it (the bytes are the hand writer's, so trusted).
int64_t getNumber(const uint8_t* in, size_t length) {
  if (length == 1) return 0;
  const uint32_t header = (uint32_t{in[0]} << 8) | in[1];
  int32_t exponent = static_cast<int32_t>(header & 0x7FFF) - 16384;
  int64_t v = 0;
  for (size_t i = 2; i < length; ++i) {
    v = v * 100 + in[i];
    exponent -= 2;
  }
  for (++exponent; exponent > 0; --exponent) v *= 10;
  for (; exponent < 0; ++exponent) v /= 10;
  return (header & 0x8000) != 0 ? -v : v;
}

void putDate(uint8_t* out, const Date& d) {
  out[0] = static_cast<uint8_t>(d.year / 100 + 100);
  out[1] = static_cast<uint8_t>(d.year % 100 + 100);
  out[2] = static_cast<uint8_t>(d.month);
  out[3] = static_cast<uint8_t>(d.day);
  out[4] = static_cast<uint8_t>(d.hour + 1);
  out[5] = static_cast<uint8_t>(d.minute + 1);
  out[6] = static_cast<uint8_t>(d.second + 1);
}

Date getDate(const uint8_t* in) {
  return {(in[0] - 100) * 100 + in[1] - 100, in[2], in[3], in[4] - 1, in[5] - 1, in[6] - 1};
}

// A writer of one image into a buffer sized for it.
struct HandWriter {
  std::vector<uint8_t> out;
  size_t at = 0;
  explicit HandWriter(size_t capacity) : out(capacity) {}
  void byte(uint32_t b) { out[at++] = static_cast<uint8_t>(b); }
  void length(size_t n) {
    if (n <= 245) return byte(static_cast<uint32_t>(n));
    byte(0xFE);
    be32(static_cast<uint32_t>(n));
  }
  void be32(uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) byte(v >> shift);
  }
  void number(int64_t unscaled, int32_t scale) {
    uint8_t form[24];
    const size_t n = putNumber(form, unscaled, scale);
    byte(static_cast<uint32_t>(n));
    std::memcpy(&out[at], form, n);
    at += n;
  }
  void bytes(const void* p, size_t n) {
    length(n);
    std::memcpy(&out[at], p, n);
    at += n;
  }
  void date(const Date& d) {
    byte(7);
    putDate(&out[at], d);
    at += 7;
  }
  // Flags, version and the 5-byte length, patched by finish().
  void header(uint32_t flags) {
    byte(flags);
    byte(1);
    byte(0xFE);
    be32(0);
  }
  void finish() {
    const auto n = static_cast<uint32_t>(at);
    for (int i = 0; i < 4; ++i) out[3 + static_cast<size_t>(i)] = static_cast<uint8_t>(n >> (24 - 8 * i));
    out.resize(at);
  }
};

struct HandReader {
  const uint8_t* p;
  size_t length() {
    const uint8_t b = *p++;
    if (b != 0xFE) return b;
    const size_t n = (size_t{p[0]} << 24) | (size_t{p[1]} << 16) | (size_t{p[2]} << 8) | p[3];
    p += 4;
    return n;
  }
  int64_t number() {
    const size_t n = length();
    const int64_t v = getNumber(p, n);
    p += n;
    return v;
  }
  std::string text() {
    const size_t n = length();
    std::string s(reinterpret_cast<const char*>(p), n);
    p += n;
    return s;
  }
  Date date() {
    p += 1;
    const Date d = getDate(p);
    p += 7;
    return d;
  }
};

void checkSame(const ByteArray& image, const std::vector<uint8_t>& hand, const char* what) {
  if (static_cast<size_t>(image.length()) != hand.size() ||
      std::memcmp(image.data(), hand.data(), hand.size()) != 0) {
    fail(what);
  }
}

// --- the data ---

struct FlatData {
  int64_t n[4] = {7, -42, 1000, 96};
  int64_t cents = 1234567;  // 12345.67
  std::string s[3] = {"alpha", "a short string", "kelvor"};
  Date d[2] = {{2026, 3, 5, 14, 7, 9}, {1999, 12, 31, 23, 59, 58}};
};

int64_t secondsOf(const Date& d) {
  return ((((int64_t{d.year} * 12 + d.month) * 31 + d.day) * 24 + d.hour) * 60 + d.minute) * 60 +
         d.second;
}

std::string dateText(const Date& d) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day,
                d.hour, d.minute, d.second);
  return text;
}

struct Fixture {
  Ref<MemoryConnection> conn = makeRef<MemoryConnection>();
  FlatData data;
  // the object of 10 scalars
  Ref<ObjectDescriptor> flatType;
  Ref<ObjectValue> flatValue;
  Ref<ObjectValue> flatRead;  // the image read back: the value objects a read makes
  Ref<ByteArray> flatImage;
  kelcore_bench::Flat flatMessage;
  std::string flatWire;
  // 1M small integers
  Ref<ArrayDescriptor> numsType;
  Ref<IntArray> ints;
  Ref<ArrayValue> numsValue;
  Ref<ByteArray> numsImage;
  Ref<ByteArray> numsLinear;
  kelcore_bench::Numbers numsMessage;
  std::string numsWire;
  // an object holding 1,000 objects of 5 numbers
  Ref<ObjectDescriptor> holderType;
  Ref<ObjectValue> holderValue;
  Ref<ByteArray> holderImage;
  kelcore_bench::Holder holderMessage;
  std::string holderWire;
  // 32 KiB RAW and character values, each the one attribute of an object
  Ref<ObjectDescriptor> rawType;
  Ref<ObjectValue> rawValue;
  Ref<ByteArray> rawImage;
  Ref<ObjectDescriptor> charType;
  Ref<ObjectValue> charValue;
  Ref<ByteArray> charImage;
  Ref<ByteArray> shortCharImage;  // the same type holding 32 characters
  // An object of one short string and a message of one string field, each result and each
  // string read allocated: what a write or a read costs whatever its size
  Ref<ObjectValue> oneValue;
  Ref<ByteArray> oneImage;
  kelcore_bench::Flat oneMessage;
  std::string oneWire;
  std::string large;

  Fixture() {
    buildFlat();
    buildNumbers();
    buildHolder();
    buildLarge();
  }

  void buildFlat() {
    TypeDefinition t("BENCH", "FLAT10");
    t.addAttribute("N0", AttributeType::numberType(9, 0))
        .addAttribute("N1", AttributeType::numberType(9, 0))
        .addAttribute("N2", AttributeType::numberType(9, 0))
        .addAttribute("N3", AttributeType::numberType(9, 0))
        .addAttribute("AMOUNT", AttributeType::numberType(12, 2))
        .addAttribute("S0", AttributeType::varcharType(40))
        .addAttribute("S1", AttributeType::varcharType(40))
        .addAttribute("S2", AttributeType::varcharType(40))
        .addAttribute("D0", AttributeType::dateType())
        .addAttribute("D1", AttributeType::dateType());
    flatType = MemoryCatalog::registerType(*conn, t);
    auto a = ObjectArray::make(10);
    for (int i = 0; i < 4; ++i) a->set(i, makeRef<NumberValue>(data.n[i]));
    a->set(4, NumberValue::fromString("12345.67"));
    for (int i = 0; i < 3; ++i) a->set(5 + i, kelvor::lang::String::of(data.s[i]));
    for (int i = 0; i < 2; ++i) a->set(8 + i, kelvor::lang::String::of(dateText(data.d[i])));
    flatValue = makeRef<ObjectValue>(flatType, conn.get(), a);
    flatImage = flatType->getKelvorType()->toImage(flatValue.get());
    checkSame(*flatImage, handFlat(data), "hand flat image differs");
    flatRead = Ref<ObjectValue>(static_cast<ObjectValue*>(
        flatType->getKelvorType()->fromImage(flatImage.get(), 0, nullptr, SQL, nullptr).get()));
    flatMessage.set_n0(data.n[0]);
    flatMessage.set_n1(data.n[1]);
    flatMessage.set_n2(data.n[2]);
    flatMessage.set_n3(data.n[3]);
    flatMessage.set_amount_cents(data.cents);
    flatMessage.set_s0(data.s[0]);
    flatMessage.set_s1(data.s[1]);
    flatMessage.set_s2(data.s[2]);
    flatMessage.set_d0(secondsOf(data.d[0]));
    flatMessage.set_d1(secondsOf(data.d[1]));
    flatWire = flatMessage.SerializeAsString();
  }

  static std::vector<uint8_t> handFlat(const FlatData& d) {
    HandWriter w(256);
    w.header(0x84);
    for (const int64_t n : d.n) w.number(n, 0);
    w.number(d.cents, 2);
    for (const std::string& s : d.s) w.bytes(s.data(), s.size());
    for (const Date& x : d.d) w.date(x);
    w.finish();
    return std::move(w.out);
  }

  void buildNumbers() {
    numsType = MemoryCatalog::registerCollectionType(
        *conn, TypeDefinition::collectionType("BENCH", "NUMS", AttributeType::numberType(9, 0), 0));
    ints = IntArray::make(ELEMENTS);
    for (int32_t i = 0; i < ELEMENTS; ++i) {
      (*ints)[i] = static_cast<int32_t>((int64_t{i} * 7919) % 2001) - 1000;
    }
    auto numbers = ObjectArray::make(ELEMENTS);
    for (int32_t i = 0; i < ELEMENTS; ++i) numbers->set(i, makeRef<NumberValue>((*ints)[i]));
    numsValue = makeRef<ArrayValue>(numsType, conn.get(), numbers.get());  // SQL values
    numsImage = numsType->getKelvorType()->toImage(numsValue.get());
    checkSame(*numsImage, handNumbers(*ints), "hand collection image differs");
    numsLinear = linearNumbers(*ints);
    numsMessage.mutable_v()->Reserve(ELEMENTS);
    for (int32_t i = 0; i < ELEMENTS; ++i) numsMessage.add_v((*ints)[i]);
    numsWire = numsMessage.SerializeAsString();
  }

  static std::vector<uint8_t> handNumbers(const IntArray& values) {
    HandWriter w(16 + static_cast<size_t>(values.length()) * 8);
    w.header(0x88);
    w.byte(1);
    w.byte(1);
    w.byte(0);
    w.length(static_cast<size_t>(values.length()));
    for (int32_t i = 0; i < values.length(); ++i) w.number(values[i], 0);
    w.finish();
    return std::move(w.out);
  }

  // Linear image: A(UB4) skip(2) U(UB4)=1 p(1)=1 I(UB4) count(UB4) skip(1) 23-byte slots.
  static Ref<ByteArray> linearNumbers(const IntArray& values) {
    const size_t part = 5 + size_t{KelvorTypeNUMBER::FIXED_NUMBER_STRIDE} * values.length();
    HandWriter w(part + 15);
    w.be32(static_cast<uint32_t>(part + 2 + 4 + 1 + 4));
    w.byte(0);
    w.byte(0);
    w.be32(1);
    w.byte(1);
    w.be32(static_cast<uint32_t>(part));
    w.be32(static_cast<uint32_t>(values.length()));
    w.byte(0);
    for (int32_t i = 0; i < values.length(); ++i) {
      uint8_t* slot = &w.out[w.at];
      slot[1] = static_cast<uint8_t>(putNumber(slot + 2, values[i], 0));
      w.at += KelvorTypeNUMBER::FIXED_NUMBER_STRIDE;
    }
    return ByteArray::copyOf(reinterpret_cast<const int8_t*>(w.out.data()),
                             static_cast<int32_t>(w.at));
  }

  void buildHolder() {
    TypeDefinition five("BENCH", "FIVE");
    for (const char* n : {"A", "B", "C", "D", "E"}) five.addAttribute(n, AttributeType::numberType(9, 0));
    const TypeDefinition fives =
        TypeDefinition::collectionType("BENCH", "FIVES", AttributeType::embeddedType(five), 0);
    TypeDefinition holder("BENCH", "HOLDER");
    holder.addAttribute("ITEMS", AttributeType::collectionAttribute(fives));
    holderType = MemoryCatalog::registerType(*conn, holder);
    auto fiveType = ObjectDescriptor::createDescriptor("BENCH.FIVE", conn.get());
    auto fivesType = ArrayDescriptor::createDescriptor("BENCH.FIVES", conn.get());
    auto items = ObjectArray::make(NESTED);
    for (int32_t i = 0; i < NESTED; ++i) {
      auto a = ObjectArray::make(5);
      auto* m = holderMessage.add_items();
      for (int32_t k = 0; k < 5; ++k) {
        const int32_t v = (i * 5 + k) % 200 - 100;
        a->set(k, makeRef<NumberValue>(v));
      }
      m->set_a((i * 5) % 200 - 100);
      m->set_b((i * 5 + 1) % 200 - 100);
      m->set_c((i * 5 + 2) % 200 - 100);
      m->set_d((i * 5 + 3) % 200 - 100);
      m->set_e((i * 5 + 4) % 200 - 100);
      items->set(i, makeRef<ObjectValue>(fiveType, conn.get(), a));
    }
    holderValue = makeRef<ObjectValue>(
        holderType, conn.get(), ObjectArray::of({makeRef<ArrayValue>(fivesType, conn.get(), items.get())}));
    holderImage = holderType->getKelvorType()->toImage(holderValue.get());
    holderWire = holderMessage.SerializeAsString();
  }

  void buildLarge() {
    large.resize(LARGE);
    for (int32_t i = 0; i < LARGE; ++i) large[static_cast<size_t>(i)] = static_cast<char>('a' + i % 26);
    TypeDefinition r("BENCH", "LARGE_RAW");
    r.addAttribute("R", AttributeType::rawType(LARGE));
    rawType = MemoryCatalog::registerType(*conn, r);
    rawValue = makeRef<ObjectValue>(
        rawType, conn.get(),
        ObjectArray::of({makeRef<kelvor::jdbc::RawValue>(ByteArray::copyOf(
            reinterpret_cast<const int8_t*>(large.data()), LARGE))}));
    rawImage = rawType->getKelvorType()->toImage(rawValue.get());
    TypeDefinition c("BENCH", "LARGE_CHAR");
    c.addAttribute("C", AttributeType::varcharType(LARGE));
    charType = MemoryCatalog::registerType(*conn, c);
    charValue = makeRef<ObjectValue>(charType, conn.get(),
                                     ObjectArray::of({kelvor::lang::String::of(large)}));
    charImage = charType->getKelvorType()->toImage(charValue.get());
    const Ref<ObjectValue> shortValue = makeRef<ObjectValue>(
        charType, conn.get(), ObjectArray::of({kelvor::lang::String::of(large.substr(0, 32))}));
    shortCharImage = charType->getKelvorType()->toImage(shortValue.get());
    const std::string one = "one string of 24 bytes.";  // past a std::string's inline capacity
    oneValue = makeRef<ObjectValue>(charType, conn.get(), ObjectArray::of({kelvor::lang::String::of(one)}));
    oneMessage.set_s0(one);
    oneImage = charType->getKelvorType()->toImage(oneValue.get());
    oneWire = oneMessage.SerializeAsString();
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void bytesPerIteration(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void memcpyImage(benchmark::State& state, const ByteArray& image) {
  std::vector<int8_t> target(static_cast<size_t>(image.length()));
  for (auto _ : state) {
    std::memcpy(target.data(), image.data(), target.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  bytesPerIteration(state, target.size());
}

template <typename M>
void protobufWrite(benchmark::State& state, const M& message) {
  for (auto _ : state) {
    std::string wire;
    message.SerializeToString(&wire);
    benchmark::DoNotOptimize(wire.data());
  }
}

template <typename M>
void protobufRead(benchmark::State& state, const std::string& wire) {
  for (auto _ : state) {
    M message;
    if (!message.ParseFromString(wire)) fail("parse");
    benchmark::DoNotOptimize(&message);
  }
}

void kelcoreWrite(benchmark::State& state, KelvorTypeADT& type, Object* value) {
  for (auto _ : state) {
    Ref<ByteArray> image = type.toImage(value);
    benchmark::DoNotOptimize(image.get());
  }
}

void kelcoreRead(benchmark::State& state, KelvorTypeADT& type, const ByteArray& image,
                 int32_t style) {
  for (auto _ : state) {
    Ref<Object> back = type.fromImage(&image, 0, nullptr, style, nullptr);
    benchmark::DoNotOptimize(back.get());
  }
}

// --- object of 10 scalars ---

void flatHandWrite(benchmark::State& state) {
  const FlatData& d = fixture().data;
  for (auto _ : state) {
    std::vector<uint8_t> image = Fixture::handFlat(d);
    benchmark::DoNotOptimize(image.data());
  }
}

void flatHandRead(benchmark::State& state) {
  const ByteArray& image = *fixture().flatImage;
  for (auto _ : state) {
    HandReader r{reinterpret_cast<const uint8_t*>(image.data()) + 7};
    FlatData d;
    for (int64_t& n : d.n) n = r.number();
    d.cents = r.number();
    for (std::string& s : d.s) s = r.text();
    for (Date& x : d.d) x = r.date();
    benchmark::DoNotOptimize(&d);
  }
}

// --- 1M small integers ---

void numsKelcoreWriteInts(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    auto value = makeRef<ArrayValue>(f.numsType, f.conn.get(), f.ints.get());
    Ref<ByteArray> image = f.numsType->getKelvorType()->toImage(value.get());
    benchmark::DoNotOptimize(image.get());
  }
}

void numsProtobufWriteInts(benchmark::State& state) {
  const IntArray& ints = *fixture().ints;
  for (auto _ : state) {
    kelcore_bench::Numbers message;
    auto& v = *message.mutable_v();
    v.Reserve(ints.length());
    for (int32_t i = 0; i < ints.length(); ++i) v.AddAlreadyReserved(ints[i]);
    std::string wire;
    message.SerializeToString(&wire);
    benchmark::DoNotOptimize(wire.data());
  }
}

void numsHandWrite(benchmark::State& state) {
  const IntArray& ints = *fixture().ints;
  for (auto _ : state) {
    std::vector<uint8_t> image = Fixture::handNumbers(ints);
    benchmark::DoNotOptimize(image.data());
  }
}

void numsHandRead(benchmark::State& state) {
  const ByteArray& image = *fixture().numsImage;
  for (auto _ : state) {
    HandReader r{reinterpret_cast<const uint8_t*>(image.data()) + 7 + 3};
    const size_t n = r.length();
    std::vector<int32_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<int32_t>(r.number());
    benchmark::DoNotOptimize(out.data());
  }
}

// The least any reader of the pickled collection does: each element found from the previous
// one's length byte, and one int stored for it (its length, nothing decoded). Unlike a varint,
// whose length here is almost always 2 bytes and so predicted, an element's length is 3 or 4
// bytes at random, so each step waits for the byte before it. The fastest such walk measured:
// the next length byte taken from the 8 bytes already loaded at the element (a shift, not a
// load, on the chain from one element to the next), the word at the next element loaded
// meanwhile; the last elements, with fewer than 8 bytes left, one byte load each.
void numsWalkOnly(benchmark::State& state) {
  const ByteArray& image = *fixture().numsImage;
  const auto* const end = reinterpret_cast<const uint8_t*>(image.data()) + image.length();
  std::vector<int32_t> out;
  for (auto _ : state) {
    HandReader r{reinterpret_cast<const uint8_t*>(image.data()) + 7 + 3};
    const size_t n = r.length();
    out.resize(n);
    const uint8_t* p = r.p;
    size_t i = 0;
    if (end - p >= 16) {
      uint64_t word = 0;
      std::memcpy(&word, p, 8);
      uint32_t length = p[0];
      // stops while the next element's 8 bytes still lie inside the image
      for (; i < n && length < 7 && end - p >= 16; ++i) {
        out[i] = static_cast<int32_t>(length);
        const auto next = static_cast<uint32_t>(word >> (8 * (length + 1))) & 0xFF;
        p += length + 1;
        std::memcpy(&word, p, 8);
        length = next;
      }
    }
    for (; i < n; ++i) {
      const uint8_t length = *p;
      out[i] = length;
      p += length + 1;
    }
    benchmark::DoNotOptimize(out.data());
  }
}

void numsHandReadLinear(benchmark::State& state) {
  const ByteArray& image = *fixture().numsLinear;
  for (auto _ : state) {
    const auto* p = reinterpret_cast<const uint8_t*>(image.data()) + 15;
    const size_t n = (size_t{p[0]} << 24) | (size_t{p[1]} << 16) | (size_t{p[2]} << 8) | p[3];
    p += 5;
    std::vector<int32_t> out(n);
    for (size_t i = 0; i < n; ++i, p += KelvorTypeNUMBER::FIXED_NUMBER_STRIDE) {
      out[i] = static_cast<int32_t>(getNumber(p + 2, p[1]));
    }
    benchmark::DoNotOptimize(out.data());
  }
}

// The read to SQL values, then every element's value touched: a read that defers making the
// values pays for them here.
void numsKelcoreReadTouch(benchmark::State& state) {
  Fixture& f = fixture();
  KelvorTypeCOLLECTION& type = *f.numsType->getKelvorType();
  for (auto _ : state) {
    Ref<Object> back = type.fromImage(f.numsImage.get(), 0, nullptr, SQL, nullptr);
    const auto& values = *static_cast<const ArrayValue&>(*back).getSqlValueElements();
    int64_t bytes = 0;
    for (int32_t i = 0; i < values.length(); ++i) {
      bytes += static_cast<const NumberValue*>(values.at(i))->getLength();
    }
    benchmark::DoNotOptimize(bytes);
  }
}

void numsProtobufReadTouch(benchmark::State& state) {
  const std::string& wire = fixture().numsWire;
  for (auto _ : state) {
    kelcore_bench::Numbers message;
    if (!message.ParseFromString(wire)) fail("parse");
    int64_t sum = 0;
    for (const int64_t v : message.v()) sum += v;
    benchmark::DoNotOptimize(sum);
  }
}

// --- 1,000 nested objects: read every number ---

// The holder's collection of objects, as SQL values.
Ref<ObjectArray> itemsOf(const Object& holder) {
  const auto& attributes = *static_cast<const ObjectValue&>(holder).getAttributes();
  return static_cast<const ArrayValue*>(attributes.at(0))->getSqlValueElements();
}

int64_t sumHolder(const Object& holder) {
  const Ref<ObjectArray> held = itemsOf(holder);
  const ObjectArray& items = *held;
  int64_t sum = 0;
  for (int32_t i = 0; i < items.length(); ++i) {
    const auto& fields = *static_cast<const ObjectValue*>(items.at(i))->getAttributes();
    for (int32_t k = 0; k < fields.length(); ++k) {
      sum += static_cast<const NumberValue*>(fields.at(k))->longValue();
    }
  }
  return sum;
}

void holderKelcoreRead(benchmark::State& state) {
  Fixture& f = fixture();
  KelvorTypeADT& type = *f.holderType->getKelvorType();
  for (auto _ : state) {
    Ref<Object> back = type.fromImage(f.holderImage.get(), 0, nullptr, SQL, nullptr);
    benchmark::DoNotOptimize(sumHolder(*back));
  }
}

// The value objects alone: the objects a read to SQL values makes (same classes, same bytes,
// made and placed the same way), without decoding anything, then released. The floor of a read that
// hands out one value object per attribute.
enum class Kind { NUMBER, CHAR, DATE };

std::vector<Kind> kindsOf(const ObjectValue& read) {
  std::vector<Kind> kinds;
  const ObjectArray& values = *read.getAttributes();
  for (int32_t i = 0; i < values.length(); ++i) {
    const Object* v = values.at(i);
    kinds.push_back(SqlValue::as<CharValue>(v) != nullptr            ? Kind::CHAR
                    : dynamic_cast<const DateValue*>(v) != nullptr ? Kind::DATE
                                                                   : Kind::NUMBER);
  }
  return kinds;
}

Ref<ObjectValue> remakeObject(const ObjectValue& read, const std::vector<Kind>& kinds) {
  const ObjectArray& from = *read.getAttributes();
  auto attributes = ObjectArray::makeOf<SqlValue>(from.length());
  for (int32_t i = 0; i < from.length(); ++i) {
    const auto& v = *static_cast<const SqlValue*>(from.at(i));
    const int8_t* data = v.byteData();
    const int32_t length = v.byteLength();
    switch (kinds[static_cast<size_t>(i)]) {
      case Kind::CHAR:
        attributes->set(i, SqlValue::withBytesCopied<CharValue>(
                               data, length, static_cast<const CharValue&>(v).getCharacterSet()));
        break;
      case Kind::DATE:
        attributes->set(i, SqlValue::withBytesCopied<DateValue>(data, length));
        break;
      case Kind::NUMBER:
        attributes->set(i, SqlValue::withBytesCopied<NumberValue>(data, length));
        break;
    }
  }
  auto object = SqlValue::make<ObjectValue>(read.getDescriptor(), read.getConnection());
  object->setAttributes(std::move(attributes));
  return object;
}

void flatValuesOnly(benchmark::State& state) {
  const ObjectValue& read = *fixture().flatRead;
  const std::vector<Kind> kinds = kindsOf(read);
  const int64_t imageBytes = fixture().flatImage->length();
  for (auto _ : state) {
    const kelvor::lang::BlockArena::Scope placed(imageBytes, true);  // placed as the read places
    benchmark::DoNotOptimize(remakeObject(read, kinds).get());
  }
}

// The same for the 1,000 objects of the nested read (each made and its numbers summed, as the
// read's row does), the holder and its collection left out.
void holderValuesOnly(benchmark::State& state) {
  Fixture& f = fixture();
  Ref<Object> back = f.holderType->getKelvorType()->fromImage(f.holderImage.get(), 0, nullptr, SQL, nullptr);
  const Ref<ObjectArray> held = itemsOf(*back);
  const ObjectArray& items = *held;
  const std::vector<Kind> kinds = kindsOf(*static_cast<const ObjectValue*>(items.at(0)));
  for (auto _ : state) {
    std::vector<Ref<ObjectValue>> made;
    made.reserve(static_cast<size_t>(items.length()));
    int64_t sum = 0;
    for (int32_t i = 0; i < items.length(); ++i) {
      const auto& item = *static_cast<const ObjectValue*>(items.at(i));
      const kelvor::lang::BlockArena::Scope placed(item.getImageLength(), true);  // as decoded
      made.push_back(remakeObject(item, kinds));
      const auto& fields = *made.back()->getAttributes();
      for (int32_t k = 0; k < fields.length(); ++k) {
        sum += static_cast<const NumberValue*>(fields.at(k))->longValue();
      }
    }
    benchmark::DoNotOptimize(sum);
  }
}

void holderProtobufRead(benchmark::State& state) {
  const std::string& wire = fixture().holderWire;
  for (auto _ : state) {
    kelcore_bench::Holder message;
    if (!message.ParseFromString(wire)) fail("parse");
    int64_t sum = 0;
    for (const auto& m : message.items()) sum += m.a() + m.b() + m.c() + m.d() + m.e();
    benchmark::DoNotOptimize(sum);
  }
}

// The least a writer from value objects does: each value's byte form copied behind a length
// byte into one buffer; no header, no length patched, no descriptor consulted. The objects of
// the nested row are taken as any reader of their attributes takes them, under their monitor.
size_t copyForms(const ObjectArray& values, uint8_t* p) {
  const uint8_t* const start = p;
  for (int32_t k = 0; k < values.length(); ++k) {
    const auto& v = *static_cast<const SqlValue*>(values.at(k));
    const auto n = static_cast<uint8_t>(v.byteLength());
    *p = n;
    std::memcpy(p + 1, v.byteData(), n);
    p += n + 1;
  }
  return static_cast<size_t>(p - start);
}

void numsValuesWrite(benchmark::State& state) {
  const Ref<ObjectArray> held = fixture().numsValue->getSqlValueElements();
  for (auto _ : state) {
    std::vector<uint8_t> out(static_cast<size_t>(held->length()) * 8);
    benchmark::DoNotOptimize(copyForms(*held, out.data()));
  }
}

void holderValuesWrite(benchmark::State& state) {
  const Ref<ObjectArray> held = itemsOf(*fixture().holderValue);
  const ObjectArray& items = *held;
  for (auto _ : state) {
    std::vector<uint8_t> out(static_cast<size_t>(items.length()) * 5 * 8);
    uint8_t* p = out.data();
    for (int32_t i = 0; i < items.length(); ++i) {
      p += copyForms(*static_cast<const ObjectValue*>(items.at(i))->getAttributes(), p);
    }
    benchmark::DoNotOptimize(out.data());
  }
}

// --- 32 KiB values: the value's bytes in or out ---

void largeKelcoreRead(benchmark::State& state, KelvorTypeADT& type, const ByteArray& image,
                      int32_t style) {
  for (auto _ : state) {
    Ref<Object> back = type.fromImage(&image, 0, nullptr, style, nullptr);
    benchmark::DoNotOptimize(back.get());
  }
  bytesPerIteration(state, LARGE);
}

#if defined(__SSE2__)
// The text checked for bytes above 0x7F and copied in one pass, four 16-byte vectors a step,
// into a buffer that is not filled first: what a platform string would cost if it could be
// filled in place (std::string cannot be sized without writing its bytes before C++23).
void largeCheckedCopy(benchmark::State& state) {
  const std::string& src = fixture().large;
  for (auto _ : state) {
    std::unique_ptr<char[]> target(new char[src.size()]);
    const char* from = src.data();
    char* to = target.get();
    size_t i = 0;
    __m128i any = _mm_setzero_si128();
    for (; src.size() - i >= 64; i += 64) {
      const auto* v = reinterpret_cast<const __m128i*>(from + i);
      auto* o = reinterpret_cast<__m128i*>(to + i);
      const __m128i a = _mm_loadu_si128(v), b = _mm_loadu_si128(v + 1);
      const __m128i c = _mm_loadu_si128(v + 2), d = _mm_loadu_si128(v + 3);
      _mm_storeu_si128(o, a);
      _mm_storeu_si128(o + 1, b);
      _mm_storeu_si128(o + 2, c);
      _mm_storeu_si128(o + 3, d);
      any = _mm_or_si128(any, _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)));
    }
    for (; i < src.size(); ++i) to[i] = from[i];
    if (_mm_movemask_epi8(any) != 0) fail("the text is ASCII");
    benchmark::DoNotOptimize(target.get());
  }
  bytesPerIteration(state, src.size());
}
#endif

void largeMemcpy(benchmark::State& state) {
  const std::string& src = fixture().large;
  std::vector<char> target(src.size());
  for (auto _ : state) {
    std::memcpy(target.data(), src.data(), src.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  bytesPerIteration(state, src.size());
}

// --- a 10-element slice of 1M, read a second time through one indexed value ---

void sliceSecondRead(benchmark::State& state, int64_t begin) {
  Fixture& f = fixture();
  KelvorTypeCOLLECTION& type = *f.numsType->getKelvorType();
  auto v = makeRef<ArrayValue>(f.numsType, Ref<ByteArray>(), f.conn.get());
  v->setIndexingMode(1);
  (void)type.fromImage(f.numsImage.get(), 0, v.get(), begin, 10, SQL, nullptr);
  for (auto _ : state) {
    benchmark::DoNotOptimize(type.fromImage(f.numsImage.get(), 0, v.get(), begin, 10, SQL, nullptr));
  }
}

void registerAll() {
  using benchmark::RegisterBenchmark;
  auto reg = [](const char* name, auto fn) { return RegisterBenchmark(name, fn); };
  reg("cmp/flat_write/kelcore", [](benchmark::State& s) {
    kelcoreWrite(s, *fixture().flatType->getKelvorType(), fixture().flatValue.get());
  });
  reg("cmp/flat_write/protobuf", [](benchmark::State& s) { protobufWrite(s, fixture().flatMessage); });
  reg("cmp/flat_write/hand", flatHandWrite);
  reg("cmp/flat_write/memcpy", [](benchmark::State& s) { memcpyImage(s, *fixture().flatImage); });
  // The same writes with one short string: what a write costs whatever its size.
  reg("cmp/flat_write/one", [](benchmark::State& s) {
    kelcoreWrite(s, *fixture().charType->getKelvorType(), fixture().oneValue.get());
  });
  reg("cmp/flat_write/protobuf_one", [](benchmark::State& s) { protobufWrite(s, fixture().oneMessage); });
  reg("cmp/flat_read_sql/kelcore", [](benchmark::State& s) {
    kelcoreRead(s, *fixture().flatType->getKelvorType(), *fixture().flatImage, SQL);
  });
  reg("cmp/flat_read_sql/protobuf",
      [](benchmark::State& s) { protobufRead<kelcore_bench::Flat>(s, fixture().flatWire); });
  reg("cmp/flat_read_sql/hand", flatHandRead);
  reg("cmp/flat_read_sql/values", flatValuesOnly);
  reg("cmp/flat_read_sql/one", [](benchmark::State& s) {
    kelcoreRead(s, *fixture().charType->getKelvorType(), *fixture().oneImage, SQL);
  });
  reg("cmp/flat_read_sql/protobuf_one",
      [](benchmark::State& s) { protobufRead<kelcore_bench::Flat>(s, fixture().oneWire); });
  reg("cmp/flat_read_platform/kelcore", [](benchmark::State& s) {
    kelcoreRead(s, *fixture().flatType->getKelvorType(), *fixture().flatImage, PLATFORM);
  });
  reg("cmp/flat_read_platform/protobuf",
      [](benchmark::State& s) { protobufRead<kelcore_bench::Flat>(s, fixture().flatWire); });

  reg("cmp/nums_write_sql/kelcore", [](benchmark::State& s) {
    kelcoreWrite(s, *fixture().numsType->getKelvorType(), fixture().numsValue.get());
  })->Unit(benchmark::kMillisecond);
  reg("cmp/nums_write_sql/protobuf", [](benchmark::State& s) { protobufWrite(s, fixture().numsMessage); })
      ->Unit(benchmark::kMillisecond);
  reg("cmp/nums_write_sql/values", numsValuesWrite)->Unit(benchmark::kMillisecond);
  reg("cmp/nums_write_sql/hand", numsHandWrite)->Unit(benchmark::kMillisecond);
  reg("cmp/nums_write_int/kelcore", numsKelcoreWriteInts)->Unit(benchmark::kMillisecond);
  reg("cmp/nums_write_int/protobuf", numsProtobufWriteInts)->Unit(benchmark::kMillisecond);
  reg("cmp/nums_read_sql/kelcore", [](benchmark::State& s) {
    kelcoreRead(s, *fixture().numsType->getKelvorType(), *fixture().numsImage, SQL);
  })->Unit(benchmark::kMillisecond);
  reg("cmp/nums_read_sql/protobuf",
      [](benchmark::State& s) { protobufRead<kelcore_bench::Numbers>(s, fixture().numsWire); })
      ->Unit(benchmark::kMillisecond);
  reg("cmp/nums_read_sql_touch/kelcore", numsKelcoreReadTouch)->Unit(benchmark::kMillisecond);
  reg("cmp/nums_read_sql_touch/protobuf", numsProtobufReadTouch)->Unit(benchmark::kMillisecond);
  reg("cmp/nums_read_int/kelcore", [](benchmark::State& s) {
    kelcoreRead(s, *fixture().numsType->getKelvorType(), *fixture().numsImage,
                KelvorTypeNUMBER::ACCESS_INT_ARRAY);
  })->Unit(benchmark::kMillisecond);
  reg("cmp/nums_read_int/protobuf",
      [](benchmark::State& s) { protobufRead<kelcore_bench::Numbers>(s, fixture().numsWire); })
      ->Unit(benchmark::kMillisecond);
  reg("cmp/nums_read_int/hand", numsHandRead)->Unit(benchmark::kMillisecond);
  reg("cmp/nums_read_int/walk", numsWalkOnly)->Unit(benchmark::kMillisecond);
  reg("cmp/nums_linear_int/kelcore", [](benchmark::State& s) {
    kelcoreRead(s, *fixture().numsType->getKelvorType(), *fixture().numsLinear,
                KelvorTypeNUMBER::ACCESS_INT_ARRAY);
  })->Unit(benchmark::kMillisecond);
  reg("cmp/nums_linear_int/memcpy", [](benchmark::State& s) { memcpyImage(s, *fixture().numsLinear); })
      ->Unit(benchmark::kMillisecond);
  reg("cmp/nums_linear_int/hand", numsHandReadLinear)->Unit(benchmark::kMillisecond);

  reg("cmp/nested_write/kelcore", [](benchmark::State& s) {
    kelcoreWrite(s, *fixture().holderType->getKelvorType(), fixture().holderValue.get());
  })->Unit(benchmark::kMicrosecond);
  reg("cmp/nested_write/protobuf", [](benchmark::State& s) { protobufWrite(s, fixture().holderMessage); })
      ->Unit(benchmark::kMicrosecond);
  reg("cmp/nested_write/values", holderValuesWrite)->Unit(benchmark::kMicrosecond);
  reg("cmp/nested_read/kelcore", holderKelcoreRead)->Unit(benchmark::kMicrosecond);
  reg("cmp/nested_read/protobuf", holderProtobufRead)->Unit(benchmark::kMicrosecond);
  reg("cmp/nested_read/values", holderValuesOnly)->Unit(benchmark::kMicrosecond);

  reg("cmp/raw32k_write/kelcore", [](benchmark::State& s) {
    kelcoreWrite(s, *fixture().rawType->getKelvorType(), fixture().rawValue.get());
    bytesPerIteration(s, LARGE);
  });
  reg("cmp/raw32k_write/memcpy", largeMemcpy);
  reg("cmp/raw32k_read/kelcore", [](benchmark::State& s) {
    largeKelcoreRead(s, *fixture().rawType->getKelvorType(), *fixture().rawImage, SQL);
  });
  reg("cmp/raw32k_read/memcpy", largeMemcpy);
  reg("cmp/char32k_write/kelcore", [](benchmark::State& s) {
    kelcoreWrite(s, *fixture().charType->getKelvorType(), fixture().charValue.get());
    bytesPerIteration(s, LARGE);
  });
  reg("cmp/char32k_write/memcpy", largeMemcpy);
  reg("cmp/char32k_read_sql/kelcore", [](benchmark::State& s) {
    largeKelcoreRead(s, *fixture().charType->getKelvorType(), *fixture().charImage, SQL);
  });
  reg("cmp/char32k_read_sql/memcpy", largeMemcpy);
  reg("cmp/char32k_read_platform/kelcore", [](benchmark::State& s) {
    largeKelcoreRead(s, *fixture().charType->getKelvorType(), *fixture().charImage, PLATFORM);
  });
  reg("cmp/char32k_read_platform/memcpy", largeMemcpy);
  reg("cmp/char32k_read_platform/short", [](benchmark::State& s) {
    largeKelcoreRead(s, *fixture().charType->getKelvorType(), *fixture().shortCharImage, PLATFORM);
  });
#if defined(__SSE2__)
  reg("cmp/char32k_read_platform/unfilled", largeCheckedCopy);
#endif

  reg("cmp/slice_second_read/tail", [](benchmark::State& s) { sliceSecondRead(s, ELEMENTS - 9); })
      ->Unit(benchmark::kMicrosecond);
  reg("cmp/slice_second_read/head", [](benchmark::State& s) { sliceSecondRead(s, 1); })
      ->Unit(benchmark::kMicrosecond);
}

const bool registered = (registerAll(), true);

}  // namespace
