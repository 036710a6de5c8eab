// Descriptor of an attribute (or collection element) whose type is a user-defined type that the
// enclosing TDS describes out of line: the entry holds only a position and a type byte, and the
// object or collection descriptor parsed at that position is attached by the fix-up pass. From
// then on the UPT stands in for it: it answers the type code its type byte selects, forwards
// conversions and attribute questions, and writes and reads its value as a nested image.
//
// TDS entry (after opcode 27) := position(UB4) typeByte(1)
//   typeByte FA: an object type, FB: a collection type; position: relative to the TDS start
// pickled value := FF                                   null
//               |  FE be32(n) nested-image(n)           always the 5-byte length form
// linear value, inline (format 2) := indicator(1) ...   bit 0 of the indicator: null; then
//   4 bytes (object) or 2 bytes (collection) are stepped over
// linear value, slotted (format 1) := ub4 offset -> collection linear image (collections only)
//
// Thread rule: no lock of its own. Complete and read-only once the fix-up has attached its
// type, apart from setConnection; the attached descriptor locks as it does on its own.
#pragma once

#include <cstdint>
#include <string>

#include "adt/KelvorTypeADT.h"

namespace kelvor::jdbc {
class ArrayDescriptor;
class ObjectDescriptor;
}  // namespace kelvor::jdbc

namespace kelvor::jdbc::kelcore {

class KelvorTypeUPT : public KelvorTypeADT {
 public:
  // Type bytes of the TDS entry, taken unsigned.
  static constexpr int32_t UPT_OBJECT = 250;      // 0xFA
  static constexpr int32_t UPT_COLLECTION = 251;  // 0xFB
  // Type codes the two type bytes stand for.
  static constexpr int32_t OBJECT_TYPE_CODE = 2002;
  static constexpr int32_t COLLECTION_TYPE_CODE = 2003;
  // Linear layouts: 1 slotted (a UB4 offset in the object's slot), 2 inline.
  static constexpr int32_t FORMAT_SLOTTED = 1;
  static constexpr int32_t FORMAT_INLINE = 2;

  static const lang::SerialClass SERIAL_CLASS;
  static inline TraceSwitch TRACE{0};

  KelvorTypeUPT();
  KelvorTypeUPT(const std::string& sqlName, jdbc::Connection* conn);
  KelvorTypeUPT(KelvorTypeADT* parent, int32_t parentIndex, jdbc::Connection* conn);
  ~KelvorTypeUPT() override;

  // The driver's descriptors of the attached type: by name when the name is known, else
  // around the attached descriptor. Nothing is cached. An attached type of the other kind:
  // ClassCastException.
  virtual Ref<jdbc::ObjectDescriptor> newObjectDescriptor();
  virtual Ref<jdbc::ArrayDescriptor> newCollectionDescriptor();

  Ref<KelvorType> getAttributeType(int32_t i) override;
  int32_t getNumAttributes() override;
  void dropDescriptorLinks() override;
  // The attached descriptor; null before the fix-up pass.
  virtual const Ref<KelvorTypeADT>& getObjectType() const noexcept { return objectType_; }
  // 2002 for FA, 2003 for FB; any other type byte: ERR_INTERNAL.
  int32_t getTypeCode() const override;
  // Takes a null index and an offset index, reads the position and the type byte, and queues
  // the KIND_OBJECT_TYPE fix-up. The object type's list parser is not run.
  void parseTDS(StreamInfo& reader) override;
  using KelvorTypeADT::parseTDS;
  // Null: FF, 1 byte. Otherwise FE be32(n) and the attached type's nested image of n bytes;
  // returns n + 5.
  // Final: pickleElements writes elements as it does.
  [[nodiscard]] int32_t pickle(PickleContext& ctx, lang::Object* value) final;
  // The elements of a collection of this type: each of values[0 .. count-1] as pickle writes
  // it, with one nesting level taken for the whole run (at the first present element) rather
  // than one per element. `before` bytes of the image are written already: once the image
  // passes 2^31-1 bytes, ERR_VALUE_TOO_LONG. Returns the bytes written.
  [[nodiscard]] int64_t pickleElements(PickleContext& ctx, const Ref<lang::Object>* values,
                                       int32_t count, int64_t before);
  void setConnection(jdbc::Connection* conn) override;
  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* conn) override;
  Ref<lang::ObjectArray> toSqlValueArray(lang::Object* values, jdbc::Connection* conn,
                                         int64_t beginIndex, int32_t count) override;
  using KelvorTypeADT::unpickle;
  // Linear layouts: format 1 (collections only), format 2 (inline).
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // A pickled value whose first length byte the caller has read.
  Ref<lang::Object> unpickle(PickleContext& ctx, int8_t firstLengthByte, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // A pickled value; FF gives null.
  Ref<lang::Object> unpickle(PickleContext& ctx, int32_t style,
                             const jdbc::TypeMap* typeMap) override;

  // The type byte as read from the TDS, 0..255; 0 before parsing.
  int32_t getTypeByte() const noexcept { return typeByte_; }
  // The fix-up's attachment (also used by tools that build trees by hand).
  void attachObjectType(Ref<KelvorTypeADT> type) { objectType_ = std::move(type); }

  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeUPT"; }

 private:
  // The nested image at the context's position (after its length).
  Ref<lang::Object> unpickleImage(PickleContext& ctx, int32_t style,
                                  const jdbc::TypeMap* typeMap);
  // The attached type, or NullPointerException before the fix-up.
  KelvorTypeADT& attached() const;
  // The attached type as a collection, or ERR_INTERNAL when it is none.
  KelvorTypeCOLLECTION& attachedCollection() const;
  // Reports the flag just read before an inline linear element (and, for a null, the bytes
  // stepped over after it) to the context's listener, if any.
  void reportElementFlag(UnpickleContext& ctx, int8_t flag, int32_t stepped);
  // The object reader of the pickled and inline linear layouts, by result style.
  template <typename Read>
  Ref<lang::Object> readObjectInStyle(int32_t style, const jdbc::TypeMap* typeMap, Read read);

  void readSerialForm(lang::ObjectInputStream& in);
  void writeSerialForm(lang::ObjectOutputStream& out) const;
  static void serialReadHook(lang::Object& self, lang::ObjectInputStream& in);
  static void serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out);

  int32_t typeByte_ = 0;          // FA object, FB collection, taken unsigned; 0 until parsed
  Ref<KelvorTypeADT> objectType_;  // the attached descriptor; null until the fix-up
};

}  // namespace kelvor::jdbc::kelcore
