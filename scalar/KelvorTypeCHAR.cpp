#include "scalar/KelvorTypeCHAR.h"

#include <typeinfo>
#include <utility>

#include "adt/StreamInfo.h"
#include "driver/Connection.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "lang/Boxed.h"
#include "lang/Exceptions.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "lang/String.h"

namespace kelvor::jdbc::kelcore {
namespace {

constexpr const char* TRACE_CLASS = "KelvorTypeCHAR";

// Each element of a slice of a primitive array, boxed as Box, as a character value.
template <typename Box, typename E>
Ref<lang::ObjectArray> boxEach(const lang::PrimitiveArray<E>& values, int64_t beginIndex,
                               int32_t count, const Ref<jdbc::CharsetConverter>& charset) {
  const int32_t n = KelvorType::sliceLength(values.length(), beginIndex, count);
  auto result = lang::ObjectArray::make(n, typeid(jdbc::CharValue));
  const auto first = static_cast<int32_t>(beginIndex - 1);  // in range whenever n > 0
  for (int32_t k = 0; k < n; ++k) {
    const auto box = Box::of(static_cast<typename Box::value_type>(values[first + k]));
    result->set(k, jdbc::CharValue::fromObject(box.get(), charset));
  }
  return result;
}

template <typename E>
const lang::PrimitiveArray<E>* asArray(const lang::Object* o) {
  return dynamic_cast<const lang::PrimitiveArray<E>*>(o);
}

}  // namespace

const lang::SerialClass KelvorTypeCHAR::SERIAL_CLASS = {
    "KelvorTypeCHAR", &KelvorType::SERIAL_CLASS,
    []() -> Ref<lang::Object> { return lang::makeRef<KelvorTypeCHAR>(); },
    &KelvorTypeCHAR::serialWriteHook, &KelvorTypeCHAR::serialReadHook};

namespace {
const lang::SerialRegistrar registrar(KelvorTypeCHAR::SERIAL_CLASS);
}  // namespace

KelvorTypeCHAR::KelvorTypeCHAR() { setKind(TypeKind::Char); }

KelvorTypeCHAR::KelvorTypeCHAR(jdbc::Connection* conn) { setKind(TypeKind::Char); setUp(conn); }

KelvorTypeCHAR::KelvorTypeCHAR(jdbc::Connection* conn, int32_t typeCode) : KelvorType(typeCode) {
  setKind(TypeKind::Char);
  setUp(conn);
}

KelvorTypeCHAR::~KelvorTypeCHAR() = default;

void KelvorTypeCHAR::setUp(jdbc::Connection* conn) {
  connection_ = conn;
  // Without a connection there is no set to ask for: as a connection that does not tell.
  connCharsetId_ = -1;
  if (conn != nullptr) {
    try {
      connCharsetId_ = conn->getDbCharsetId();
    } catch (const DriverException& e) {
      if (Trace::on(DEBUG_TRACE)) Trace::line(TRACE_CLASS, "database character set: ", e.what());
      connCharsetId_ = -1;
    }
  }
  takeConverter();
}

void KelvorTypeCHAR::takeConverter() {
  // Every set has one, -1 included; one we cannot convert refuses to convert values into it.
  converter_ = jdbc::CharsetConverter::forId(connCharsetId_);
  if (!converter_->canConvert() && Trace::on(DEBUG_TRACE)) {
    Trace::line(TRACE_CLASS, "no conversion into the connection's set ", connCharsetId_);
  }
}

Ref<lang::ObjectArray> KelvorTypeCHAR::primitiveArrayToCharValues(
    lang::Object* values, jdbc::Connection* /*conn*/, int64_t beginIndex, int32_t count) {
  if (values == nullptr) return nullptr;
  if (const auto* strings = dynamic_cast<const lang::ObjectArray*>(values);
      strings != nullptr && strings->isArrayOf<lang::CharArray>()) {
    const int32_t n = sliceLength(strings->length(), beginIndex, count);
    auto result = lang::ObjectArray::make(n, typeid(jdbc::CharValue));
    const auto first = static_cast<int32_t>(beginIndex - 1);
    for (int32_t k = 0; k < n; ++k) {
      lang::Object* element = strings->at(first + k);
      if (element == nullptr) continue;
      const auto* chars = dynamic_cast<const lang::CharArray*>(element);
      if (chars == nullptr) ErrorRaiser::raise(DriverException::ERR_CONVERSION, element);
      result->set(k,
                  lang::makeRef<jdbc::CharValue>(
                      *lang::String::fromUtf16(chars->data(), chars->length()), converter_));
    }
    return result;
  }
  const Ref<jdbc::CharsetConverter>& cs = converter_;
  // short elements box as Integer, the others as their own kind.
  if (const auto* a = asArray<int8_t>(values)) {
    return boxEach<lang::Byte>(*a, beginIndex, count, cs);
  }
  if (const auto* a = asArray<int16_t>(values)) {
    return boxEach<lang::Integer>(*a, beginIndex, count, cs);
  }
  if (const auto* a = asArray<int32_t>(values)) {
    return boxEach<lang::Integer>(*a, beginIndex, count, cs);
  }
  if (const auto* a = asArray<int64_t>(values)) {
    return boxEach<lang::Long>(*a, beginIndex, count, cs);
  }
  if (const auto* a = asArray<float>(values)) {
    return boxEach<lang::Float>(*a, beginIndex, count, cs);
  }
  if (const auto* a = asArray<double>(values)) {
    return boxEach<lang::Double>(*a, beginIndex, count, cs);
  }
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, values);
}

