#include "scalar/KelvorTypeNUMBER.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>
#include <string>
#include <span>
#include <typeinfo>
#include <utility>

#include "adt/StreamInfo.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/NumberValue.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "lang/Boxed.h"
#include "lang/Exceptions.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "lang/String.h"
#include "scalar/NumberBlockDecoder.h"
#include "scalar/NumberDecoder.h"

namespace kelvor::jdbc::kelcore {
namespace {

using lang::ObjectArray;
using lang::PrimitiveArray;

constexpr const char* TRACE_CLASS = "KelvorTypeNUMBER";

static_assert(KelvorTypeNUMBER::ERR_UNSUPPORTED == DriverException::ERR_UNSUPPORTED);
static_assert(KelvorTypeNUMBER::ERR_CONVERSION == DriverException::ERR_CONVERSION);
static_assert(KelvorTypeNUMBER::STYLE_SKIP == KelvorType::STYLE_SKIP);
static_assert(KelvorTypeNUMBER::FIXED_NUMBER_SIZE == 1 + NumberValue::MAX_LENGTH);
static_assert(KelvorTypeNUMBER::FIXED_NUMBER_STRIDE == 1 + KelvorTypeNUMBER::FIXED_NUMBER_SIZE);

// A new NumberValue array for the slice of source; element i = make(source[beginIndex-1+i]).
template <typename Source, typename Make>
Ref<ObjectArray> convertSlice(const Source& source, int64_t beginIndex, int32_t count,
                              Make make) {
  const int32_t n = KelvorType::sliceLength(source.length(), beginIndex, count);
  Ref<ObjectArray> result = ObjectArray::make(n, typeid(NumberValue));
  const auto first = static_cast<int32_t>(beginIndex - 1);  // < length whenever n > 0
  for (int32_t i = 0; i < n; ++i) result->set(i, make(source, first + i));
  return result;
}

template <typename E>
Ref<ObjectArray> convertPrimitiveSlice(const PrimitiveArray<E>& source, int64_t beginIndex,
                                       int32_t count) {
  return convertSlice(source, beginIndex, count, [](const PrimitiveArray<E>& a, int32_t i) {
    return lang::makeRef<NumberValue>(a[i]);  // the constructor of the element's width
  });
}

// The 8-bit kinds: the element boxed into its platform object, the value made from that.
template <typename E>
Ref<ObjectArray> convertBoxedSlice(const PrimitiveArray<E>& source, int64_t beginIndex,
                                   int32_t count) {
  return convertSlice(source, beginIndex, count, [](const PrimitiveArray<E>& a, int32_t i) {
    const Ref<lang::Boxed<E>> boxed = lang::Boxed<E>::of(a[i]);
    return NumberValue::fromObject(boxed.get());
  });
}

// The common case of the whole-number decoders, without a call: a well-formed form of a whole
// number below 10^(maxExponent + 1), its digits all in the integer part but for the trailing 0
// of an odd count. Returns false (nothing stored) for any other form, which the full
// conversion then reads or refuses.
bool shortWholeNumber(const int8_t* bytes, int32_t n, int32_t maxExponent, int64_t& value) {
  const auto* b = reinterpret_cast<const uint8_t*>(bytes);
  if (n == 1 && b[0] == NumberValue::ZERO_BYTE) {
    value = 0;
    return true;
  }
  if (n < 3) return false;
  const uint32_t header = (uint32_t{b[0]} << 8) | b[1];
  const int32_t exponent = static_cast<int32_t>(header & 0x7FFF) - 16384;
  const int32_t pairs = n - 2;
  if (exponent > maxExponent || b[2] < 10 || b[2] > 99 || b[n - 1] == 0) return false;
  int32_t shift = exponent + 1 - 2 * pairs;  // decimal places the pairs stand left of the point
  if (shift < -1) return false;
  // A value that does not fit 64 bits is left to the full conversion, which knows its rule.
  int64_t v = 0;
  for (int32_t i = 2; i < n; ++i) {
    if (b[i] > 99) return false;
    if (__builtin_mul_overflow(v, 100, &v) || __builtin_add_overflow(v, int64_t{b[i]}, &v)) {
      return false;
    }
  }
  if (shift == -1) {
    if (b[n - 1] % 10 != 0) return false;  // a fraction digit: the full conversion truncates
    v /= 10;
  }
  for (; shift > 0; --shift) {
    if (__builtin_mul_overflow(v, 10, &v)) return false;
  }
  value = (header & 0x8000) != 0 ? -v : v;
  return true;
}

// Decoders of a byte form into one element of a primitive result array, in three tiers:
// decodeAt takes the common element (NumberDecoder) from its length byte at base + at on,
// decodeShort the other whole numbers that fit, decode every form exactly (or raises). They
// read exactly the form's bytes (decodeAt the 8 bytes its caller has checked) and never
// allocate (but to raise).
struct IntDecoder {
  using Element = int32_t;
  static bool decodeAt(const int8_t* base, size_t at, const NumberDecoder::Tables& t,
                       Element& out) {
    int64_t v = 0;
    if (!NumberDecoder::decode(base, at, t, NumberDecoder::INT_SCALE, v)) return false;
    out = static_cast<Element>(v);
    return true;
  }
  static bool decodeShort(const int8_t* b, int32_t n, Element& out) {
    int64_t v = 0;
    if (!shortWholeNumber(b, n, 8, v)) return false;  // below 10^9: fits
    out = static_cast<Element>(v);
    return true;
  }
  static Element decode(const int8_t* b, int32_t n) { return NumberValue::toInt(b, n); }
};
// A whole number below 10^15 converts from a long to double exactly and to float with one
// rounding to nearest, which is what the exact conversions give.
struct DoubleDecoder {
  using Element = double;
  static bool decodeAt(const int8_t* base, size_t at, const NumberDecoder::Tables& t,
                       Element& out) {
    int64_t v = 0;
    if (!NumberDecoder::decode(base, at, t, NumberDecoder::WIDE_SCALE, v)) return false;
    out = static_cast<Element>(v);
    return true;
  }
  static bool decodeShort(const int8_t*, int32_t, Element&) { return false; }
  static Element decode(const int8_t* b, int32_t n) { return NumberValue::toDouble(b, n); }
};
struct FloatDecoder {
  using Element = float;
  static bool decodeAt(const int8_t* base, size_t at, const NumberDecoder::Tables& t,
                       Element& out) {
    int64_t v = 0;
    if (!NumberDecoder::decode(base, at, t, NumberDecoder::WIDE_SCALE, v)) return false;
    out = static_cast<Element>(v);  // rounded once, to nearest
    return true;
  }
  static bool decodeShort(const int8_t*, int32_t, Element&) { return false; }
  static Element decode(const int8_t* b, int32_t n) { return NumberValue::toFloat(b, n); }
};
struct LongDecoder {
  using Element = int64_t;
  static bool decodeAt(const int8_t* base, size_t at, const NumberDecoder::Tables& t,
                       Element& out) {
    return NumberDecoder::decode(base, at, t, NumberDecoder::WIDE_SCALE, out);
  }
  static bool decodeShort(const int8_t* b, int32_t n, Element& out) {
    return shortWholeNumber(b, n, 17, out);  // below 10^18: fits
  }
  static Element decode(const int8_t* b, int32_t n) { return NumberValue::toLong(b, n); }
};
struct ShortDecoder {
  using Element = int16_t;
  static bool decodeAt(const int8_t* base, size_t at, const NumberDecoder::Tables& t,
                       Element& out) {
    int64_t v = 0;
    if (!NumberDecoder::decode(base, at, t, NumberDecoder::SHORT_SCALE, v)) return false;
    out = static_cast<Element>(v);
    return true;
  }
  static bool decodeShort(const int8_t* b, int32_t n, Element& out) {
    int64_t v = 0;
    if (!shortWholeNumber(b, n, 3, v)) return false;  // below 10^4: fits
    out = static_cast<Element>(v);
    return true;
  }
  // toShort has checked the range: narrowing keeps the value
  static Element decode(const int8_t* b, int32_t n) {
    return static_cast<int16_t>(NumberValue::toShort(b, n));
  }
};

// The run of data values from `at` on that the fast decoder takes, decoded into out (at most
// count); returns how many, `at` moved past them. Stops at the first value it refuses and where
// fewer than 8 bytes remain in the image (lastWord: the last position with 8). Kept out of
// line, with the tables passed in, so that the loop holds its few values in registers.
template <typename Decoder>
__attribute__((noinline)) int32_t decodeValueRun(const NumberDecoder::Tables& tables,
                                                 const int8_t* data, int32_t& at, int32_t lastWord,
                                                 typename Decoder::Element* out, int32_t count) {
  typename Decoder::Element* o = out;
  typename Decoder::Element* const stop = out + count;
  while (o < stop && at <= lastWord) {
    // A taken value moves on by at most 8 bytes: this many stay within lastWord without a check
    // each.
    const int32_t safe = (lastWord - at) / NumberDecoder::WORD_BYTES + 1;
    const size_t m = static_cast<size_t>(stop - o > safe ? safe : stop - o);
    // Value i of this stretch starts at q + i: q moves by the length bytes alone, so that one
    // add lies between the load of a length byte and the load of the next.
    const auto* const start = reinterpret_cast<const uint8_t*>(data + at);
    const uint8_t* q = start;
    size_t i = 0;
    for (; i < m; ++i) {
      const uint32_t n = q[i];
      if (!Decoder::decodeAt(reinterpret_cast<const int8_t*>(q), i, tables, o[i])) break;
      q += n;  // a taken form is inside the 8 bytes
    }
    at += static_cast<int32_t>(static_cast<size_t>(q - start) + i);
    o += i;
    if (i < m) break;
  }
  return static_cast<int32_t>(o - out);
}

// The same over fixed slots, all inside the image (checked by the caller): a null slot gives
// 0; returns how many slots were read, stopping at the first present form it refuses.
template <typename Decoder>
__attribute__((noinline)) int32_t decodeSlotRun(const NumberDecoder::Tables& tables,
                                                const int8_t* slot,
                                                typename Decoder::Element* out, int32_t count) {
  typename Decoder::Element* o = out;
  for (typename Decoder::Element* const stop = out + count; o < stop;
       ++o, slot += KelvorTypeNUMBER::FIXED_NUMBER_STRIDE) {
    if ((slot[0] & 1) != 0) {  // null
      *o = 0;
      continue;
    }
    // the length byte and the 7 bytes after it lie inside the slot
    if (!Decoder::decodeAt(slot, 1, tables, *o)) break;
  }
  return static_cast<int32_t>(o - out);
}

// When a bulk reader tries the block decoder (where the processor has it): at first, after a
// run of blocks it took (the block it refused goes to the fast decoder), and after a refusal
// of the first block tried, only past a stretch that doubles with each such refusal (to
// BLOCK << 12 elements), so that numbers it never takes cost next to nothing.
class BlockRetry {
 public:
  bool due(int32_t i) const noexcept { return blocks_ && i >= retryAt_; }
  // The elements the blocks tried at i took; returns them.
  int32_t taken(int32_t i, int32_t taken) noexcept {
    refusals_ = taken > 0 ? 0 : std::min(refusals_ + 1, 12);
    retryAt_ = i + taken + (NumberBlockDecoder::BLOCK << refusals_);
    return taken;
  }
  // The elements from i on that the fast decoder is to take, up to the next try.
  int32_t stretch(int32_t i, int32_t count) const noexcept {
    return (blocks_ ? std::min(count, retryAt_) : count) - i;
  }

