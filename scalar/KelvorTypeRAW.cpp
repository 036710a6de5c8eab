#include "scalar/KelvorTypeRAW.h"

#include <utility>

#include "adt/StreamInfo.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/RawValue.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Array.h"
#include "lang/Exceptions.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"

namespace kelvor::jdbc::kelcore {
namespace {

constexpr const char* TRACE_CLASS = "KelvorTypeRAW";

}  // namespace

const lang::SerialClass KelvorTypeRAW::SERIAL_CLASS = {
    "KelvorTypeRAW", &KelvorType::SERIAL_CLASS,
    []() -> Ref<lang::Object> { return lang::makeRef<KelvorTypeRAW>(); },
    &KelvorTypeRAW::serialWriteHook, &KelvorTypeRAW::serialReadHook};

namespace {
const lang::SerialRegistrar registrar(KelvorTypeRAW::SERIAL_CLASS);
}  // namespace

KelvorTypeRAW::KelvorTypeRAW() { setKind(TypeKind::Raw); }

KelvorTypeRAW::KelvorTypeRAW(int32_t typeCode) : KelvorType(typeCode) { setKind(TypeKind::Raw); }

int32_t KelvorTypeRAW::getTypeCode() const { return TYPE_CODE; }

void KelvorTypeRAW::parseTDS(StreamInfo& reader) {
  KelvorType::parseTDS(reader);
  maxLength_ = reader.readSB2();  // sign-extended: 32768 and above arrive negative
}

int32_t KelvorTypeRAW::pickle(PickleContext& ctx, lang::Object* value) {
  if (value == nullptr) lang::throwNullPointer("pickle of null");
  const auto* sqlValue = jdbc::SqlValue::as<jdbc::SqlValue>(value);
  if (sqlValue == nullptr) lang::throwClassCast(value->className(), "RawValue");
  if (sqlValue->getLength() > maxLength_) {
    ErrorRaiser::raise(DriverException::ERR_VALUE_TOO_LONG, this);
  }
  return pickleDataValue(ctx, value);
}

Ref<jdbc::SqlValue> KelvorTypeRAW::toSqlValue(lang::Object* value,
                                              jdbc::Connection* /*connection*/) {
  if (value == nullptr) return nullptr;
  if (auto* raw = dynamic_cast<jdbc::RawValue*>(value)) return Ref<jdbc::SqlValue>(raw);
  try {
    return jdbc::RawValue::fromObject(value);
  } catch (const DriverException&) {
    // Whatever the value class raised, the caller learns that this value does not convert.
    ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
  }
}

Ref<lang::ObjectArray> KelvorTypeRAW::toSqlValueArray(lang::Object* values,
                                                      jdbc::Connection* connection,
                                                      int64_t beginIndex, int32_t count) {
  // The RAW type's own array kind, an array of byte arrays, turns each element into a
  // RawValue that shares it and hands that to toSqlValue; toSqlValue does the same with a
  // byte array, so the own kind and a generic object array take the one element-wise path
  // of the base, which also refuses everything that is not an object array.
  return KelvorType::toSqlValueArray(values, connection, beginIndex, count);
}

Ref<lang::Object> KelvorTypeRAW::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                          const jdbc::TypeMap* /*typeMap*/) {
  if (!bytes || bytes->length() == 0) return nullptr;
  switch (style) {
    case STYLE_SQL_VALUE:
      return lang::makeRef<jdbc::RawValue>(std::move(bytes));
    case STYLE_PLATFORM_OBJECT:
    case STYLE_BYTES:
      return bytes;
    default:
      ErrorRaiser::raise(DriverException::ERR_CONVERSION, bytes.get());
  }
}

Ref<lang::Object> KelvorTypeRAW::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                          const jdbc::TypeMap* typeMap) {
  Ref<lang::ByteArray> bytes;
  FieldObserver* const o = ctx.observer();
  if (format == 1) {
    if (ctx.isNull(nullIndex_) != 0) {
      if (o != nullptr) [[unlikely]]
        o->field(ctx.slotPosition(offsetIndex_), 0, FieldKind::NULL_INDICATOR, this, nullIndex_);
      return nullptr;
    }
    ctx.skipToRelative(ctx.attributeOffset(offsetIndex_));
    if (style == STYLE_SKIP) {
      ctx.skipBytes(4);  // the relative offset; the value itself lies out of line
      return nullptr;
    }
    const int32_t slot = ctx.offset();
    ctx.followOffset();
    if (o != nullptr) [[unlikely]]
      o->field(slot, 4, FieldKind::VALUE_AT, this, ctx.relativeOffset());
    const int32_t at = ctx.offset();
    bytes = ctx.readUB4Bytes();
    if (o != nullptr) [[unlikely]]
      o->field(at, 4 + bytes->length(), FieldKind::UB4_VALUE, this, bytes->length());
    ctx.restoreMark();  // just after the relative offset
  } else {
    const int8_t indicator = ctx.readByte();
    if ((indicator & 1) != 0 || style == STYLE_SKIP) {
      const int32_t after = ctx.offset();
      ctx.skipUB4Bytes();
      if (o != nullptr && (indicator & 1) != 0) [[unlikely]]
        o->field(after - 1, 1, FieldKind::NULL_ELEMENT_FLAG, this, int64_t{ctx.offset()} - after);
      return nullptr;
    }
    if (o != nullptr) [[unlikely]]
      o->field(ctx.offset() - 1, 1, FieldKind::ELEMENT_FLAG, this, indicator & 0xFF);
    const int32_t at = ctx.offset();
    bytes = ctx.readUB4Bytes();
    if (o != nullptr) [[unlikely]]
      o->field(at, 4 + bytes->length(), FieldKind::UB4_VALUE, this, bytes->length());
  }
  return toObject(std::move(bytes), style, typeMap);
}

void KelvorTypeRAW::readSerialForm(lang::ObjectInputStream& in) {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
  maxLength_ = in.readInt();
}

void KelvorTypeRAW::writeSerialForm(lang::ObjectOutputStream& out) const {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
  out.writeInt(maxLength_);
}

void KelvorTypeRAW::serialReadHook(lang::Object& self, lang::ObjectInputStream& in) {
  dynamic_cast<KelvorTypeRAW&>(self).readSerialForm(in);
}

void KelvorTypeRAW::serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out) {
  dynamic_cast<const KelvorTypeRAW&>(self).writeSerialForm(out);
}

}  // namespace kelvor::jdbc::kelcore
