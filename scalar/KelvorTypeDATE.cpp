#include "scalar/KelvorTypeDATE.h"

#include <span>
#include <typeinfo>
#include <utility>

#include "driver/DateValue.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "lang/Exceptions.h"
#include "lang/String.h"
#include "lang/Timestamp.h"
#include "scalar/FieldlessSerialClass.h"

namespace kelvor::jdbc::kelcore {
namespace {

// Bytes of the native structure that are read: year(2) month day hour minute second.
constexpr int32_t NATIVE_DATE_READ = 7;

static_assert(KelvorTypeDATE::ERR_CONVERSION == DriverException::ERR_CONVERSION);
static_assert(KelvorTypeDATE::STYLE_SKIP == KelvorType::STYLE_SKIP);
static_assert(NATIVE_DATE_READ == DateValue::LENGTH);

// The seven-byte form of a native date structure whose first seven bytes are `native`. The
// form's two year bytes hold DateValue::MIN_YEAR..MAX_YEAR; a native year outside them would
// wrap into another year (or flip its sign), so it raises ERR_CONVERSION with the structure.
Ref<lang::ByteArray> dateFormOf(const lang::ByteArray& native, bool highByteFirst) {
  const int8_t* n = native.data();
  const auto b0 = static_cast<uint8_t>(n[0]);
  const auto b1 = static_cast<uint8_t>(n[1]);
  const int32_t year = static_cast<int16_t>(highByteFirst ? (b0 << 8) | b1 : (b1 << 8) | b0);
  if (year < DateValue::MIN_YEAR || year > DateValue::MAX_YEAR) {
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, "year outside the date form", &native);
  }
  int32_t century = 0;
  int32_t yy = 0;
  if (year >= 0) {
    century = year / 100 + 100;
    yy = year % 100 + 100;
  } else {
    const int32_t a = -year;
    century = 100 - a / 100;
    yy = 100 - a % 100;
  }
  const int32_t form[DateValue::LENGTH] = {century, yy, n[2], n[3], n[4] + 1, n[5] + 1, n[6] + 1};
  Ref<lang::ByteArray> d = lang::ByteArray::make(DateValue::LENGTH);
  for (int32_t i = 0; i < DateValue::LENGTH; ++i) (*d)[i] = static_cast<int8_t>(form[i]);
  return d;
}

}  // namespace

constinit const lang::SerialClass KelvorTypeDATE::SERIAL_CLASS =
    fieldlessSerialClass<KelvorTypeDATE>("KelvorTypeDATE");

namespace {
const lang::SerialRegistrar registrar(KelvorTypeDATE::SERIAL_CLASS);
}  // namespace

KelvorTypeDATE::KelvorTypeDATE() { setKind(TypeKind::Date); }

KelvorTypeDATE::KelvorTypeDATE(int32_t typeCode) : KelvorType(typeCode) { setKind(TypeKind::Date); }

int32_t KelvorTypeDATE::getNativeAlignment(const lang::ByteArray* fd) {
  return nativeLayout(fd, DATE_FORMAT_ENTRY).alignment;
}

int32_t KelvorTypeDATE::getNativeSize(const lang::ByteArray* fd) {
  return nativeLayout(fd, DATE_FORMAT_ENTRY).size;
}

int32_t KelvorTypeDATE::getTypeCode() const { return TYPE_CODE; }

Ref<jdbc::SqlValue> KelvorTypeDATE::toSqlValue(lang::Object* value,
                                               jdbc::Connection* /*connection*/) {
  if (value == nullptr) return nullptr;
  if (auto* date = jdbc::SqlValue::as<DateValue>(value)) return Ref<DateValue>(date);
  try {
    return DateValue::fromObject(value);
  } catch (const lang::Throwable&) {
    // Whatever the construction refused (a class it does not take, text that is no date, a
    // year outside the form) is this value's conversion failure.
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
  }
}

