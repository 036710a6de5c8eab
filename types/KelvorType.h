// Base of every type descriptor: one SQL type at one attribute or element position of a
// user-defined type. Holds the six integer properties every descriptor shares, answers the
// type-code and native-layout queries, takes its null and offset indexes while a TDS is parsed,
// writes and reads a scalar value as one data value of an image, converts arrays of values, and
// saves its fields through the object serial streams.
//
// Thread rule: built by one thread, then shared read-only. The one exception is the native
// size and alignment, cached lock-free at the first query; the two fields are atomics, the
// alignment is published before the size, so a thread that sees a size also sees its alignment.
//
// Subclasses overriding one unpickle overload should add `using KelvorType::unpickle;` so that
// the others stay visible.
#pragma once

#include <atomic>
#include <cstdint>

#include "driver/Trace.h"
#include "lang/Object.h"
#include "lang/Serializable.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc::kelcore {

// What a descriptor is, told without asking the runtime: set by each descriptor class's
// constructors and never changed afterwards. Other: a class outside the package's own.
enum class TypeKind : uint8_t {
  Other, Number, Float, Sint32, Date, Raw, Char, Blob, Clob, Bfile, Ref,
  PlainObject, Collection, Upt
};

class KelvorType : public lang::Object, public lang::Serializable {
 public:
  // Result style: read past the value and return null.
  static constexpr int32_t STYLE_SKIP = 9;
  // The format descriptor entry that gives the native size and alignment of the base class;
  // subclasses with another native form read another entry.
  static constexpr int32_t NATIVE_FORMAT_ENTRY = 5;

  // Serial class "KelvorType": abstract (no factory), no serialisable base; its hooks write and
  // read the six fields.
  static const lang::SerialClass SERIAL_CLASS;

  // Trace switches: conversions (toSqlValueArray) and the serial hooks. Off (0) by default.
  static inline TraceSwitch CONVERSION_TRACE{0};
  static inline TraceSwitch SERIAL_TRACE{0};

  KelvorType();
  explicit KelvorType(int32_t typeCode);
  ~KelvorType() override;

  // --- virtual operations, in dispatch order ---

