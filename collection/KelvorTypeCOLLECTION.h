// Descriptor of one collection type: an ordered, variable-length list of elements of one
// element type, bounded by a declared maximum (kind 3) or unbounded. A named type like an
// object type, so it extends KelvorTypeADT, but instead of attributes it holds exactly one
// element descriptor, attached by the TDS fix-up pass (or restored from the serial form).
// Writes collection values as pickled images and reads them back from pickled and linear
// images, whole or as slices, into ArrayValue.
//
// TDS entry (after opcode 28) := position(UB4) maxElements(UB4) kind(1)
//   position: where, relative to the TDS start, the element's entry stands; a fix-up
// Own TDS of a collection type := header 28 entry 42 element-entry
//
// pickled image := 88 01 len(5) 01 01 00 count element{count}  elements inline, null FF
//               |  90 01 len(5) length(n+1) 00 locator(n)      elements behind a locator
// linear image  := A(UB4) skip(2) U(UB4) p(1) prefix(U-1) [I(UB4) element-part]
//   A 0: null collection; bit 0 of p: the element part follows
// element part  := count(UB4) skip(1) element{count}    NUMBER, FLOAT, SINT32: 23-byte slots
//
// Thread rule: shared read-only once the fix-up has attached the element type. initNames,
// isInlineImage, setConnection and the fromImage readers hold the descriptor's monitor; the
// readers and writers that take a context do not lock (the context is the caller's).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "adt/KelvorTypeADT.h"

namespace kelvor::jdbc {
class ArrayDescriptor;
class ArrayValue;
}  // namespace kelvor::jdbc

namespace kelvor::jdbc::kelcore {

class KelvorTypeCOLLECTION : public KelvorTypeADT {
 public:
  // The platform's type code of collection types (ARRAY).
  static constexpr int32_t TYPE_CODE = 2003;
  // The kind byte of a bounded collection: writing more than maxElements elements fails.
  static constexpr int32_t KIND_BOUNDED = 3;
  // Element styles: 0 reads the count only; 1 SQL values and 2 platform objects (the object
  // type's); 4..8 primitive arrays (NUMBER and FLOAT elements); 9 steps over. The read modes
  // are the object type's.
  static constexpr int32_t STYLE_COUNT_ONLY = 0;

  static const lang::SerialClass SERIAL_CLASS;
  static inline TraceSwitch TRACE{0};

  // For the serial registry: restored fields follow.
  KelvorTypeCOLLECTION();
  // By name.
  KelvorTypeCOLLECTION(const std::string& sqlName, jdbc::Connection* conn);
  // As a child while the parent's TDS is parsed.
  KelvorTypeCOLLECTION(KelvorTypeADT* parent, int32_t index, jdbc::Connection* conn);
  ~KelvorTypeCOLLECTION() override;

  // The driver's array descriptor of this type, created on first use. A descriptor built
  // around this very tree is returned but not kept: the two would hold each other.
  Ref<lang::Object> getDescriptor() override;
  Ref<jdbc::ArrayDescriptor> getArrayDescriptor();

  // The element answers of the object type operations: no attribute descriptors, no attribute
  // names (ERR_INTERNAL); the element type's name at position 1 (else ERR_INVALID_ARGUMENT).
  Ref<KelvorType> getAttributeType(int32_t i) override;
  std::string getAttributeName(int32_t i) override;
  std::optional<std::string> getAttributeName(int32_t i, bool fetch) override;
  std::string getAttributeTypeName(int32_t i) override;
  std::optional<std::string> getAttributeTypeName(int32_t i, bool fetch) override;
  const Ref<KelvorType>& getElementType() const noexcept { return elementType_; }
  int64_t getMaxElements() const noexcept { return maxElements_; }
  int32_t getNumAttributes() override { return 0; }
  int32_t getTypeCode() const override;
  int32_t getCollectionKind() const noexcept { return collectionKind_; }
  // Fetches "schema.type" of the element type through the dictionary query; the catalog lists
  // the element as the collection type's one attribute row. No row: ERR_INTERNAL.
  void initNames() override;
  // Whether the image carries its elements inline (false for a locator or a null linear image).
  bool isInlineImage(const lang::ByteArray* image);
  // Reads the TDS entry after opcode 28 and queues the element fix-up; on the collection's own
  // segment, also the opcode, the end opcode and the fix-up pass.
  void parseTDS(StreamInfo& reader) override;
  using KelvorTypeADT::parseTDS;
  // The fix-up's attachment: the element descriptor and the opcode of its entry.
  void attachElementType(Ref<KelvorType> element, int8_t opcode);