 private:
  bool blocks_ = NumberBlockDecoder::available();
  int32_t retryAt_ = 0;
  int32_t refusals_ = 0;
};

// A result array of count (> 0) elements for a bulk reader, which writes every element (0 for
// a null): a large one is not zero-filled first (two allocations instead of one, and no
// pass over the memory).
template <typename E>
Ref<PrimitiveArray<E>> unfilledArray(int32_t count) {
  if (count <= 1024) return PrimitiveArray<E>::make(count);
  void* elements = std::malloc(sizeof(E) * static_cast<size_t>(count));
  if (elements == nullptr) throw std::bad_alloc();
  return PrimitiveArray<E>::adoptBuffer(static_cast<E*>(elements), count);
}

// Runs f(decoder) with the decoder of the access kind; another kind: ERR_UNSUPPORTED.
template <typename F>
Ref<lang::Object> withDecoder(int32_t accessKind, F&& f) {
  switch (accessKind) {
    case KelvorTypeNUMBER::ACCESS_INT_ARRAY: return f(IntDecoder{});
    case KelvorTypeNUMBER::ACCESS_DOUBLE_ARRAY: return f(DoubleDecoder{});
    case KelvorTypeNUMBER::ACCESS_FLOAT_ARRAY: return f(FloatDecoder{});
    case KelvorTypeNUMBER::ACCESS_LONG_ARRAY: return f(LongDecoder{});
    case KelvorTypeNUMBER::ACCESS_SHORT_ARRAY: return f(ShortDecoder{});
    default: ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED);
  }
}

[[noreturn]] __attribute__((noinline, cold)) void throwSlotsOutsideImage(int32_t base,
                                                                         int32_t count,
                                                                         int32_t length) {
  throw lang::IndexOutOfBoundsException(
      std::to_string(count) + " number slots at " + std::to_string(base) +
      " outside an image of " + std::to_string(length) + " bytes");
}

[[noreturn]] __attribute__((noinline, cold)) void throwValuesOutsideImage(int32_t at,
                                                                          int64_t needed,
                                                                          int32_t length) {
  throw lang::IndexOutOfBoundsException(
      std::to_string(needed) + " bytes of number data at " + std::to_string(at) +
      " outside an image of " + std::to_string(length) + " bytes");
}

// A fixed slot whose length byte L claims more than the 21 bytes a form can have: its bytes
// cannot be a number, and the L bytes would run into the next slot.
[[noreturn]] __attribute__((noinline, cold)) void raiseOverlongSlot(const int8_t* slot) {
  const Ref<lang::ByteArray> numberSlot =
      lang::ByteArray::copyOf(slot + 1, KelvorTypeNUMBER::FIXED_NUMBER_SIZE);
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, "number slot length above 21",
                     numberSlot.get());
}

