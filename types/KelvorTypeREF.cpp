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
  if (!descriptor_) {
    if (sqlNameKnown_ || getSqlName(false)) {
      descriptor_ = jdbc::ObjectDescriptor::createDescriptor(sqlName_, connection_);
    } else {
      // Unnamed for now: an object type under the same parent asks it for the name later.
      auto type = lang::makeRef<KelvorTypeADT>(getParent(), getParentIndex(), connection_);
      descriptor_ = lang::makeRef<jdbc::ObjectDescriptor>(type, connection_);
    }
  }
  if (!descriptor_) return nullptr;
  auto* od = dynamic_cast<jdbc::ObjectDescriptor*>(descriptor_.get());
  if (od == nullptr) lang::throwClassCast(descriptor_->className(), "ObjectDescriptor");
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
  if (format == 1) {
    if (ctx.isNull(nullIndex_) != 0) return nullptr;
    ctx.skipToRelative(ctx.attributeOffset(offsetIndex_));
    if (style == STYLE_SKIP) {
      ctx.skipBytes(4);
      return nullptr;
    }
    ctx.followOffset();
    bytes = ctx.readUB2Bytes();
    ctx.restoreMark();
  } else {
    const int8_t indicator = ctx.readByte();
    if ((indicator & 1) != 0 || style == STYLE_SKIP) {
      ctx.skipUB2Bytes();
      return nullptr;
    }
    bytes = ctx.readUB2Bytes();
  }
  return toObject(std::move(bytes), style, typeMap);
}

}  // namespace kelvor::jdbc::kelcore