  // Writes the value (an ArrayValue) as one complete pickled image; returns its length. A
  // bounded collection with more elements than its maximum: ERR_TOO_MANY_ELEMENTS before
  // anything is written.
  [[nodiscard]] int32_t pickle(PickleContext& ctx, lang::Object* value) override;
  Ref<lang::ByteArray> toImage(lang::Object* value) override;
  void setConnection(jdbc::Connection* conn) override;
  void dropDescriptorLinks() override;
  // Null: null; an ArrayValue: itself; anything else: a new ArrayValue converting it.
  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* conn) override;

  // --- reading ---
  using KelvorTypeADT::fromImage;
  Ref<lang::Object> fromImage(const lang::ByteArray* image, int64_t offset, lang::Object* target,
                              int32_t style, const jdbc::TypeMap* typeMap) override;
  Ref<lang::Object> fromImage(const lang::ByteArray* image, int64_t offset, lang::Object* target,
                              int64_t beginIndex, int32_t count, int32_t style,
                              const jdbc::TypeMap* typeMap) override;
  // Linear image at the context's position; null for a null collection.
  Ref<lang::Object> unpickleLinear(UnpickleContext& ctx, jdbc::SqlValue* target, int32_t mode,
                                   int32_t style, const jdbc::TypeMap* typeMap);
  Ref<lang::Object> unpickleLinear(UnpickleContext& ctx, jdbc::SqlValue* target,
                                   int64_t beginIndex, int32_t count, int32_t mode, int32_t style,
                                   const jdbc::TypeMap* typeMap);
  using KelvorTypeADT::unpickle;
  // An element part at the context's position, as a new value (format not read).
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // Pickled image at the context's position.
  Ref<lang::Object> unpickle(PickleContext& ctx, jdbc::SqlValue* target, int32_t mode,
                             int32_t style, const jdbc::TypeMap* typeMap);
  Ref<lang::Object> unpickle(PickleContext& ctx, jdbc::SqlValue* target, int64_t beginIndex,
                             int32_t count, int32_t mode, int32_t style,
                             const jdbc::TypeMap* typeMap);
  // A nested collection image standing as an attribute (FF: null); style 9 steps over it.
  Ref<lang::Object> unpickle(PickleContext& ctx, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // The same when the caller has read the image's first byte.
  Ref<lang::Object> unpickle(PickleContext& ctx, int8_t first, int32_t style,
                             const jdbc::TypeMap* typeMap) override;

  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeCOLLECTION"; }

 private:
  void readEntry(StreamInfo& reader);
  Ref<lang::Object> unpickleFrom(PickleContext& ctx, std::optional<int8_t> flags,
                                 jdbc::SqlValue* target, int64_t beginIndex, int32_t count,
                                 int32_t mode, int32_t style, const jdbc::TypeMap* typeMap);
  Ref<jdbc::ArrayValue> valueFor(jdbc::SqlValue* target);
  // True when inline elements follow; imageEnd is then the position after the image, as its
  // length field tells.
  bool readPickledHeader(PickleContext& ctx, std::optional<int8_t> flags,
                         jdbc::ArrayValue* value, int32_t mode, int64_t& imageEnd);
  void readPickledElements(PickleContext& ctx, jdbc::ArrayValue& target, int32_t style,
                           const jdbc::TypeMap* typeMap, int64_t imageEnd);
  void readPickledSlice(PickleContext& ctx, jdbc::ArrayValue& target, int64_t beginIndex,
                        int32_t count, int32_t style, const jdbc::TypeMap* typeMap,
                        int64_t imageEnd);
  void readPickledRange(PickleContext& ctx, jdbc::ArrayValue& target, int64_t beginIndex,
                        int32_t count, int32_t style, const jdbc::TypeMap* typeMap);
  // One element of a pickled image in the style (9 steps over it).
  Ref<lang::Object> readPickledElement(PickleContext& ctx, int32_t style,
                                       const jdbc::TypeMap* typeMap);
  Ref<jdbc::ArrayValue> readLinearElements(UnpickleContext& ctx, jdbc::ArrayValue* target,
                                           int32_t style, const jdbc::TypeMap* typeMap);
  Ref<jdbc::ArrayValue> readLinearSlice(UnpickleContext& ctx, jdbc::ArrayValue* target,
                                        int64_t beginIndex, int32_t count, int32_t style,
                                        const jdbc::TypeMap* typeMap);
  void readLinearRange(UnpickleContext& ctx, jdbc::ArrayValue& target, int64_t beginIndex,
                       int32_t count, int32_t style, const jdbc::TypeMap* typeMap);
  KelvorType& element() const;

  void readSerialForm(lang::ObjectInputStream& in);
  void writeSerialForm(lang::ObjectOutputStream& out) const;
  static void serialReadHook(lang::Object& self, lang::ObjectInputStream& in);
  static void serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out);

  int32_t collectionKind_ = 0;   // kind byte of the TDS entry, signed; 3 bounded
  int64_t maxElements_ = 0;      // declared maximum element count
  Ref<KelvorType> elementType_;  // set by the element fix-up or the serial form
};

}  // namespace kelvor::jdbc::kelcore
