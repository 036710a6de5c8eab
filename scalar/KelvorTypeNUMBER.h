// Descriptor of a NUMBER attribute or element. Moves a number's byte form (at most 21 bytes)
// between images, NumberValue and primitive arrays; never computes with the digits, which are
// NumberValue's. Its static operations are also the whole behaviour of the FLOAT and SINT32
// descriptors, and the collection readers call the two bulk paths directly.
//
// Fixed number slot (23 bytes), the second linear form and the fixed-slot bulk path:
//   slot := indicator(1) L(1) form(L) unused(21 - L)     indicator bit 0 set: null
// The 22 bytes after the indicator are the number slot that UnpickleContext::readNumberSlot
// consumes whole; in the first linear form that slot stands at the attribute's offset,
// without the indicator.
//
// One rule on every path, single reads and both bulk paths alike: L above 21 raises
// ERR_CONVERSION (the form would run into the next slot), and an empty form (L = 0, or a
// pickled data value of length 0) is a null: null as a single value, 0 in a primitive array.
//
// Thread rule: immutable once its TDS entry is parsed, then shared between threads; the
// native layout is cached lock-free by the base. The static operations keep no state.
#pragma once

#include <cstdint>

#include "types/KelvorType.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc {
class NumberValue;
}  // namespace kelvor::jdbc

namespace kelvor::jdbc::kelcore {

class KelvorTypeNUMBER : public KelvorType {
 public:
  // Result styles of toObject and unpickle.
  static constexpr int32_t STYLE_SQL_VALUE = 1;        // a NumberValue
  static constexpr int32_t STYLE_PLATFORM_OBJECT = 2;  // the platform decimal (lang::Decimal)
  static constexpr int32_t STYLE_BYTES = 3;            // the byte form itself
  static constexpr int32_t STYLE_SKIP = 9;             // step over, deliver null
  // Access kinds of the bulk paths: the element type of the primitive result array.
  static constexpr int32_t ACCESS_INT_ARRAY = 4;
  static constexpr int32_t ACCESS_DOUBLE_ARRAY = 5;
  static constexpr int32_t ACCESS_FLOAT_ARRAY = 6;
  static constexpr int32_t ACCESS_LONG_ARRAY = 7;
  static constexpr int32_t ACCESS_SHORT_ARRAY = 8;
  // Driver errors raised here.
  static constexpr int32_t ERR_UNSUPPORTED = 23;  // style or access kind
  static constexpr int32_t ERR_CONVERSION = 59;   // with the offending value
  // Bytes of one fixed number slot (indicator included) and of the number slot after it.
  static constexpr int32_t FIXED_NUMBER_STRIDE = 23;
  static constexpr int32_t FIXED_NUMBER_SIZE = 22;
  // The format descriptor entry of the native number form (FLOAT's too).
  static constexpr int32_t NUMBER_FORMAT_ENTRY = 12;

  // Serial class "KelvorTypeNUMBER": its hooks write and read scale, then precision.
  static const lang::SerialClass SERIAL_CLASS;

  // --- operations, in the class's method order ---

  // The type code stays the base's initial 0.
  KelvorTypeNUMBER();
  // The TDS parse uses 2 (NUMERIC), 3 (DECIMAL) and 8 (DOUBLE).
  explicit KelvorTypeNUMBER(int32_t typeCode);
  // Slices of short, int, long, float, double, byte and boolean arrays, and of arrays of char
  // arrays (each row read as text), as new NumberValues. Null gives null; another kind:
  // ERR_CONVERSION with the value. Element class of the result: NumberValue. The slice is
  // KelvorType::sliceLength's. The connection is not read.
  static Ref<lang::ObjectArray> primitiveArrayToNumberValues(lang::Object* value,
                                                             jdbc::Connection* connection,
                                                             int64_t beginIndex, int32_t count);
  // Alignment mask at format descriptor entry 12 (fills the size too).
  int32_t getNativeAlignment(const lang::ByteArray* fd) override;
  int32_t getPrecision() const;
  int32_t getScale() const;
  // Native size at format descriptor entry 12.
  int32_t getNativeSize(const lang::ByteArray* fd) override;
  // One number of a linear image. Format 1: null by the indicator array (nothing consumed),
  // else the slot at the attribute's offset. Other formats: an indicator byte, then the slot;
  // a null still consumes the slot. STYLE_SKIP consumes the slot and gives null. Otherwise
  // numberBytesToObject of the slot's form.
  static Ref<lang::Object> unpickleNumber(int32_t offsetIndex, int32_t nullIndex,
                                          UnpickleContext& ctx, int32_t format, int32_t style,
                                          const jdbc::TypeMap* typeMap);
  // Indexes from the reader, then precision and scale, one unsigned byte each.
  // The base's data value, final: writers may call the base's without the virtual call.
  [[nodiscard]] int32_t pickle(PickleContext& ctx, lang::Object* value) final {
    return KelvorType::pickleDataValue(ctx, value);
  }
  void parseTDS(StreamInfo& reader) override;

