#include "scalar/KelvorTypeBFILE.h"

#include <utility>

#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "scalar/FieldlessSerialClass.h"
#include "scalar/KelvorTypeBLOB.h"

namespace kelvor::jdbc::kelcore {

constinit const lang::SerialClass KelvorTypeBFILE::SERIAL_CLASS =
    fieldlessSerialClass<KelvorTypeBFILE>("KelvorTypeBFILE");

namespace {
const lang::SerialRegistrar registrar(KelvorTypeBFILE::SERIAL_CLASS);
}  // namespace

KelvorTypeBFILE::KelvorTypeBFILE() { setKind(TypeKind::Bfile); }

KelvorTypeBFILE::KelvorTypeBFILE(jdbc::Connection* conn) : values_(conn) { setKind(TypeKind::Bfile); }

KelvorTypeBFILE::~KelvorTypeBFILE() = default;

int32_t KelvorTypeBFILE::getTypeCode() const { return TYPE_CODE; }

void KelvorTypeBFILE::setConnection(jdbc::Connection* conn) { values_.setConnection(conn); }

Ref<jdbc::SqlValue> KelvorTypeBFILE::toSqlValue(lang::Object* value, jdbc::Connection* /*conn*/) {
  return values_.toSqlValue(value);
}

Ref<lang::Object> KelvorTypeBFILE::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                            const jdbc::TypeMap* /*typeMap*/) {
  return values_.toObject(std::move(bytes), style);
}

Ref<lang::Object> KelvorTypeBFILE::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                            const jdbc::TypeMap* /*typeMap*/) {
  return KelvorTypeBLOB::unpickleLocator(this, nullIndex_, offsetIndex_, ctx, format, style,
                                         LOCATOR_SLOT_SIZE);
}

}  // namespace kelvor::jdbc::kelcore