// The image a bulk reader reads in place; a context without one fails as its reads would.
Ref<lang::ByteArray> imageOf(Ref<lang::ByteArray> image) {
  if (!image) lang::throwNullPointer("number bulk read without an image");
  return image;
}

}  // namespace

const lang::SerialClass KelvorTypeNUMBER::SERIAL_CLASS = {
    "KelvorTypeNUMBER", &KelvorType::SERIAL_CLASS,
    []() -> Ref<lang::Object> { return lang::makeRef<KelvorTypeNUMBER>(); },
    &KelvorTypeNUMBER::serialWriteHook, &KelvorTypeNUMBER::serialReadHook};

namespace {
const lang::SerialRegistrar registrar(KelvorTypeNUMBER::SERIAL_CLASS);
}  // namespace

KelvorTypeNUMBER::KelvorTypeNUMBER() { setKind(TypeKind::Number); }

KelvorTypeNUMBER::KelvorTypeNUMBER(int32_t typeCode) : KelvorType(typeCode) { setKind(TypeKind::Number); }

Ref<lang::ObjectArray> KelvorTypeNUMBER::primitiveArrayToNumberValues(
    lang::Object* value, jdbc::Connection* /*connection*/, int64_t beginIndex, int32_t count) {
  if (value == nullptr) return nullptr;
  // The kinds in their order of test; the first match decides.
  if (const auto* a = dynamic_cast<const lang::ShortArray*>(value)) {
    return convertPrimitiveSlice(*a, beginIndex, count);
  }
  if (const auto* a = dynamic_cast<const lang::IntArray*>(value)) {
    return convertPrimitiveSlice(*a, beginIndex, count);
  }
  if (const auto* a = dynamic_cast<const lang::LongArray*>(value)) {
    return convertPrimitiveSlice(*a, beginIndex, count);
  }
  if (const auto* a = dynamic_cast<const lang::FloatArray*>(value)) {
    return convertPrimitiveSlice(*a, beginIndex, count);
  }
  if (const auto* a = dynamic_cast<const lang::DoubleArray*>(value)) {
    return convertPrimitiveSlice(*a, beginIndex, count);
  }
  if (const auto* a = dynamic_cast<const lang::ByteArray*>(value)) {
    return convertBoxedSlice(*a, beginIndex, count);
  }
  if (const auto* a = dynamic_cast<const lang::BooleanArray*>(value)) {
    return convertBoxedSlice(*a, beginIndex, count);
  }
  const auto* rows = dynamic_cast<const ObjectArray*>(value);
  if (rows != nullptr && rows->isArrayOf<lang::CharArray>()) {
    // Each row is text: the string made from its chars, then the value made from the string.
    return convertSlice(*rows, beginIndex, count, [](const ObjectArray& a, int32_t i) {
      const Ref<lang::String> text = textOfRow(a.at(i));
      return NumberValue::fromObject(text.get());
    });
  }
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

int32_t KelvorTypeNUMBER::getNativeAlignment(const lang::ByteArray* fd) {
  return nativeLayout(fd, NUMBER_FORMAT_ENTRY).alignment;
}

int32_t KelvorTypeNUMBER::getPrecision() const { return precision_; }

int32_t KelvorTypeNUMBER::getScale() const { return scale_; }

int32_t KelvorTypeNUMBER::getNativeSize(const lang::ByteArray* fd) {
  return nativeLayout(fd, NUMBER_FORMAT_ENTRY).size;
}

Ref<lang::Object> KelvorTypeNUMBER::unpickleNumber(int32_t offsetIndex, int32_t nullIndex,
                                                   UnpickleContext& ctx, int32_t format,
                                                   int32_t style, const jdbc::TypeMap* typeMap) {
  if (!ctx.enterFixedValue(format, offsetIndex, nullIndex, FIXED_NUMBER_SIZE, nullptr)) return nullptr;
  FieldObserver* const o = ctx.observer();
  if (style == STYLE_SKIP) {
    ctx.skipBytes(FIXED_NUMBER_SIZE);
    return nullptr;
  }
  if (o != nullptr) [[unlikely]] {
    const int32_t at = ctx.offset();
    Ref<lang::ByteArray> bytes = ctx.readNumberSlot();
    o->field(at, 1 + bytes->length(), FieldKind::NUMBER_SLOT, nullptr, bytes->length());
    return numberBytesToObject(std::move(bytes), style, typeMap);
  }
  return numberBytesToObject(ctx.readNumberSlot(), style, typeMap);
}

void KelvorTypeNUMBER::parseTDS(StreamInfo& reader) {
  KelvorType::parseTDS(reader);
  precision_ = reader.readUB1();
  scale_ = reader.readUB1();
}

void KelvorTypeNUMBER::readSerialForm(lang::ObjectInputStream& in) {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
  scale_ = in.readInt();
  precision_ = in.readInt();
}

Ref<jdbc::SqlValue> KelvorTypeNUMBER::toSqlValue(lang::Object* value,
                                                 jdbc::Connection* connection) {
  return toNumberValue(value, connection);
}

Ref<lang::ObjectArray> KelvorTypeNUMBER::toSqlValueArray(lang::Object* values,
                                                         jdbc::Connection* connection,
                                                         int64_t beginIndex, int32_t count) {
  return toNumberValueArray(values, connection, beginIndex, count);
}

Ref<jdbc::NumberValue> KelvorTypeNUMBER::toNumberValue(lang::Object* value,
                                                       jdbc::Connection* /*connection*/) {
  if (value == nullptr) return nullptr;
  if (auto* number = jdbc::SqlValue::as<NumberValue>(value)) return Ref<NumberValue>(number);
  try {
    return NumberValue::fromObject(value);
  } catch (const lang::Throwable&) {
    // Whatever the construction refused (a class it does not take, text that is no number,
    // a NaN, an exponent out of range) is this value's conversion failure.
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
  }
}

Ref<lang::ObjectArray> KelvorTypeNUMBER::toNumberValueArray(lang::Object* value,
                                                            jdbc::Connection* connection,
                                                            int64_t beginIndex, int32_t count) {
  if (value == nullptr) return nullptr;
  const auto* objects = dynamic_cast<const ObjectArray*>(value);
  if (objects != nullptr && !objects->isArrayOf<lang::CharArray>()) {
    return convertSlice(*objects, beginIndex, count,
                        [connection](const ObjectArray& a, int32_t i) {
                          return toNumberValue(a.at(i), connection);
                        });
  }
  return primitiveArrayToNumberValues(value, connection, beginIndex, count);
}

Ref<lang::Object> KelvorTypeNUMBER::numberBytesToObject(Ref<lang::ByteArray> bytes, int32_t style,
                                                        const jdbc::TypeMap* /*typeMap*/) {
  if (!bytes || bytes->length() == 0) return nullptr;
  switch (style) {
    case STYLE_SQL_VALUE: return lang::makeRef<NumberValue>(std::move(bytes));
    case STYLE_PLATFORM_OBJECT: return NumberValue::toBigDecimal(bytes.get());
    case STYLE_BYTES: return bytes;
    default: ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED);
  }
}