Ref<jdbc::CharValue> KelvorTypeCHAR::convertToConnectionCharset(jdbc::CharValue* value) {
  if (value == nullptr) lang::throwNullPointer("convertToConnectionCharset of null");
  return inConnectionCharset(value, true);
}

Ref<jdbc::CharValue> KelvorTypeCHAR::inConnectionCharset(jdbc::CharValue* value,
                                                         bool absorbFailure) {
  const jdbc::CharsetConverter* own = value->characterSet();
  // No set of its own (bytes of an unknown set are never converted), no converter (a
  // descriptor never set up), the connection's set already, or nothing to convert. Any other
  // value is converted, and a connection's set we cannot convert into refuses it.
  if (!own || !converter_ || own->id() == connCharsetId_ || !value->hasBytes()) {
    return Ref<jdbc::CharValue>(value);
  }
  if (!absorbFailure) return reencode(*value);
  try {
    return reencode(*value);
  } catch (const DriverException& e) {
    if (Trace::on(DEBUG_TRACE)) Trace::line(TRACE_CLASS, "conversion: ", e.what());
    return Ref<jdbc::CharValue>(value);
  }
}

Ref<jdbc::CharValue> KelvorTypeCHAR::reencode(const jdbc::CharValue& value) const {
  const Ref<lang::ByteArray> bytes = value.shareBytes();
  auto converted = converter_->convert(*value.characterSet(), *bytes, 0, bytes->length());
  return lang::makeRef<jdbc::CharValue>(std::move(converted), converter_);
}

void KelvorTypeCHAR::parseTDS(StreamInfo& reader) {
  KelvorType::parseTDS(reader);
  try {
    maxLength_ = reader.readSB2();
    charsetForm_ = reader.readUB1();
    charsetId_ = reader.readSB2();
  } catch (const DriverException&) {
    ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "unreadable character type entry");
  }
}

int32_t KelvorTypeCHAR::pickle(PickleContext& ctx, lang::Object* value) {
  if (value == nullptr) lang::throwNullPointer("pickle of null");
  auto* charValue = jdbc::SqlValue::as<jdbc::CharValue>(value);
  if (charValue == nullptr) lang::throwClassCast(value->className(), "CharValue");
  // Converted first, so that the length checked is that of the bytes the database receives.
  // A value in the connection's set already (the common case) is written as it is, without
  // a second reference to it.
  const jdbc::CharsetConverter* own = charValue->characterSet();
  if (!own || !converter_ || own->id() == connCharsetId_ || !charValue->hasBytes()) {
    if (charValue->getLength() > maxLength_) {
      ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG, this);
    }
    return pickleDataValue(ctx, charValue);
  }
  const Ref<jdbc::CharValue> written = reencode(*charValue);
  if (written->getLength() > maxLength_) {
    ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG, this);
  }
  return pickleDataValue(ctx, written.get());
}

