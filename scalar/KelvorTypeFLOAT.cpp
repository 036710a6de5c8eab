#include "scalar/KelvorTypeFLOAT.h"

#include <utility>

#include "adt/StreamInfo.h"
#include "driver/NumberValue.h"
#include "lang/Array.h"
#include "scalar/FieldlessSerialClass.h"
#include "scalar/KelvorTypeNUMBER.h"

namespace kelvor::jdbc::kelcore {
namespace {

// Operand bytes of a FLOAT entry after its opcode; the descriptor keeps none of them.
constexpr int32_t TDS_OPERAND_BYTES = 1;

}  // namespace

constinit const lang::SerialClass KelvorTypeFLOAT::SERIAL_CLASS =
    fieldlessSerialClass<KelvorTypeFLOAT>("KelvorTypeFLOAT");

namespace {
const lang::SerialRegistrar registrar(KelvorTypeFLOAT::SERIAL_CLASS);
}  // namespace

KelvorTypeFLOAT::KelvorTypeFLOAT() { setKind(TypeKind::Float); }

int32_t KelvorTypeFLOAT::getNativeAlignment(const lang::ByteArray* fd) {
  return nativeLayout(fd, KelvorTypeNUMBER::NUMBER_FORMAT_ENTRY).alignment;
}

int32_t KelvorTypeFLOAT::getNativeSize(const lang::ByteArray* fd) {
  return nativeLayout(fd, KelvorTypeNUMBER::NUMBER_FORMAT_ENTRY).size;
}

int32_t KelvorTypeFLOAT::getTypeCode() const { return TYPE_CODE; }

void KelvorTypeFLOAT::parseTDS(StreamInfo& reader) {
  KelvorType::parseTDS(reader);
  reader.skipBytes(TDS_OPERAND_BYTES);  // checked by the next read
}

Ref<jdbc::SqlValue> KelvorTypeFLOAT::toSqlValue(lang::Object* value,
                                                jdbc::Connection* connection) {
  return KelvorTypeNUMBER::toNumberValue(value, connection);
}

Ref<lang::ObjectArray> KelvorTypeFLOAT::toSqlValueArray(lang::Object* values,
                                                        jdbc::Connection* connection,
                                                        int64_t beginIndex, int32_t count) {
  return KelvorTypeNUMBER::toNumberValueArray(values, connection, beginIndex, count);
}

Ref<lang::Object> KelvorTypeFLOAT::toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                            const jdbc::TypeMap* typeMap) {
  return KelvorTypeNUMBER::numberBytesToObject(std::move(bytes), style, typeMap);
}

Ref<lang::Object> KelvorTypeFLOAT::unpickleFixedNumberArray(UnpickleContext& ctx,
                                                            int64_t beginIndex, int32_t count,
                                                            int32_t accessKind) {
  return KelvorTypeNUMBER::unpickleFixedNumberArray(ctx, beginIndex, count, accessKind);
}

Ref<lang::Object> KelvorTypeFLOAT::unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                            const jdbc::TypeMap* typeMap) {
  return KelvorTypeNUMBER::unpickleNumber(offsetIndex_, nullIndex_, ctx, format, style, typeMap);
}

Ref<lang::Object> KelvorTypeFLOAT::unpickleNumberArray(PickleContext& ctx, int64_t beginIndex,
                                                       int32_t count, int32_t accessKind) {
  return KelvorTypeNUMBER::unpickleNumberArray(ctx, beginIndex, count, accessKind);
}

}  // namespace kelvor::jdbc::kelcore
