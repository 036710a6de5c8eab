// Descriptor of a character attribute or element: fixed-length (type code 1, TDS opcode 1) or
// variable-length (type code 12, opcode 7) character data. Knows the declared maximum length
// and the character set form of the column, converts values into CharValue, re-encodes a value
// into the connection's database character set and checks its length before writing it, and
// builds character values from image bytes on reading.
//
// TDS entry after the base part := maxLength SB2, charsetForm UB1, charsetId SB2
// Character value in an image:
//   pickled image        := length(n) bytes(n), bytes in the database character set
//   linear, first form   := slot: rel(4) pad(2); rel 0: be32(n) bytes(n) follow the 6-byte
//                           slot, else they lie at the object's base + rel. Null when the
//                           object's null indicator says so
//   linear, other forms  := flag(1) be32(n) bytes(n); flag bit 0 set: null, and 4 bytes follow
//
// Serial form := charsetForm int, charsetId int, maxLength int, connCharsetId short. Neither
// the connection nor the converter is written: the converter is obtained again from
// connCharsetId when the form is read, and the connection is absent until setConnection.
//
// Thread rule: filled by a constructor and parseTDS (or a serial read) on one thread, then
// shared read-only. setConnection may come from any thread: it takes the descriptor's lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>

#include "driver/CharValue.h"
#include "driver/CharsetConverter.h"
#include "driver/Trace.h"
#include "lang/Serializable.h"
#include "types/KelvorType.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc::kelcore {

class KelvorTypeCHAR final : public KelvorType {
 public:
  static constexpr int32_t STYLE_SQL_VALUE = 1;
  static constexpr int32_t STYLE_PLATFORM_OBJECT = 2;
  static constexpr int32_t STYLE_BYTES = 3;

  // Serial class "KelvorTypeCHAR": its hooks write and read the four integer fields.
  static const lang::SerialClass SERIAL_CLASS;

  // When on, the failures that are absorbed (the connection not telling its character set,
  // a conversion that fails) are traced, and so is a set we cannot convert into.
  static inline TraceSwitch DEBUG_TRACE{0};

  // Base construction only: no connection, no converter, every field 0.
  KelvorTypeCHAR();
  // Asks the connection for its database character set (-1 when it raises, or when there is
  // no connection) and takes the converter of that set; a set we cannot convert has one too,
  // which refuses every conversion into it.
  explicit KelvorTypeCHAR(jdbc::Connection* conn);
  KelvorTypeCHAR(jdbc::Connection* conn, int32_t typeCode);
  ~KelvorTypeCHAR() override;

  // --- operations, in class order (the serial hooks are private, below) ---