Ref<lang::Object> KelvorTypeNUMBER::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                             const jdbc::TypeMap* typeMap) {
  return numberBytesToObject(std::move(bytes), style, typeMap);
}

namespace {

// The bytes of a pickled data value, where they lie in the image, as a NumberValue (SQL style)
// or a decimal (platform style); null or empty: null. The platform object is made straight from
// the image's bytes, without the byte array the SQL value keeps.
Ref<lang::Object> numberOfSpan(std::span<const int8_t> bytes, int32_t style) {
  if (bytes.empty()) return nullptr;
  const auto n = static_cast<int32_t>(bytes.size());
  if (style == KelvorTypeNUMBER::STYLE_SQL_VALUE) {
    return jdbc::SqlValue::withBytesCopied<NumberValue>(bytes.data(), n);
  }
  return NumberValue::toBigDecimal(bytes.data(), n);
}

bool readsSpan(int32_t style) {
  return style == KelvorTypeNUMBER::STYLE_SQL_VALUE ||
         style == KelvorTypeNUMBER::STYLE_PLATFORM_OBJECT;
}

}  // namespace

Ref<lang::Object> KelvorTypeNUMBER::unpickle(PickleContext& ctx, int8_t firstLengthByte,
                                             int32_t style, const jdbc::TypeMap* typeMap) {
  // A listener hears the field from the base's read.
  if (!readsSpan(style) || ctx.observer() != nullptr) {
    return KelvorType::unpickle(ctx, firstLengthByte, style, typeMap);
  }
  return numberOfSpan(ctx.readDataSpan(firstLengthByte), style);
}