  // Alignment mask of the native form, from the format descriptor at the first query (which
  // fills the size too). A size-0 entry is looked up again on every call.
  virtual int32_t getNativeAlignment(const lang::ByteArray* fd);
  virtual int32_t getAuxCode() const;
  // Native size in bytes, cached like the alignment.
  virtual int32_t getNativeSize(const lang::ByteArray* fd);
  virtual int32_t getTypeCode() const;
  // Takes nullIndex and offsetIndex from the reader's counters and advances both. Subclasses
  // call it first, then read their own bytes.
  virtual void parseTDS(StreamInfo& reader);
  // Writes the value, which must be a jdbc::SqlValue, as one data value: its length in the
  // length encoding, then its bytes. Returns the bytes written. Null value:
  // NullPointerException; another class: ClassCastException; a value whose reported length
  // differs from its byte count: ERR_INTERNAL before anything is written.
  [[nodiscard]] virtual int32_t pickle(PickleContext& ctx, lang::Object* value);
  // Reads the six fields in field order; writeFields writes them.
  virtual void readFields(lang::ObjectInputStream& in);
  // The base ignores the connection; descriptors that need it override this.
  virtual void setConnection(jdbc::Connection* connection);
  virtual void setAuxCode(int32_t auxCode);
  virtual void setTypeCode(int32_t typeCode);
  // The value as an SQL value of this type (null for null), or ERR_CONVERSION with the value.
  virtual Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* connection) = 0;
  // Converts the elements of an object array in the slice sliceLength describes. Null gives
  // null; a value that is not an object array: ERR_CONVERSION with the value. Element class of
  // the result: jdbc::SqlValue.
  virtual Ref<lang::ObjectArray> toSqlValueArray(lang::Object* values,
                                                 jdbc::Connection* connection,
                                                 int64_t beginIndex, int32_t count);
  // The bytes of one value as a result object of the style; the base returns null.
  virtual Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style,
                                     const jdbc::TypeMap* typeMap);
  // Reads one value from a linear image, using nullIndex and offsetIndex.
  virtual Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                                     const jdbc::TypeMap* typeMap) = 0;
  // Reads (or with STYLE_SKIP steps over) one data value whose first length byte the caller
  // has already read.
  virtual Ref<lang::Object> unpickle(PickleContext& ctx, int8_t firstLengthByte, int32_t style,
                                     const jdbc::TypeMap* typeMap);
  // Reads (or with STYLE_SKIP steps over) one data value; the null marker gives null.
  virtual Ref<lang::Object> unpickle(PickleContext& ctx, int32_t style,
                                     const jdbc::TypeMap* typeMap);
  virtual void writeFields(lang::ObjectOutputStream& out) const;

  // The descriptor's class, for dispatch on hot paths (checked once per attribute list or
  // array, not per element).
  TypeKind kind() const noexcept { return kind_; }

  // The base's pickle: the value (a jdbc::SqlValue) as one data value, whatever the class.
  [[nodiscard]] static int32_t pickleDataValue(PickleContext& ctx, lang::Object* value);
  // The elements of a collection whose element kind writes data values (writesDataValues):
  // each of values[0 .. count-1] as pickleDataValue writes it, a null as FF. `before` bytes of
  // the image are written already: once the image passes 2^31-1 bytes, ERR_VALUE_TOO_LONG
  // (after the element that passed it). Returns the bytes written.
  [[nodiscard]] static int64_t pickleDataValues(PickleContext& ctx, const Ref<lang::Object>* values,
                                                int32_t count, int64_t before);
  // Whether descriptors of the kind are written as the base's data value (see pickleByKind).
  static bool writesDataValues(TypeKind kind) noexcept {
    switch (kind) {
      case TypeKind::Number:
      case TypeKind::Float:
      case TypeKind::Sint32:
      case TypeKind::Date:
      case TypeKind::Blob:
      case TypeKind::Clob:
      case TypeKind::Bfile:
      case TypeKind::Ref:
        return true;
      default:
        return false;
    }
  }
  // pickle(ctx, value) for a writer's attribute or element loop: the kinds whose classes write
  // the base's data value (their pickle is the base's, or final and the base's) are written
  // without the virtual call.
  [[nodiscard]] int32_t pickleByKind(PickleContext& ctx, lang::Object* value) {
    return writesDataValues(kind_) ? pickleDataValue(ctx, value) : pickle(ctx, value);
  }

  // The indexes taken while the TDS was parsed (for readers, tools and tests).
  int32_t getNullIndex() const noexcept { return nullIndex_; }
  int32_t getOffsetIndex() const noexcept { return offsetIndex_; }

  // The element count of a slice of `length` elements, written once for every reader and
  // conversion: from beginIndex (1-based) on, count elements, never more than remain; none when
  // beginIndex lies past the end; beginIndex below 1: IndexOutOfBoundsException. The two forms
  // differ only in a count below -1. The 64-bit form, the collection image readers' rule and the
  // host's entry (KelvorTypeCOLLECTION.sliceLength), takes every negative count as "all"; the
  // 32-bit form, the array conversions' rule (toSqlValueArray and the descriptors' own), takes
  // only -1 as "all" and raises NegativeArraySizeException for any other negative count, as an
  // array of that many elements would.
  static int32_t sliceLength(int32_t length, int64_t beginIndex, int32_t count);
  static int64_t sliceLength(int64_t length, int64_t beginIndex, int32_t count);

  // --- platform ---
  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorType"; }

 protected:
  struct NativeLayout {
    int32_t size;       // bytes
    int32_t alignment;  // alignment mask
  };
  // The cached native layout, filled from format descriptor entry `entry` while the cached size
  // is 0 (size read first, then alignment). Lock-free: concurrent fills store equal values,
  // and the alignment is stored before the size is published. Subclasses whose native form
  // has its own entry override the two queries and call this with their entry.
  NativeLayout nativeLayout(const lang::ByteArray* fd, int32_t entry);
  // A child read back by a serial hook must not be an object whose own read is still in
  // progress: the tree would reach itself, and its operations would go round for ever.
  // StreamCorruptedException.
  static void refuseCycle(const lang::ObjectInputStream& in, const lang::Object* child);
  // The text of one row of an array of char arrays, for the descriptors that read such rows as
  // text: the string made from its chars. A null row: NullPointerException; a row of another
  // class: ClassCastException.
  static Ref<lang::String> textOfRow(const lang::Object* row);
  // Called by each descriptor class's constructors, the most derived one last.
  void setKind(TypeKind k) noexcept { kind_ = k; }

  // Indexes handed out by the TDS reader; an object type sets them its own way.
  int32_t nullIndex_ = 0;     // position of this value's null indicator in the enclosing image
  int32_t offsetIndex_ = 0;   // position in the linear image's offset table

 private:
  // The data value just read (bytes, null for FF) reported to the context's listener as the
  // field from `at` to the position, then converted.
  Ref<lang::Object> reportDataValue(PickleContext& ctx, int32_t at, Ref<lang::ByteArray> bytes,
                                    int32_t style, const jdbc::TypeMap* typeMap);

  // Serial hooks of SERIAL_CLASS: trace when the serial switch is on, then the six fields.
  void readSerialForm(lang::ObjectInputStream& in);
  void writeSerialForm(lang::ObjectOutputStream& out) const;
  static void serialReadHook(lang::Object& self, lang::ObjectInputStream& in);
  static void serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out);

  std::atomic<int32_t> nativeSize_{0};       // native size in bytes; 0 = not known yet
  std::atomic<int32_t> nativeAlignment_{0};  // native alignment mask, valid once size is set
  int32_t typeCode_ = 0;      // SQL type code
  int32_t auxCode_ = 0;       // kept, saved and restored; meaning is the driver's
  TypeKind kind_ = TypeKind::Other;
};

}  // namespace kelvor::jdbc::kelcore
