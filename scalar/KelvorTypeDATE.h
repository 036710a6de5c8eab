// Descriptor of a DATE attribute or element: a calendar date with a time of day to the second.
// Its central task is turning the native date structure of a linear image into the seven-byte
// form that DateValue holds; it also converts driver values into DateValues and delivers read
// values in the caller's style. Writing into a pickled image is the base's pickle.
//
// Native date structure (8 bytes), at the attribute's offset in the first linear form, after
// a one-byte indicator (bit 0 set: null) in the second:
//   date := year(2) month(1) day(1) hour(1) minute(1) second(1) unused(1)
//   year is signed 16-bit, high byte first when the context's descriptorFlag is non-zero, low
//   byte first when it is 0 (the one number of a linear image that is not big-endian);
//   hour 0..23, minute and second 0..59.
// Seven-byte form built from it, each byte modulo 256:
//   year Y >= 0:  Y / 100 + 100, Y % 100 + 100      Y < 0, A = -Y:  100 - A / 100, 100 - A % 100
//   then month, day, hour + 1, minute + 1, second + 1
//
// Thread rule: immutable once its TDS entry is parsed, then shared between threads; the
// native layout is cached lock-free by the base.
#pragma once

#include <cstdint>

#include "driver/Trace.h"
#include "types/KelvorType.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc::kelcore {

class KelvorTypeDATE : public KelvorType {
 public:
  static constexpr int32_t TYPE_CODE = 91;  // the platform's SQL type code DATE
  // Result styles of toObject and unpickle.
  static constexpr int32_t STYLE_SQL_VALUE = 1;        // a DateValue
  static constexpr int32_t STYLE_PLATFORM_OBJECT = 2;  // the platform timestamp
  static constexpr int32_t STYLE_BYTES = 3;            // the seven-byte form itself
  static constexpr int32_t STYLE_SKIP = 9;             // step over, deliver null
  static constexpr int32_t ERR_CONVERSION = 59;        // with the offending value
  // The format descriptor entry of the native date structure.
  static constexpr int32_t DATE_FORMAT_ENTRY = 11;
  // Bytes of the native date structure in a linear image (the indicator not counted).
  static constexpr int32_t NATIVE_DATE_SIZE = 8;

  // The class's trace switch, 0 after class initialisation; no operation reads it.
  static inline TraceSwitch TRACE{0};

  // Serial class "KelvorTypeDATE": no fields of its own; its hooks only trace.
  static const lang::SerialClass SERIAL_CLASS;

  // --- operations, in the class's method order ---

  KelvorTypeDATE();
  explicit KelvorTypeDATE(int32_t typeCode);
  // Alignment mask at format descriptor entry 11 (fills the size too).
  int32_t getNativeAlignment(const lang::ByteArray* fd) override;
  // Native size at format descriptor entry 11.
  int32_t getNativeSize(const lang::ByteArray* fd) override;
  // Always 91, whatever the constructor or setTypeCode stored.
  // The base's data value, final: writers may call the base's without the virtual call.
  [[nodiscard]] int32_t pickle(PickleContext& ctx, lang::Object* value) final {
    return KelvorType::pickleDataValue(ctx, value);
  }
  int32_t getTypeCode() const override;

  // Null gives null; a DateValue is returned itself; anything else becomes a new DateValue
  // (DateValue::fromObject: a Timestamp, or "yyyy-mm-dd hh:mm:ss" text), whose failure is
  // raised as ERR_CONVERSION with the value. The connection is not read.
  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* connection) override;
  // Null gives null. An array of char arrays: each row in the slice read as text and
  // converted by toSqlValue. Any other object array: the base's element-by-element
  // conversion. Anything else: ERR_CONVERSION with the value. The slice is
  // KelvorType::sliceLength's. Element class of the result: SqlValue.
  Ref<lang::ObjectArray> toSqlValueArray(lang::Object* values, jdbc::Connection* connection,
                                         int64_t beginIndex, int32_t count) override;
  // Null or empty bytes give null in every style. STYLE_SQL_VALUE: a new DateValue over the
  // bytes (not a date: ERR_CONVERSION); STYLE_PLATFORM_OBJECT: the timestamp; STYLE_BYTES:
  // the same array. Another style: ERR_CONVERSION with the bytes.
  Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  using KelvorType::unpickle;
  // As the base reads a data value; a DateValue is made with its bytes in one allocation.
  Ref<lang::Object> unpickle(PickleContext& ctx, int8_t firstLengthByte, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // Final: object readers make this class's SQL values themselves (KelvorTypeADT).
  Ref<lang::Object> unpickle(PickleContext& ctx, int32_t style, const jdbc::TypeMap* typeMap) final;
  // One date of a linear image. Format 1: null by the indicator array (nothing consumed),
  // else the structure at the attribute's offset. Other formats: an indicator byte, then the
  // structure; a null still consumes it. STYLE_SKIP consumes the structure and gives null.
  // Otherwise the seven-byte form built from the structure, through toObject. Bytes 0..6
  // must lie inside the image (IndexOutOfBoundsException); the context ends 8 bytes on.
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;

  // --- platform ---
  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeDATE"; }
};

}  // namespace kelvor::jdbc::kelcore
