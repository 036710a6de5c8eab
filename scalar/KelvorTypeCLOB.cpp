#include "scalar/KelvorTypeCLOB.h"

#include <utility>

#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "scalar/FieldlessSerialClass.h"
#include "scalar/KelvorTypeBLOB.h"

namespace kelvor::jdbc::kelcore {

constinit const lang::SerialClass KelvorTypeCLOB::SERIAL_CLASS =
    fieldlessSerialClass<KelvorTypeCLOB>("KelvorTypeCLOB");

namespace {
const lang::SerialRegistrar registrar(KelvorTypeCLOB::SERIAL_CLASS);
}  // namespace

KelvorTypeCLOB::KelvorTypeCLOB() { setKind(TypeKind::Clob); }

KelvorTypeCLOB::KelvorTypeCLOB(jdbc::Connection* conn) : values_(conn) { setKind(TypeKind::Clob); }

KelvorTypeCLOB::~KelvorTypeCLOB() = default;

int32_t KelvorTypeCLOB::getTypeCode() const { return TYPE_CODE; }

void KelvorTypeCLOB::setConnection(jdbc::Connection* conn) { values_.setConnection(conn); }

Ref<jdbc::SqlValue> KelvorTypeCLOB::toSqlValue(lang::Object* value, jdbc::Connection* /*conn*/) {
  return values_.toSqlValue(value);
}

Ref<lang::Object> KelvorTypeCLOB::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                           const jdbc::TypeMap* /*typeMap*/) {
  return values_.toObject(std::move(bytes), style);
}

Ref<lang::Object> KelvorTypeCLOB::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                           const jdbc::TypeMap* /*typeMap*/) {
  return KelvorTypeBLOB::unpickleLocator(this, nullIndex_, offsetIndex_, ctx, format, style,
                                         LOCATOR_SLOT_SIZE);
}

}  // namespace kelvor::jdbc::kelcore
