#include "types/KelvorTypeREF.h"

#include "adt/KelvorTypeADT.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/ObjectDescriptor.h"
#include "driver/RefValue.h"
#include "image/UnpickleContext.h"

namespace kelvor::jdbc::kelcore {
namespace {

constexpr const char* TRACE_CLASS = "KelvorTypeREF";

// The class has no fields of its own: its serial hooks only trace.
void serialWrite(const lang::Object& /*self*/, lang::ObjectOutputStream& /*out*/) {
  if (Trace::on(KelvorTypeREF::TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
}
void serialRead(lang::Object& /*self*/, lang::ObjectInputStream& /*in*/) {
  if (Trace::on(KelvorTypeREF::TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
}

}  // namespace

const lang::SerialClass KelvorTypeREF::SERIAL_CLASS = {
    "KelvorTypeREF", &KelvorNamedType::SERIAL_CLASS,
    []() -> Ref<lang::Object> { return lang::makeRef<KelvorTypeREF>(); }, &serialWrite,
    &serialRead};

namespace {
const lang::SerialRegistrar registrar(KelvorTypeREF::SERIAL_CLASS);
}  // namespace

KelvorTypeREF::KelvorTypeREF() { setKind(TypeKind::Ref); }

KelvorTypeREF::KelvorTypeREF(const std::string& sqlName, jdbc::Connection* connection)
    : KelvorNamedType(sqlName, connection) { setKind(TypeKind::Ref); }

KelvorTypeREF::KelvorTypeREF(KelvorTypeADT* parent, int32_t parentIndex,
                             jdbc::Connection* connection)
    : KelvorNamedType(parent, parentIndex, connection) { setKind(TypeKind::Ref); }

int32_t KelvorTypeREF::getTypeCode() const { return TYPE_CODE; }

Ref<jdbc::ObjectDescriptor> KelvorTypeREF::getObjectDescriptor() {
  Ref<lang::Object> d = descriptor_.load();
  if (!d) {
    Ref<lang::Object> made;
    if (sqlNameKnown_ || getSqlName(false)) {
      made = jdbc::ObjectDescriptor::createDescriptor(sqlName_, connection_);
    } else {
      // Unnamed for now: an object type under the same parent asks it for the name later.
      auto type = lang::makeRef<KelvorTypeADT>(getParent(), getParentIndex(), connection_);
      made = lang::makeRef<jdbc::ObjectDescriptor>(type, connection_);
    }
    // Threads racing here each build one; the first published is the one every thread
    // returns (all describe the same type), and no thread frees what another returns.
    d = descriptor_.publishIfNull(std::move(made));
  }
  if (!d) return nullptr;
  auto* od = dynamic_cast<jdbc::ObjectDescriptor*>(d.get());
  if (od == nullptr) lang::throwClassCast(d->className(), "ObjectDescriptor");
  return Ref<jdbc::ObjectDescriptor>(od);
}

Ref<jdbc::SqlValue> KelvorTypeREF::toSqlValue(lang::Object* value, jdbc::Connection* /*connection*/) {
  if (value == nullptr) return nullptr;
  if (auto* ref = dynamic_cast<jdbc::RefValue*>(value)) return Ref<jdbc::SqlValue>(ref);
  ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
}

Ref<lang::Object> KelvorTypeREF::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                          const jdbc::TypeMap* /*typeMap*/) {
  if (!bytes || bytes->length() == 0) return nullptr;
  switch (style) {
    case STYLE_SQL_VALUE:
    case STYLE_PLATFORM_OBJECT:
      return lang::makeRef<jdbc::RefValue>(getObjectDescriptor(), connection_, std::move(bytes));
    case STYLE_BYTES:
      return bytes;
    default:
      ErrorRaiser::raise(DriverException::ERR_CONVERSION, bytes.get());
  }
}

// slot (format 1) := ub4 offset -> ub2 length + bytes        the slot points at the REF
// inline form     := indicator(1) ub2 length + bytes        bit 0 of the indicator: null
Ref<lang::Object> KelvorTypeREF::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
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
      ctx.skipBytes(4);
      return nullptr;
    }
    const int32_t slot = ctx.offset();
    ctx.followOffset();
    if (o != nullptr) [[unlikely]] o->field(slot, 4, FieldKind::VALUE_AT, this, ctx.relativeOffset());
    const int32_t at = ctx.offset();
    bytes = ctx.readUB2Bytes();
    if (o != nullptr) [[unlikely]] o->field(at, bytes->length(), FieldKind::UB2_VALUE, this, bytes->length() - 2);
    ctx.restoreMark();
  } else {
    const int8_t indicator = ctx.readByte();
    if ((indicator & 1) != 0 || style == STYLE_SKIP) {
      const int32_t after = ctx.offset();
      ctx.skipUB2Bytes();
      if (o != nullptr && (indicator & 1) != 0) [[unlikely]] o->field(after - 1, 1, FieldKind::NULL_ELEMENT_FLAG, this, int64_t{ctx.offset()} - after);
      return nullptr;
    }
    if (o != nullptr) [[unlikely]] o->field(ctx.offset() - 1, 1, FieldKind::ELEMENT_FLAG, this, indicator & 0xFF);
    const int32_t at = ctx.offset();
    bytes = ctx.readUB2Bytes();
    if (o != nullptr) [[unlikely]] o->field(at, bytes->length(), FieldKind::UB2_VALUE, this, bytes->length() - 2);
  }
  return toObject(std::move(bytes), style, typeMap);
}

}  // namespace kelvor::jdbc::kelcore