  // Converts the slice of values that KelvorType::sliceLength describes. An array of character
  // arrays gives strings (a lone surrogate as U+FFFD); byte, short, int, long, float and double
  // arrays give their numbers' text. Null elements of an array of character arrays stay null.
  // Any other value raises ERR_CONVERSION with it; null gives null. The result's element class
  // is jdbc::CharValue.
  Ref<lang::ObjectArray> primitiveArrayToCharValues(lang::Object* values, jdbc::Connection* conn,
                                                    int64_t beginIndex, int32_t count);
  // The value itself when its set is the connection's or when it has no set; otherwise a new
  // value of its bytes converted into the connection's set.
  // A failed conversion is absorbed: the value itself is returned. Null: NullPointerException.
  Ref<jdbc::CharValue> convertToConnectionCharset(jdbc::CharValue* value);
  int32_t getMaxLength() const noexcept { return maxLength_; }
  int32_t getCharsetForm() const noexcept { return charsetForm_; }
  int32_t getCharsetId() const noexcept { return charsetId_; }
  // The base step, then the TDS entry above. A driver failure while it is read becomes
  // ERR_TDS_FORMAT; a TDS that ends early fails with IndexOutOfBoundsException.
  void parseTDS(StreamInfo& reader) override;
  // Writes a CharValue as one data value in the connection's character set and returns the
  // bytes written. The length checked against maxLength is the byte count of what is
  // written, in the connection's set: longer raises ERR_VALUE_TOO_LONG with this descriptor.
  // A value that cannot be converted into the connection's set raises ERR_CONVERSION with the
  // value rather than being written in a set the database would misread, and so does any
  // value of another set when the connection's set is one we cannot convert into (-1, the
  // set the connection did not name, included): an image never holds two encodings. A value
  // without a set is written as it is. Nothing is written when a check fails. Null: NullPointerException; not a CharValue: ClassCastException.
  [[nodiscard]] int32_t pickle(PickleContext& ctx, lang::Object* value) override;
  // pickle's common case, for a writer's attribute loop: the value itself when pickle would
  // write it as it is and no check fails (a CharValue without a set, in the connection's set,
  // or without bytes; no longer than the maximum), else null and pickle must decide.
  const jdbc::CharValue* writtenAsItIs(lang::Object* value) const noexcept {
    const auto* v = jdbc::SqlValue::as<jdbc::CharValue>(value);
    if (v == nullptr) return nullptr;
    const jdbc::CharsetConverter* own = v->characterSet();
    if (own != nullptr && converter_ && own->id() != connCharsetId_ && v->hasBytes()) {
      return nullptr;  // converted first
    }
    return v->getLength() <= maxLength_ ? v : nullptr;
  }
  // The descriptor's connection; the converter stays as it is.
  void setConnection(jdbc::Connection* conn) override;
  // Null gives null; a CharValue is itself; anything else CharValue::fromObject in the
  // connection's set (ERR_CONVERSION for what has no text form).
  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* conn) override;
  // Null gives null; an object array other than an array of character arrays goes to the
  // base; everything else to primitiveArrayToCharValues.
  Ref<lang::ObjectArray> toSqlValueArray(lang::Object* values, jdbc::Connection* conn,
                                         int64_t beginIndex, int32_t count) override;
  // Null or empty bytes give null. The value: charsetForm 1 in the connection's set, 2 to 5
  // without a set, any other form none. STYLE_SQL_VALUE: the value (null when none);
  // STYLE_PLATFORM_OBJECT: its text as a lang::String (null when none); STYLE_BYTES: the
  // bytes themselves; other styles ERR_CONVERSION with the bytes.
  Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  using KelvorType::unpickle;
  // As the base reads a data value; a CharValue is made with its bytes in one allocation; its text (STYLE_PLATFORM_OBJECT) is decoded
  // straight from the image.
  Ref<lang::Object> unpickle(PickleContext& ctx, int8_t firstLengthByte, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  Ref<lang::Object> unpickle(PickleContext& ctx, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // One value from a linear image (forms above); STYLE_SKIP steps over the slot and gives
  // null. In the first form the position ends after the slot when the value follows it
  // (rel 0), after the 4-byte rel when the value lies elsewhere.
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;

  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeCHAR"; }

 private:
  // Constructor set-up: connCharsetId_ and converter_ from the connection.
  void setUp(jdbc::Connection* conn);
  // converter_ for connCharsetId_ (every id has one).
  void takeConverter();
  // The value's bytes converted into the connection's set, as a new value; the conversion's
  // failure (ERR_CONVERSION) passes through. The caller has checked that a conversion is due.
  Ref<jdbc::CharValue> reencode(const jdbc::CharValue& value) const;
  // toObject of bytes that lie in the image (a span with null data: a null), for
  // STYLE_SQL_VALUE and STYLE_PLATFORM_OBJECT.
  Ref<lang::Object> valueOfSpan(std::span<const int8_t> bytes, int32_t style);
  // The value in the connection's set, or the value itself when no conversion is due.
  Ref<jdbc::CharValue> inConnectionCharset(jdbc::CharValue* value, bool absorbFailure);

  // Serial hooks: trace when KelvorType's serial switch is on, then the serial form above.
  void readSerialForm(lang::ObjectInputStream& in);
  void writeSerialForm(lang::ObjectOutputStream& out) const;
  static void serialReadHook(lang::Object& self, lang::ObjectInputStream& in);
  static void serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out);

  int32_t charsetForm_ = 0;    // character set form from the TDS: 1 database set, 2-5 national
  int32_t charsetId_ = 0;      // set id declared in the TDS; kept and saved, not used
  int32_t maxLength_ = 0;      // declared maximum length (signed 16-bit in the TDS)
  std::mutex connectionLock_;  // guards connection_
  jdbc::Connection* connection_ = nullptr;  // not owned (the connection outlives its descriptors); the connection of the descriptor; may be null
  int16_t connCharsetId_ = 0;  // the connection's database set; -1 when it did not tell
  Ref<jdbc::CharsetConverter> converter_;  // converter of connCharsetId_; null until set up
};

}  // namespace kelvor::jdbc::kelcore
