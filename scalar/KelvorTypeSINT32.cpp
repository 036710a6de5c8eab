#include "scalar/KelvorTypeSINT32.h"

#include <utility>

#include "driver/NumberValue.h"
#include "lang/Array.h"
#include "scalar/KelvorTypeNUMBER.h"

namespace kelvor::jdbc::kelcore {
namespace {

constexpr const char* TRACE_CLASS = "KelvorTypeSINT32";

}  // namespace

const lang::SerialClass KelvorTypeSINT32::SERIAL_CLASS = {
    "KelvorTypeSINT32", &KelvorType::SERIAL_CLASS,
    []() -> Ref<lang::Object> { return lang::makeRef<KelvorTypeSINT32>(); },
    &KelvorTypeSINT32::serialWriteHook, &KelvorTypeSINT32::serialReadHook};

namespace {
const lang::SerialRegistrar registrar(KelvorTypeSINT32::SERIAL_CLASS);
}  // namespace

KelvorTypeSINT32::KelvorTypeSINT32() = default;

int32_t KelvorTypeSINT32::getTypeCode() const { return TYPE_CODE; }

void KelvorTypeSINT32::readSerialForm(lang::ObjectInputStream& /*in*/) {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "readSerialForm");
}

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

void KelvorTypeSINT32::writeSerialForm(lang::ObjectOutputStream& /*out*/) const {
  if (Trace::on(SERIAL_TRACE)) Trace::line(TRACE_CLASS, "writeSerialForm");
}

void KelvorTypeSINT32::serialReadHook(lang::Object& self, lang::ObjectInputStream& in) {
  dynamic_cast<KelvorTypeSINT32&>(self).readSerialForm(in);
}

void KelvorTypeSINT32::serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out) {
  dynamic_cast<const KelvorTypeSINT32&>(self).writeSerialForm(out);
}

}  // namespace kelvor::jdbc::kelcore