Ref<lang::Object> KelvorTypeNUMBER::unpickle(PickleContext& ctx, int32_t style,
                                             const jdbc::TypeMap* typeMap) {
  if (!readsSpan(style) || ctx.observer() != nullptr) {
    return KelvorType::unpickle(ctx, style, typeMap);
  }
  return numberOfSpan(ctx.readDataSpan(), style);
}

Ref<lang::Object> KelvorTypeNUMBER::unpickleFixedNumberArray(UnpickleContext& ctx,
                                                             int64_t beginIndex, int32_t count,
                                                             int32_t accessKind) {
  if (count > 0 && beginIndex > 1) {
    // (beginIndex - 1) slots, computed in 64 bits: a skip beyond 2^31-1 stops there, so a
    // beginIndex past the image fails the check below instead of wrapping back into it.
    const int64_t slots = beginIndex - 1;
    const int64_t skip = slots > INT32_MAX / FIXED_NUMBER_STRIDE
                             ? int64_t{INT32_MAX}
                             : slots * FIXED_NUMBER_STRIDE;
    ctx.skipBytes(static_cast<int32_t>(skip));
  }
  return withDecoder(accessKind, [&](auto decoder) -> Ref<lang::Object> {
    using Decoder = decltype(decoder);
    using Element = typename Decoder::Element;
    if (count < 0) throw lang::NegativeArraySizeException(count);
    if (count == 0) return PrimitiveArray<Element>::make(0);  // reads and moves nothing
    const int32_t base = ctx.offset();
    const Ref<lang::ByteArray> image = imageOf(ctx.image());
    const int32_t length = image->length();
    // security: count comes from the image. Every slot is read in place without a check of
    // its own, so all count slots must lie inside the image before anything is allocated:
    // compare with the slots that fit, never multiply the count.
    if (base < 0 || base > length || count > (length - base) / FIXED_NUMBER_STRIDE) {
      throwSlotsOutsideImage(base, count, length);
    }
    Ref<PrimitiveArray<Element>> result = unfilledArray<Element>(count);
    Element* out = result->data();
    const int8_t* const first = image->data() + base;
    BlockRetry retry;  // as in unpickleNumberArray
    for (int32_t i = 0; i < count; ++i) {
      if (retry.due(i)) {
        i += retry.taken(i, NumberBlockDecoder::runSlots(first + ptrdiff_t{i} * FIXED_NUMBER_STRIDE,
                                                         FIXED_NUMBER_STRIDE, out + i, count - i));
      }
      const int32_t stretch = retry.stretch(i, count);
      const int32_t run = decodeSlotRun<Decoder>(
          NumberDecoder::TABLES, first + ptrdiff_t{i} * FIXED_NUMBER_STRIDE, out + i, stretch);
      i += run;
      if (i == count) break;
      if (run == stretch) {  // none refused: blocks again (the loop's step undone)
        --i;
        continue;
      }
      const int8_t* const slot = first + ptrdiff_t{i} * FIXED_NUMBER_STRIDE;  // present, refused
      out[i] = 0;  // unless read below
      const int32_t formLength = static_cast<uint8_t>(slot[1]);
      if (formLength > NumberValue::MAX_LENGTH) raiseOverlongSlot(slot);
      if (formLength == 0) continue;  // an empty form is a null, as in a single read
      if (!Decoder::decodeShort(slot + 2, formLength, out[i])) {
        out[i] = Decoder::decode(slot + 2, formLength);
      }
    }
    ctx.skipBytes(count * FIXED_NUMBER_STRIDE);  // inside the image: checked above
    return result;
  });
}