void KelvorTypeCHAR::setConnection(jdbc::Connection* conn) {
  std::lock_guard<std::mutex> hold(connectionLock_);
  connection_ = conn;
}

Ref<jdbc::SqlValue> KelvorTypeCHAR::toSqlValue(lang::Object* value, jdbc::Connection* /*conn*/) {
  if (value == nullptr) return nullptr;
  if (auto* charValue = jdbc::SqlValue::as<jdbc::CharValue>(value)) {
    return Ref<jdbc::SqlValue>(charValue);
  }
  return jdbc::CharValue::fromObject(value, converter_);
}

Ref<lang::ObjectArray> KelvorTypeCHAR::toSqlValueArray(lang::Object* values,
                                                       jdbc::Connection* conn,
                                                       int64_t beginIndex, int32_t count) {
  if (values == nullptr) return nullptr;
  if (const auto* array = dynamic_cast<const lang::ObjectArray*>(values);
      array != nullptr && !array->isArrayOf<lang::CharArray>()) {
    return KelvorType::toSqlValueArray(values, conn, beginIndex, count);
  }
  return primitiveArrayToCharValues(values, conn, beginIndex, count);
}

Ref<lang::Object> KelvorTypeCHAR::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                           const jdbc::TypeMap* /*typeMap*/) {
  if (!bytes || bytes->length() == 0) return nullptr;  // an empty value reads as null
  if (style == STYLE_BYTES) return bytes;
  if (style != STYLE_SQL_VALUE && style != STYLE_PLATFORM_OBJECT) {
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, bytes.get());
  }
  Ref<jdbc::CharValue> value;
  if (charsetForm_ == 1) {
    value = lang::makeRef<jdbc::CharValue>(std::move(bytes), converter_);
  } else if (charsetForm_ >= 2 && charsetForm_ <= 5) {
    value = lang::makeRef<jdbc::CharValue>(std::move(bytes), nullptr);
  } else {
    return nullptr;  // a form this descriptor cannot read has no value in either style
  }
  if (style == STYLE_SQL_VALUE) return value;
  return value->toJdbc();
}

Ref<lang::Object> KelvorTypeCHAR::valueOfSpan(std::span<const int8_t> bytes, int32_t style) {
  if (bytes.empty()) return nullptr;
  const auto n = static_cast<int32_t>(bytes.size());
  // The set of the value toObject would make: form 1 the connection's, 2 to 5 none.
  const bool ownSet = charsetForm_ == 1;
  if (!ownSet && (charsetForm_ < 2 || charsetForm_ > 5)) return nullptr;
  const Ref<jdbc::CharsetConverter> none;
  const Ref<jdbc::CharsetConverter>& charset = ownSet ? converter_ : none;
  if (style == STYLE_SQL_VALUE) {
    return jdbc::SqlValue::withBytesCopied<jdbc::CharValue>(bytes.data(), n, charset);
  }
  // STYLE_PLATFORM_OBJECT: the value's text, as CharValue::toJdbc gives it
  const jdbc::CharsetConverter& set =
      charset ? *charset : *jdbc::CharsetConverter::forId(jdbc::CharsetConverter::UTF_8);
  return set.decodeString(bytes.data(), n);
}

Ref<lang::Object> KelvorTypeCHAR::unpickle(PickleContext& ctx, int8_t firstLengthByte,
                                           int32_t style, const jdbc::TypeMap* typeMap) {
  // A listener hears the field from the base's read.
  if ((style != STYLE_SQL_VALUE && style != STYLE_PLATFORM_OBJECT) || ctx.observer() != nullptr) {
    return KelvorType::unpickle(ctx, firstLengthByte, style, typeMap);
  }
  return valueOfSpan(ctx.readDataSpan(firstLengthByte), style);
}

