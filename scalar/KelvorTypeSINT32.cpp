#include "scalar/KelvorTypeSINT32.h"

#include <utility>

#include "driver/NumberValue.h"
#include "lang/Array.h"
#include "scalar/FieldlessSerialClass.h"
#include "scalar/KelvorTypeNUMBER.h"

namespace kelvor::jdbc::kelcore {

constinit const lang::SerialClass KelvorTypeSINT32::SERIAL_CLASS =
    fieldlessSerialClass<KelvorTypeSINT32>("KelvorTypeSINT32");

namespace {
const lang::SerialRegistrar registrar(KelvorTypeSINT32::SERIAL_CLASS);
}  // namespace

KelvorTypeSINT32::KelvorTypeSINT32() { setKind(TypeKind::Sint32); }

int32_t KelvorTypeSINT32::getTypeCode() const { return TYPE_CODE; }

Ref<jdbc::SqlValue> KelvorTypeSINT32::toSqlValue(lang::Object* value,
                                                 jdbc::Connection* connection) {
  return KelvorTypeNUMBER::toNumberValue(value, connection);
}

Ref<lang::ObjectArray> KelvorTypeSINT32::toSqlValueArray(lang::Object* values,
                                                         jdbc::Connection* connection,
                                                         int64_t beginIndex, int32_t count) {
  return KelvorTypeNUMBER::toNumberValueArray(values, connection, beginIndex, count);
}

Ref<lang::Object> KelvorTypeSINT32::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                             const jdbc::TypeMap* typeMap) {
  return KelvorTypeNUMBER::numberBytesToObject(std::move(bytes), style, typeMap);
}

Ref<lang::Object> KelvorTypeSINT32::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                             const jdbc::TypeMap* typeMap) {
  return KelvorTypeNUMBER::unpickleNumber(offsetIndex_, nullIndex_, ctx, format, style, typeMap);
}

}  // namespace kelvor::jdbc::kelcore