Ref<lang::Object> KelvorTypeNUMBER::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                             const jdbc::TypeMap* typeMap) {
  return unpickleNumber(offsetIndex_, nullIndex_, ctx, format, style, typeMap);
}

Ref<lang::Object> KelvorTypeNUMBER::unpickleNumberArray(PickleContext& ctx, int64_t beginIndex,
                                                        int32_t count, int32_t accessKind) {
  if (count > 0) {
    // Each skip checks its bytes, so a hostile beginIndex fails at the end of the image.
    for (int64_t i = 1; i < beginIndex; ++i) ctx.skipDataValue();
  }
  return withDecoder(accessKind, [&](auto decoder) -> Ref<lang::Object> {
    using Decoder = decltype(decoder);
    using Element = typename Decoder::Element;
    if (count < 0) throw lang::NegativeArraySizeException(count);
    if (count == 0) return PrimitiveArray<Element>::make(0);  // reads and moves nothing
    const Ref<lang::ByteArray> image = imageOf(ctx.image());
    const int32_t length = image->length();
    const int8_t* data = image->data();
    const int32_t start = ctx.offset();
    // security: count comes from the image; every value takes at least one byte (its length
    // or the null marker), so a count above the bytes that remain cannot be read.
    if (start < 0 || start > length || count > length - start) {
      throwValuesOutsideImage(start, count, length);
    }
    Ref<PrimitiveArray<Element>> result = unfilledArray<Element>(count);
    Element* out = result->data();
    // The position is kept here and handed back to the context before anything that may
    // throw, so that a failure leaves the context where the element-wise reads would.
    int32_t at = start;
    // security: a word is loaded only where all its bytes lie inside the image
    const int32_t lastWord = length - NumberDecoder::WORD_BYTES;
    // Blocks of eight where the processor decodes them; what a block refuses (or the last few
    // elements) by the fast decoder, the rest by the exact conversions.
    BlockRetry retry;
    for (int32_t i = 0; i < count; ++i) {
      if (retry.due(i)) {
        i += retry.taken(i, NumberBlockDecoder::run(data, at, lastWord, out + i, count - i));
      }
      const int32_t stretch = retry.stretch(i, count);
      const int32_t run =
          decodeValueRun<Decoder>(NumberDecoder::TABLES, data, at, lastWord, out + i, stretch);
      i += run;
      if (i == count) break;
      if (run == stretch) {  // none refused: blocks again (the loop's step undone)
        --i;
        continue;
      }
      out[i] = 0;  // unless read below
      if (at < length) {
        const auto first = static_cast<uint8_t>(data[at]);
        if (PickleContext::isAtomicNull(static_cast<int8_t>(first))) {  // the element is 0
          ++at;
          continue;
        }
        const int32_t from = at + 1;
        // security: n comes from the image; compare with what remains, never add to it
        if (first <= PickleContext::MAX_SHORT_LENGTH && first <= length - from) {
          if (first == 0) {  // an empty value is a null, as in a single read
            at = from;
            continue;
          }
          if (!Decoder::decodeShort(data + from, first, out[i])) {
            ctx.skipTo(from);
            out[i] = Decoder::decode(data + from, first);
          }
          at = from + first;
          continue;
        }
      }
      ctx.skipTo(at);
      const int32_t n = ctx.readLength();  // checked: fails at the end of the image
      const int32_t from = ctx.offset();
      if (n < 0 || n > length - from) throwValuesOutsideImage(from, n, length);
      if (n == 0) {  // an empty value is a null, as in a single read
        at = from;
        continue;
      }
      out[i] = Decoder::decode(data + from, n);
      at = from + n;
    }
    ctx.skipTo(at);
    return result;
  });
}