Ref<lang::Object> KelvorTypeCHAR::unpickle(PickleContext& ctx, int32_t style,
                                           const jdbc::TypeMap* typeMap) {
  if ((style != STYLE_SQL_VALUE && style != STYLE_PLATFORM_OBJECT) || ctx.observer() != nullptr) {
    return KelvorType::unpickle(ctx, style, typeMap);
  }
  return valueOfSpan(ctx.readDataSpan(), style);
}

Ref<lang::Object> KelvorTypeCHAR::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                           const jdbc::TypeMap* typeMap) {
  Ref<lang::ByteArray> bytes;
  FieldObserver* const o = ctx.observer();
  if (format == 1) {
    if (ctx.isNull(nullIndex_) != 0) {
      if (o != nullptr) [[unlikely]] o->field(ctx.slotPosition(offsetIndex_), 0, FieldKind::NULL_INDICATOR, this, nullIndex_);
      return nullptr;
    }
    ctx.skipToRelative(ctx.attributeOffset(offsetIndex_));
    if (style == STYLE_SKIP) {
      ctx.skipBytes(6);
      return nullptr;
    }
    const int64_t rel = ctx.readUB4();
    if (rel != 0) {
      ctx.jumpTo(rel);  // marks the position after the 4-byte rel
      if (o != nullptr) [[unlikely]] o->field(ctx.markedOffset() - 4, 4, FieldKind::VALUE_AT, this, rel);
    } else {
      ctx.skipBytes(2);
      ctx.mark();  // the end of the slot; the value follows it
      if (o != nullptr) [[unlikely]] {
        o->field(ctx.offset() - 6, 4, FieldKind::VALUE_FOLLOWS, this, 0);
        o->field(ctx.offset() - 2, 2, FieldKind::STEPPED_OVER, this, 2);
      }
    }
    const int32_t at = ctx.offset();
    bytes = ctx.readUB4Bytes();
    if (o != nullptr) [[unlikely]] o->field(at, 4 + bytes->length(), FieldKind::UB4_VALUE, this, bytes->length());
    ctx.restoreMark();
  } else {
    const int8_t flag = ctx.readByte();
    if ((flag & 1) != 0) {
      ctx.skipBytes(4);
      if (o != nullptr) [[unlikely]] o->field(ctx.offset() - 5, 1, FieldKind::NULL_ELEMENT_FLAG, this, 4);
      return nullptr;
    }
    if (o != nullptr) [[unlikely]] o->field(ctx.offset() - 1, 1, FieldKind::ELEMENT_FLAG, this, flag & 0xFF);
    if (style == STYLE_SKIP) {
      ctx.skipUB4Bytes();
      return nullptr;
    }
    const int32_t at = ctx.offset();
    bytes = ctx.readUB4Bytes();
    if (o != nullptr) [[unlikely]] o->field(at, 4 + bytes->length(), FieldKind::UB4_VALUE, this, bytes->length());
  }
  return toObject(std::move(bytes), style, typeMap);
}

void KelvorTypeCHAR::readSerialForm(lang::ObjectInputStream& in) {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
  charsetForm_ = in.readInt();
  charsetId_ = in.readInt();
  maxLength_ = in.readInt();
  connCharsetId_ = in.readShort();
  takeConverter();
}

void KelvorTypeCHAR::writeSerialForm(lang::ObjectOutputStream& out) const {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
  out.writeInt(charsetForm_);
  out.writeInt(charsetId_);
  out.writeInt(maxLength_);
  out.writeShort(connCharsetId_);
}

void KelvorTypeCHAR::serialReadHook(lang::Object& self, lang::ObjectInputStream& in) {
  dynamic_cast<KelvorTypeCHAR&>(self).readSerialForm(in);
}

void KelvorTypeCHAR::serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out) {
  dynamic_cast<const KelvorTypeCHAR&>(self).writeSerialForm(out);
}

}  // namespace kelvor::jdbc::kelcore
