#include "scalar/KelvorTypeBLOB.h"

#include <utility>

#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "scalar/FieldlessSerialClass.h"

namespace kelvor::jdbc::kelcore {

constinit const lang::SerialClass KelvorTypeBLOB::SERIAL_CLASS =
    fieldlessSerialClass<KelvorTypeBLOB>("KelvorTypeBLOB");

namespace {
const lang::SerialRegistrar registrar(KelvorTypeBLOB::SERIAL_CLASS);
}  // namespace

KelvorTypeBLOB::KelvorTypeBLOB() { setKind(TypeKind::Blob); }

KelvorTypeBLOB::KelvorTypeBLOB(jdbc::Connection* conn) : values_(conn) { setKind(TypeKind::Blob); }

KelvorTypeBLOB::~KelvorTypeBLOB() = default;

int32_t KelvorTypeBLOB::getTypeCode() const { return TYPE_CODE; }

Ref<lang::Object> KelvorTypeBLOB::unpickleLocator(KelvorType* descriptor, int32_t nullIndex,
                                                  int32_t offsetIndex, UnpickleContext& ctx,
                                                  int32_t format, int32_t style,
                                                  int32_t slotSize) {
  return LocatorSupport<jdbc::BlobValue>::unpickleLocator(descriptor, nullIndex, offsetIndex, ctx,
                                                          format, style, slotSize);
}

void KelvorTypeBLOB::setConnection(jdbc::Connection* conn) { values_.setConnection(conn); }

Ref<jdbc::SqlValue> KelvorTypeBLOB::toSqlValue(lang::Object* value, jdbc::Connection* /*conn*/) {
  return values_.toSqlValue(value);
}

Ref<lang::Object> KelvorTypeBLOB::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                           const jdbc::TypeMap* /*typeMap*/) {
  return values_.toObject(std::move(bytes), style);
}

Ref<lang::Object> KelvorTypeBLOB::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                           const jdbc::TypeMap* /*typeMap*/) {
  return LocatorSupport<jdbc::BlobValue>::unpickleLocator(this, nullIndex_, offsetIndex_, ctx,
                                                          format, style, LOCATOR_SLOT_SIZE);
}

}  // namespace kelvor::jdbc::kelcore
