// Descriptor of a 32-bit signed integer attribute or element. Its values travel in the NUMBER
// byte form, so every conversion and image read is KelvorTypeNUMBER's. It reports the type
// code 2 (NUMERIC), has no TDS operands, and keeps the base's native layout (entry 5). Unlike
// NUMBER and FLOAT it is not a number element type of the collection bulk paths.
//
// Thread rule: immutable once its TDS entry is parsed, then shared between threads.
#pragma once

#include <cstdint>

#include "types/KelvorType.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc::kelcore {

class KelvorTypeSINT32 : public KelvorType {
 public:
  static constexpr int32_t TYPE_CODE = 2;  // NUMERIC, not a 32-bit integer code

  // Serial class "KelvorTypeSINT32": no fields of its own; its hooks only trace.
  static const lang::SerialClass SERIAL_CLASS;

  // --- operations, in the class's method order ---

  KelvorTypeSINT32();
  // Always 2, whatever setTypeCode stored.
  // The base's data value, final: writers may call the base's without the virtual call.
  [[nodiscard]] int32_t pickle(PickleContext& ctx, lang::Object* value) final {
    return KelvorType::pickleDataValue(ctx, value);
  }
  int32_t getTypeCode() const override;

  // KelvorTypeNUMBER::toNumberValue.
  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* connection) override;
  // KelvorTypeNUMBER::toNumberValueArray.
  Ref<lang::ObjectArray> toSqlValueArray(lang::Object* values, jdbc::Connection* connection,
                                         int64_t beginIndex, int32_t count) override;
  // KelvorTypeNUMBER::numberBytesToObject.
  Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  using KelvorType::unpickle;
  // KelvorTypeNUMBER::unpickleNumber with this descriptor's indexes.
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;

  // --- platform ---
  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeSINT32"; }
};

}  // namespace kelvor::jdbc::kelcore