void KelvorTypeNUMBER::writeSerialForm(lang::ObjectOutputStream& out) const {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
  out.writeInt(scale_);
  out.writeInt(precision_);
}

void KelvorTypeNUMBER::serialReadHook(lang::Object& self, lang::ObjectInputStream& in) {
  dynamic_cast<KelvorTypeNUMBER&>(self).readSerialForm(in);
}

// --- the bulk writer ---

int32_t KelvorTypeNUMBER::wholeNumberForm(int64_t value, int8_t* out) noexcept {
  if (value == 0) {
    out[0] = static_cast<int8_t>(jdbc::NumberValue::ZERO_BYTE);
    return 1;
  }
  const bool negative = value < 0;
  uint64_t m = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  if (m < 10000) {
    // Up to four digits, the common case: the pairs and the trailing-zero rule written out.
    // digits 1: d0      -> d0*10            digits 2: d1d0  -> d1d0
    // digits 3: d2d1d0  -> d2d1, d0*10      digits 4: d3..d0 -> d3d2, d1d0
    // (a last byte of 0 is dropped)
    const auto u = static_cast<uint32_t>(m);
    uint32_t digits;
    uint32_t first;
    uint32_t second;
    if (u < 100) {
      digits = u < 10 ? 1 : 2;
      first = u < 10 ? u * 10 : u;
      second = 0;
    } else {
      digits = u < 1000 ? 3 : 4;
      first = u < 1000 ? u / 10 : u / 100;
      second = u < 1000 ? u % 10 * 10 : u % 100;
    }
    const uint32_t header = (digits - 1 + 16384) | (negative ? 0x8000U : 0U);
    out[0] = static_cast<int8_t>(header >> 8);
    out[1] = static_cast<int8_t>(header & 0xFF);
    out[2] = static_cast<int8_t>(first);
    out[3] = static_cast<int8_t>(second);
    return second != 0 ? 4 : 3;
  }
  int32_t digits = 1;
  for (uint64_t v = m; v >= 10; v /= 10) ++digits;
  // Pairs are counted from the leading digit: an odd digit count ends in a half pair.
  uint8_t pairs[10];
  int32_t n = 0;
  if (digits % 2 != 0) {
    pairs[n++] = static_cast<uint8_t>(m % 10 * 10);
    m /= 10;
  }
  for (; m != 0; m /= 100) pairs[n++] = static_cast<uint8_t>(m % 100);  // lowest first
  int32_t low = 0;
  while (pairs[low] == 0) ++low;  // no trailing 00 pair
  const uint32_t header = static_cast<uint32_t>(digits - 1 + 16384) | (negative ? 0x8000U : 0U);
  out[0] = static_cast<int8_t>(header >> 8);
  out[1] = static_cast<int8_t>(header & 0xFF);
  int32_t at = 2;
  for (int32_t i = n - 1; i >= low; --i) out[at++] = static_cast<int8_t>(pairs[i]);
  return at;
}