Ref<lang::ObjectArray> KelvorTypeDATE::toSqlValueArray(lang::Object* values,
                                                       jdbc::Connection* connection,
                                                       int64_t beginIndex, int32_t count) {
  if (values == nullptr) return nullptr;
  const auto* rows = dynamic_cast<const lang::ObjectArray*>(values);
  if (rows == nullptr || !rows->isArrayOf<lang::CharArray>()) {
    // other object arrays element by element; anything else is ERR_CONVERSION there
    return KelvorType::toSqlValueArray(values, connection, beginIndex, count);
  }
  const int32_t n = sliceLength(rows->length(), beginIndex, count);
  Ref<lang::ObjectArray> result = lang::ObjectArray::make(n, typeid(SqlValue));
  const auto first = static_cast<int32_t>(beginIndex - 1);  // < length whenever n > 0
  for (int32_t j = 0; j < n; ++j) {
    const Ref<lang::String> text = textOfRow(rows->at(first + j));
    result->set(j, toSqlValue(text.get(), connection));
  }
  return result;
}

Ref<lang::Object> KelvorTypeDATE::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                           const jdbc::TypeMap* /*typeMap*/) {
  if (!bytes || bytes->length() == 0) return nullptr;
  switch (style) {
    case STYLE_SQL_VALUE: return lang::makeRef<DateValue>(std::move(bytes));
    case STYLE_PLATFORM_OBJECT: return DateValue::toTimestamp(bytes.get());
    case STYLE_BYTES: return bytes;
    default: ErrorRaiser::raise(DriverException::ERR_CONVERSION, bytes.get());
  }
}

namespace {

// The bytes of a pickled data value, where they lie in the image, as a DateValue (SQL style) or
// a timestamp (platform style); null or empty: null.
Ref<lang::Object> dateOfSpan(std::span<const int8_t> bytes, int32_t style) {
  if (bytes.empty()) return nullptr;
  const auto n = static_cast<int32_t>(bytes.size());
  if (style == KelvorTypeDATE::STYLE_SQL_VALUE) {
    return jdbc::SqlValue::withBytesCopied<DateValue>(bytes.data(), n);
  }
  return DateValue::toTimestamp(bytes.data(), n);
}

bool readsSpan(int32_t style) {
  return style == KelvorTypeDATE::STYLE_SQL_VALUE || style == KelvorTypeDATE::STYLE_PLATFORM_OBJECT;
}

}  // namespace

Ref<lang::Object> KelvorTypeDATE::unpickle(PickleContext& ctx, int8_t firstLengthByte,
                                           int32_t style, const jdbc::TypeMap* typeMap) {
  // A listener hears the field from the base's read.
  if (!readsSpan(style) || ctx.observer() != nullptr) {
    return KelvorType::unpickle(ctx, firstLengthByte, style, typeMap);
  }
  return dateOfSpan(ctx.readDataSpan(firstLengthByte), style);
}

Ref<lang::Object> KelvorTypeDATE::unpickle(PickleContext& ctx, int32_t style,
                                           const jdbc::TypeMap* typeMap) {
  if (!readsSpan(style) || ctx.observer() != nullptr) {
    return KelvorType::unpickle(ctx, style, typeMap);
  }
  return dateOfSpan(ctx.readDataSpan(), style);
}

Ref<lang::Object> KelvorTypeDATE::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                           const jdbc::TypeMap* typeMap) {
  if (!ctx.enterFixedValue(format, offsetIndex_, nullIndex_, NATIVE_DATE_SIZE, this)) return nullptr;
  FieldObserver* const o = ctx.observer();
  if (style == STYLE_SKIP) {
    ctx.skipBytes(NATIVE_DATE_SIZE);
    return nullptr;
  }
  // checked: fails before anything is read when the seven bytes are not all there
  const Ref<lang::ByteArray> native = ctx.readBytes(NATIVE_DATE_READ);
  if (o != nullptr) [[unlikely]] {
    o->field(ctx.offset() - NATIVE_DATE_READ, NATIVE_DATE_READ, FieldKind::NATIVE_DATE, this, ctx.descriptorFlag() != 0 ? 1 : 0);
  }
  ctx.skipBytes(NATIVE_DATE_SIZE - NATIVE_DATE_READ);  // the last byte is not read
  return toObject(dateFormOf(*native, ctx.descriptorFlag() != 0), style, typeMap);
}

}  // namespace kelvor::jdbc::kelcore