 private:
  // Serial hook: scale, then precision (trace line first when the serial switch is on).
  void readSerialForm(lang::ObjectInputStream& in);

 public:
  // toNumberValue.
  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* connection) override;
  // toNumberValueArray.
  Ref<lang::ObjectArray> toSqlValueArray(lang::Object* values, jdbc::Connection* connection,
                                         int64_t beginIndex, int32_t count) override;
  // Null gives null; a NumberValue is returned itself; anything else becomes a new
  // NumberValue (NumberValue::fromObject), whose failure is raised as ERR_CONVERSION with
  // the value. The connection is not read.
  static Ref<jdbc::NumberValue> toNumberValue(lang::Object* value, jdbc::Connection* connection);
  // An array of object references (other than an array of char arrays) element by element
  // through toNumberValue; anything else through primitiveArrayToNumberValues. Null gives
  // null; slice rules as there.
  static Ref<lang::ObjectArray> toNumberValueArray(lang::Object* value,
                                                   jdbc::Connection* connection,
                                                   int64_t beginIndex, int32_t count);
  // Null or empty bytes give null in every style. STYLE_SQL_VALUE: a new NumberValue over the
  // bytes (a malformed form: ERR_CONVERSION); STYLE_PLATFORM_OBJECT: the decimal;
  // STYLE_BYTES: the same array. Another style: ERR_UNSUPPORTED.
  static Ref<lang::Object> numberBytesToObject(Ref<lang::ByteArray> bytes, int32_t style,
                                               const jdbc::TypeMap* typeMap);
  // numberBytesToObject.
  Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // count fixed 23-byte slots, from slot beginIndex (1-based) after the context's position,
  // into a primitive array of the access kind; null slots give 0. The slots are read in
  // place, each form decoded without allocating; the context ends after the last slot read.
  // When count > 0 the skip to slot beginIndex comes first. Then, before the result is
  // allocated: the access kind (ERR_UNSUPPORTED), a negative count
  // (NegativeArraySizeException), and all count slots inside the image
  // (IndexOutOfBoundsException). count 0 reads and moves nothing. A form that the element
  // type cannot hold, that is not a number, or a length byte above 21: ERR_CONVERSION.
  static Ref<lang::Object> unpickleFixedNumberArray(UnpickleContext& ctx, int64_t beginIndex,
                                                    int32_t count, int32_t accessKind);
  using KelvorType::unpickle;
  // As the base reads a data value; a NumberValue is made with its bytes in one allocation.
  Ref<lang::Object> unpickle(PickleContext& ctx, int8_t firstLengthByte, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // Final: object readers make this class's SQL values themselves (KelvorTypeADT).
  Ref<lang::Object> unpickle(PickleContext& ctx, int32_t style,
                             const jdbc::TypeMap* typeMap) final;
  // unpickleNumber with this descriptor's indexes.
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // count data values of a pickled image, after skipping beginIndex - 1 of them (only when
  // count > 0), into a primitive array of the access kind; null values give 0. Each value is
  // decoded in place, without allocating. Checks before the result is allocated: the access
  // kind (ERR_UNSUPPORTED), a negative count (NegativeArraySizeException), a count above the
  // bytes that remain (every value takes at least one byte: IndexOutOfBoundsException).
  // count 0 reads and moves nothing. A value running past the image:
  // IndexOutOfBoundsException, the context left after that value's length field.
  static Ref<lang::Object> unpickleNumberArray(PickleContext& ctx, int64_t beginIndex,
                                               int32_t count, int32_t accessKind);

  // The longest byte form of a whole number of 64 bits: header, 10 pairs.
  static constexpr int32_t MAX_WHOLE_FORM = 12;
  // The byte form of a whole number, the very bytes a NumberValue made from it holds, into
  // out (MAX_WHOLE_FORM bytes); returns its length. Never allocates.
  static int32_t wholeNumberForm(int64_t value, int8_t* out) noexcept;
  // The mirror of unpickleNumberArray: the elements of a short, int or long array written as
  // data values, encoded straight into the context's stream. Returns the bytes written, or
  // -1 (nothing written) when the object is no such array.
  static int64_t pickleWholeNumbers(PickleContext& ctx, const lang::Object& array);

 private:
  // Serial hook: scale, then precision.
  void writeSerialForm(lang::ObjectOutputStream& out) const;

 public:
  // --- platform ---
  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeNUMBER"; }

 private:
  static void serialReadHook(lang::Object& self, lang::ObjectInputStream& in);
  static void serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out);

  int32_t precision_ = 0;  // declared precision, 0..255
  int32_t scale_ = 0;      // declared scale, 0..255
};

}  // namespace kelvor::jdbc::kelcore
