// Descriptor of a FLOAT attribute or element. Its values are database numbers in the NUMBER
// byte form, so every conversion and image read is KelvorTypeNUMBER's; its own are the type
// code it reports (6, FLOAT), its TDS entry (one operand byte, stepped over) and its native
// layout at format descriptor entry 12, the number's. The collection readers treat it as a
// number element type.
//
// Thread rule: immutable once its TDS entry is parsed, then shared between threads.
#pragma once

#include <cstdint>

#include "types/KelvorType.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc::kelcore {

class KelvorTypeFLOAT : public KelvorType {
 public:
  static constexpr int32_t TYPE_CODE = 6;  // the platform's SQL type code FLOAT

  // Serial class "KelvorTypeFLOAT": no fields of its own; its hooks only trace.
  static const lang::SerialClass SERIAL_CLASS;

  // --- operations, in the class's method order ---

  KelvorTypeFLOAT();
  // Alignment mask at format descriptor entry 12 (fills the size too).
  int32_t getNativeAlignment(const lang::ByteArray* fd) override;
  // Native size at format descriptor entry 12.
  int32_t getNativeSize(const lang::ByteArray* fd) override;
  // Always 6, whatever setTypeCode stored.
  // The base's data value, final: writers may call the base's without the virtual call.
  [[nodiscard]] int32_t pickle(PickleContext& ctx, lang::Object* value) final {
    return KelvorType::pickleDataValue(ctx, value);
  }
  int32_t getTypeCode() const override;
  // Indexes from the reader, then one operand byte stepped over.
  void parseTDS(StreamInfo& reader) override;

  // KelvorTypeNUMBER::toNumberValue.
  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* connection) override;
  // KelvorTypeNUMBER::toNumberValueArray.
  Ref<lang::ObjectArray> toSqlValueArray(lang::Object* values, jdbc::Connection* connection,
                                         int64_t beginIndex, int32_t count) override;
  // KelvorTypeNUMBER::numberBytesToObject.
  Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // KelvorTypeNUMBER::unpickleFixedNumberArray.
  static Ref<lang::Object> unpickleFixedNumberArray(UnpickleContext& ctx, int64_t beginIndex,
                                                    int32_t count, int32_t accessKind);
  using KelvorType::unpickle;
  // KelvorTypeNUMBER::unpickleNumber with this descriptor's indexes.
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // KelvorTypeNUMBER::unpickleNumberArray.
  static Ref<lang::Object> unpickleNumberArray(PickleContext& ctx, int64_t beginIndex,
                                               int32_t count, int32_t accessKind);

  // --- platform ---
  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeFLOAT"; }
};

}  // namespace kelvor::jdbc::kelcore