namespace {

// Encodes the elements a chunk at a time into a buffer, one append to the stream per chunk.
template <typename E>
int64_t pickleWhole(PickleContext& ctx, const lang::PrimitiveArray<E>& array) {
  constexpr int32_t CHUNK = 4096;
  constexpr int32_t VALUE = 1 + KelvorTypeNUMBER::MAX_WHOLE_FORM;
  PickleOutputStream& out = *ctx.outStream();
  if (ctx.appendsDirectly()) {
    // Straight into the image, room for a chunk of elements reserved at a time, as long as the
    // room of the longest forms stays within 2^31-1 bytes (beyond, the chunks below).
    constexpr int32_t ELEMENTS = CHUNK / VALUE;
    int64_t total = 0;
    int32_t i = 0;
    while (i < array.length() && out.offsetHeld() <= INT32_MAX - CHUNK) {
      const int32_t end = std::min(array.length(), i + ELEMENTS);
      int8_t* const start = out.reserveHeld(CHUNK);
      int8_t* p = start;
      for (; i < end; ++i) {
        const int32_t n = KelvorTypeNUMBER::wholeNumberForm(array[i], p + 1);
        *p = static_cast<int8_t>(n);
        p += n + 1;
      }
      const auto used = static_cast<int32_t>(p - start);
      out.commitHeld(used);
      total += used;
    }
    if (i == array.length()) return total;
    // The last elements before the stream's limit: the chunked path fails where it fails.
    int8_t buffer[VALUE];
    for (; i < array.length(); ++i) {
      const int32_t n = KelvorTypeNUMBER::wholeNumberForm(array[i], buffer + 1);
      buffer[0] = static_cast<int8_t>(n);
      out.write(buffer, n + 1);
      total += n + 1;
    }
    return total;
  }
  int8_t buffer[CHUNK + VALUE];
  int64_t total = 0;
  int32_t used = 0;
  for (int32_t i = 0; i < array.length(); ++i) {
    const int32_t n = KelvorTypeNUMBER::wholeNumberForm(array[i], buffer + used + 1);
    buffer[used] = static_cast<int8_t>(n);
    used += n + 1;
    if (used >= CHUNK) {
      out.write(buffer, used);
      total += used;
      used = 0;
    }
  }
  out.write(buffer, used);
  return total + used;
}

}  // namespace

int64_t KelvorTypeNUMBER::pickleWholeNumbers(PickleContext& ctx, const lang::Object& array) {
  if (!ctx.outStream()) lang::throwNullPointer("writer without a stream");
  // Once per array, not per element.
  if (const auto* a = dynamic_cast<const lang::IntArray*>(&array)) return pickleWhole(ctx, *a);
  if (const auto* a = dynamic_cast<const lang::LongArray*>(&array)) return pickleWhole(ctx, *a);
  if (const auto* a = dynamic_cast<const lang::ShortArray*>(&array)) return pickleWhole(ctx, *a);
  return -1;
}

void KelvorTypeNUMBER::serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out) {
  dynamic_cast<const KelvorTypeNUMBER&>(self).writeSerialForm(out);
}

}  // namespace kelvor::jdbc::kelcore
