// Descriptor of one structured object type: an ordered list of attributes, each described by a
// child descriptor. The root of every descriptor tree built from a type descriptor segment
// (TDS): a top-level type is created by name, fetches its type information through the
// connection on first use, and parses its TDS into its attribute descriptors. Object types also
// occur inside other trees: embedded in the parent's TDS (opcode 39) or described out of line
// and attached by a fix-up (patched).
//
// TDS := skip(4) 26 version(1) skip(4) flag(1) 29 sb2(0) skip(4) attribute* (28 | 2A fix-ups)
// attribute := opcode operands             one descriptor per entry, numbered in parse order
//
// Thread rule: once parsed the tree is shared read-only. init, fetchTypeInfo, initNames, the
// name lookups, getTypeProperty, getAttributeOffsets, setConnection and getEffectiveType hold
// the descriptor's monitor; parsing runs under init's hold.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lang/Array.h"
#include "types/KelvorNamedType.h"

namespace kelvor::jdbc {
class ObjectValue;
}  // namespace kelvor::jdbc

namespace kelvor::jdbc::kelcore {

class KelvorTypeADT : public KelvorNamedType {
 public:
  // How the type is described.
  static constexpr int32_t TOPLEVEL_TYPE = 0;  // own TDS, fetched by name
  static constexpr int32_t EMBEDDED_TYPE = 1;  // inline in the parent's TDS (opcode 39)
  static constexpr int32_t PATCHED_TYPE = 2;   // out of line in the parent's TDS, by a fix-up

  // Modes of the whole-image readers: decode now, keep the image in the value, step over it.
  static constexpr int32_t MODE_DECODE = 1;
  static constexpr int32_t MODE_KEEP_IMAGE = 3;
  static constexpr int32_t MODE_SKIP = 9;
  // Result styles of the image readers: SQL values, or the platform's objects.
  static constexpr int32_t STYLE_SQL_VALUE = 1;
  static constexpr int32_t STYLE_PLATFORM_OBJECT = 2;

  // The platform's type code of structured types.
  static constexpr int32_t TYPE_CODE = 2002;

  static constexpr int8_t TDS_HEADER_MARK = 38;
  static constexpr int8_t TDS_ATTRIBUTES_MARK = 41;

  // TDS opcodes.
  static constexpr int32_t OPC_CHAR = 1;
  static constexpr int32_t OPC_DATE = 2;
  static constexpr int32_t OPC_NUMBER = 3;
  static constexpr int32_t OPC_NUMBER_8 = 4;
  static constexpr int32_t OPC_FLOAT = 5;
  static constexpr int32_t OPC_NUMBER_2 = 6;
  static constexpr int32_t OPC_VARCHAR = 7;
  static constexpr int32_t OPC_SINT32 = 8;
  static constexpr int32_t OPC_REF = 9;
  static constexpr int32_t OPC_RAW = 19;
  static constexpr int32_t OPC_UPT = 27;
  static constexpr int32_t OPC_COLLECTION = 28;
  static constexpr int32_t OPC_CLOB = 29;
  static constexpr int32_t OPC_BLOB = 30;
  static constexpr int32_t OPC_BFILE = 31;
  static constexpr int32_t OPC_EMBEDDED_OBJECT = 39;
  static constexpr int32_t OPC_END = 40;
  static constexpr int32_t OPC_END_PATCHES = 42;

  static const lang::SerialClass SERIAL_CLASS;
  static inline TraceSwitch TRACE{0};
  static inline TraceSwitch DUMP_TRACE{0};

  KelvorTypeADT();
  explicit KelvorTypeADT(const std::string& sqlName);
  KelvorTypeADT(const std::string& sqlName, jdbc::Connection* conn);
  KelvorTypeADT(const std::string& sqlName, jdbc::Connection* conn,
                Ref<lang::ByteArray> formatDescriptor);
  KelvorTypeADT(KelvorTypeADT* parent, int32_t index, jdbc::Connection* conn);
  KelvorTypeADT(KelvorTypeADT* parent, int32_t index, jdbc::Connection* conn,
                Ref<lang::ByteArray> formatDescriptor);
  KelvorTypeADT(Ref<lang::ByteArray> typeId, int32_t typeVersion, int32_t auxCount1,
                int32_t auxCount2, const std::string& sqlName);
  ~KelvorTypeADT() override;

  int32_t getTypeCode() const override;
  // A plain object type is written inline: an object type descriptor that is neither a
  // collection nor a UPT (both derive from it).
  static bool isPlainObjectType(const KelvorType* t) noexcept;

  // Fetches the type information and parses the TDS, once.
  void init(jdbc::Connection* conn);
  // Parses a whole TDS starting at offset; a descriptor already parsed returns at once.
  void parseTDS(Ref<lang::ByteArray> tds, int64_t offset);
  // Parses this type's attribute list from a reader positioned at it.
  void parseTDS(StreamInfo& reader) override;
  // Reads one opcode and builds its descriptor; null at the end of the list.
  Ref<KelvorType> parseAttribute(StreamInfo& reader);
  // The fix-up pass: parses the out-of-line descriptions queued since this type's list began.
  void applyPatches(StreamInfo& reader);
  // A type whose only attribute is a collection stands for that collection.
  Ref<KelvorTypeADT> getEffectiveType();

  // Attribute descriptors (lazy: init runs first when needed and a connection is set). The
  // attribute answers are virtual: a collection answers them for its single element.
  virtual Ref<lang::ObjectArray> getAttributeTypes();
  virtual Ref<KelvorType> getAttributeType(int32_t i);  // 0-based
  virtual int32_t getNumAttributes();

  // Names, 1-based; out of range: ERR_INTERNAL. Without fetch, names not yet fetched: nullopt.
  virtual std::string getAttributeName(int32_t i);
  virtual std::optional<std::string> getAttributeName(int32_t i, bool fetch);
  // "schema.type" of attribute i.
  virtual std::string getAttributeTypeName(int32_t i);
  virtual std::optional<std::string> getAttributeTypeName(int32_t i, bool fetch);
  virtual void initNames();
  void fetchTypeInfo(jdbc::Connection* conn);

  static void copyType(const KelvorTypeADT& from, KelvorTypeADT& to);
  static Ref<KelvorTypeADT> copyOf(const KelvorTypeADT& from);

  int32_t getTypeVersion();
  Ref<lang::ByteArray> getTypeId();
  int64_t getTypeProperty();
  // Offsets of the leaf slots of the linear image, relative to the object's start.
  Ref<lang::LongArray> getAttributeOffsets();
  int64_t getLinearImageSize() const;
  int32_t getMaxAlignment() const;
  int32_t getAuxCount1() const;
  int32_t getAuxCount2() const;
  int64_t getLinearImageSizeQuietly();
  Ref<lang::LongArray> getAttributeOffsetsQuietly();
  void setTypeProperty(int64_t typeProperty);
  bool isEmbedded() const;
  bool isTopLevel() const;
  void markEmbedded(int32_t ignored);
  void setEmbeddedState(int32_t state);

  Ref<jdbc::SqlValue> toSqlValue(lang::Object* value, jdbc::Connection* conn) override;
  Ref<lang::ObjectArray> toSqlValueArray(lang::Object* values, jdbc::Connection* conn,
                                         int64_t beginIndex, int32_t count) override;
  // The driver's object descriptor of this type, created on first use.
  Ref<lang::Object> getObjectDescriptor();
  void setConnection(jdbc::Connection* conn) override;
  void copyFrom(const KelvorTypeADT& other);

  // Local layout of embedded and patched types: fills linearImageSize, maxAlignment and
  // returns the leaf slot offsets.
  std::vector<int64_t> computeLayout();
  void computeAttributeOffsets();
  // Layout of a top-level type from the server's description.
  void readLayout(lang::InputStream& in);

  // --- object images ---
  //
  // image  := 84 01 length(5) attribute*        the length counts the whole image
  // attribute of a plain object type := its attributes inline, no header of its own;
  //   null: FD, or, as the first attribute of an inline first attribute, FC depth
  // other attribute := its descriptor's own form (data value, nested image), null: FF

  // Writes one complete object image of the value (an ObjectValue); returns its size. A
  // present inline object of a type without leaves (it would be written as no bytes, which
  // no reader can find) raises ERR_UNSUPPORTED with that object before anything is written.
  [[nodiscard]] int32_t pickle(PickleContext& ctx, lang::Object* value) override;
  // Writes the value's attributes inline, without a header; depth counts the levels of the
  // first-attribute chain above (0 for the outermost object).
  [[nodiscard]] int32_t pickleAttributes(PickleContext& ctx, lang::Object* value, int32_t depth);
  // For a writer of many values of one type (a collection's elements): whether this is a plain
  // object type whose attributes are each written as one data value, so that
  // pickleDataValueImage may stand in for pickle. False until the attribute list is published.
  bool writesDataValuesOnly() const noexcept;
  // pickle(ctx, value) of such a type, without the per-attribute dispatch.
  [[nodiscard]] int32_t pickleDataValueImage(PickleContext& ctx, lang::Object* value);
  // As count collection elements of such a type (null or object values), where
  // ctx.writesNestedObjectHeader(): each one's nested image's length field and
  // pickleDataValueImage's bytes, or FF, the same bytes and errors as the element type's pickle
  // writes them; before: the bytes the image holds already. Returns the bytes written.
  [[nodiscard]] int64_t pickleDataValueElements(PickleContext& ctx, const Ref<lang::Object>* values,
                                                int32_t count, int64_t before);
  // The image of the value, also stored into the value.
  Ref<lang::ByteArray> pickleToImage(lang::Object* value);
  Ref<lang::ByteArray> toImage(lang::Object* value) override;

  // Reads the image at offset (pickled or linear, by the byte found there) into target or a
  // new object value; style 1 keeps SQL values, 2 platform objects.
  Ref<lang::Object> fromImage(const lang::ByteArray* image, int64_t offset, lang::Object* target,
                              int32_t style, const jdbc::TypeMap* typeMap) override;
  using KelvorNamedType::fromImage;
  // One complete pickled object image. mode 1 decodes, 3 keeps the image in the value, 9 skips.
  Ref<lang::Object> unpickle(PickleContext& ctx, jdbc::SqlValue* target, int32_t mode,
                             int32_t style, const jdbc::TypeMap* typeMap);
  // One inline object attribute, read by its container's attribute loop.
  Ref<lang::Object> unpickle(PickleContext& ctx, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // One inline object whose first byte the caller has read.
  Ref<lang::Object> unpickle(PickleContext& ctx, int8_t first, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // The attributes of one inline object whose first byte (and depth) are read.
  Ref<jdbc::ObjectValue> unpickleAttributes(PickleContext& ctx, int8_t first, int32_t depth);
  // One complete linear image.
  Ref<lang::Object> unpickleLinear(UnpickleContext& ctx, jdbc::SqlValue* target, int32_t mode,
                                   int32_t style, const jdbc::TypeMap* typeMap);
  // One object's slots, read on a context that carries the null indicators and offsets.
  Ref<lang::Object> unpickleLinearBody(UnpickleContext& ctx, jdbc::SqlValue* target,
                                       int32_t style, const jdbc::TypeMap* typeMap);
  // An inline object inside a linear image.
  Ref<lang::Object> unpickle(UnpickleContext& ctx, int32_t format, int32_t style,
                             const jdbc::TypeMap* typeMap) override;
  // null indicators := skip(4) ub4 n, 2 unused bytes, then 2 bits per indicator, lowest first
  Ref<lang::BooleanArray> readNullIndicators(UnpickleContext& ctx);

  // Drops the driver descriptors held by this tree, so that a descriptor cache that is being
  // emptied leaves no cycle behind (a type with a REF to itself reaches its own descriptor).
  // Collections and UPTs also reach their element and attached types.
  virtual void dropDescriptorLinks();

  // Field access for tools and tests; none of these fetch.
  int32_t getEmbeddedState() const noexcept { return embeddedState_; }
  int32_t getLastOpcode() const noexcept { return lastOpcode_; }
  // The version as known so far: -1 until the type information is fetched (embedded and
  // patched types never fetch theirs).
  int32_t getKnownTypeVersion() const noexcept { return typeVersion_; }
  bool getHeaderFlag() const noexcept { return headerFlag_; }
  bool getFormatFlag() const noexcept { return formatFlag_; }
  void setFormatFlag(bool flag) noexcept { formatFlag_ = flag; }
  const Ref<lang::ByteArray>& getFormatDescriptorBytes() const noexcept {
    return formatDescriptor_;
  }
  // The attribute descriptors as parsed, without triggering a fetch; null before parsing.
  const Ref<lang::ObjectArray>& parsedAttributeTypes() const noexcept { return attributeTypes_; }
  // The attribute descriptors once getAttributeTypes has published them (from then on they
  // never change), borrowed from the type: no fetch, no reference count. Null before.
  const lang::ObjectArray* publishedAttributeTypes() const noexcept {
    return typesPublished_.load(std::memory_order_acquire) ? attributeTypes_.get() : nullptr;
  }
  int32_t getLayoutOffsetCount() const noexcept { return layoutOffsetCount_; }

  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorTypeADT"; }

  // Whether the attribute list is parsed (or restored from a serial form). A collection's
  // list is parsed when its own entry is, and holds no attribute descriptors.
  bool isParsed() const noexcept { return parsed_; }

 protected:
  // Parses a whole segment on a reader of its own, dropped on every exit; returns the bytes it
  // consumed. Fix-ups left unapplied after the outermost list: ERR_TDS_FORMAT.
  int64_t parseSegment(Ref<lang::ByteArray> tds, int64_t offset);
  // Drops the links of one descriptor of the tree, following object types down.
  static void dropDescriptorLinksOf(KelvorType* child);
  // Runs init when `missing` and a connection is set.
  void initIfNeeded(bool missing);
  // Bit 4 of the format descriptor byte d[5] + d[6] + 11.
  static bool computeFormatFlag(const lang::ByteArray* fd);

  // --- what the subclasses' parsers need ---
  // True while this descriptor parses a segment of its own (parseSegment runs on it), false
  // when it is parsed as an entry of another descriptor's list.
  bool parsingOwnSegment() const noexcept { return parsingOwnSegment_; }
  // Opens a list on the reader: takes the list's null index and offset position, and marks
  // where the fix-ups queued by this list begin (the fix-up pass takes only those).
  void beginList(StreamInfo& reader);
  // Records the end of a parse: the attribute descriptors (none for a collection) and the
  // parsed state.
  void markParsed(Ref<lang::ObjectArray> attributeTypes);
  void setLastOpcode(int32_t opcode) noexcept { lastOpcode_ = opcode; }
  // The "schema.type" names per attribute, as fetched; null until fetched.
  const Ref<lang::ObjectArray>& attributeTypeNames() const noexcept { return attributeTypeNames_; }
  void setAttributeTypeNames(Ref<lang::ObjectArray> names) { attributeTypeNames_ = std::move(names); }

 private:
  // The attributes of a value of a type that writesDataValuesOnly, as data values (the count
  // checked first); the bytes written.
  int64_t pickleDataValueBody(PickleContext& ctx, lang::Object* value);
  // pickleAttributes once the attribute values are known (null: none).
  int32_t pickleAttributeValues(PickleContext& ctx, lang::Object* value,
                                const lang::ObjectArray* values, int32_t depth);
  // Whether this is a plain object type, its attribute list published, whose attributes are
  // all of scalar kinds (no object, collection, UPT or other kind): writing one of its values
  // touches no other object value. Cached once known.
  bool writesScalarsOnly() noexcept;
  // Which fields a copy takes: the identity (names, connection, type information) that a
  // type hands on to the collection standing for it, or everything copyType takes.
  enum class CopyScope { IDENTITY, WHOLE };
  // The one list of the fields, with the scope that takes each.
  void copyFields(const KelvorTypeADT& from, CopyScope scope);

  int32_t embeddedState_ = TOPLEVEL_TYPE;
  int32_t typeVersion_ = -1;                 // -1 until known
  Ref<lang::ByteArray> layoutImage_;         // the server's layout description
  Ref<lang::LongArray> attributeOffsets_;    // leaf slot offsets, filled once
  // Layout caches: an embedded type's are also filled by its parent's layout pass (under the
  // parent's monitor), and read without a lock, so they are relaxed atomics.
  std::atomic<int64_t> linearImageSize_{-1};  // -1 until computed
  std::atomic<int32_t> maxAlignment_{-1};     // -1 until computed
  Ref<lang::ByteArray> tds_;                 // dropped once parsed
  Ref<lang::ObjectArray> attributeTypes_;    // KelvorType per attribute, set once parsed
  bool parsed_ = false;                      // attributeTypes_ is the parsed list
  Ref<lang::ObjectArray> attributeNames_;    // String per attribute, on demand
  Ref<lang::ObjectArray> attributeTypeNames_;  // "schema.type" per attribute
  int64_t typeProperty_ = 0;
  Ref<lang::ByteArray> typeId_;
  Ref<lang::ByteArray> formatDescriptor_;
  int32_t auxCount1_ = 0;
  int32_t auxCount2_ = 0;
  bool formatFlag_ = false;
  int32_t layoutOffsetCount_ = 0;            // offsets held in layoutImage_, from TDS bytes 8-9
  bool parsingOwnSegment_ = false;           // parseSegment runs on this descriptor
  int32_t lastOpcode_ = 0;                   // after the list: its end marker, 40 or 42
  bool headerFlag_ = false;                  // TDS flag byte was FF
  int32_t nextAttributeIndex_ = 1;           // 1-based index of the next parsed attribute
  bool typeInfoLoaded_ = false;
  int32_t patchBase_ = 0;                    // fix-ups queued before this list began
  // Set (release) once attributeTypes_ is known to be parsed; from then on it does not change
  // and getAttributeTypes reads it without the monitor.
  std::atomic<bool> typesPublished_{false};
  bool identityHandedOn_ = false;            // getEffectiveType copied into the collection
  int32_t inheritedDepth_ = 0;               // nesting depth of the segment that holds this one

  using NameList = Ref<lang::ObjectArray> KelvorTypeADT::*;
  // Name i (1-based) of one of the two name lists, fetching both when asked to.
  std::optional<std::string> nameAt(NameList which, int32_t i, bool fetch);
  void readSerialForm(lang::ObjectInputStream& in);
  void writeSerialForm(lang::ObjectOutputStream& out) const;
  // Whether an inline object type without leaves (whose present value is written as no bytes
  // at all, which no reader can find) is reached through this type's inline attributes.
  // Computed on the first write and kept; racing threads compute the same answer.
  bool reachesLeaflessInline();
  std::atomic<int8_t> leaflessInline_{0};  // 0 not yet known, 1 no, 2 yes
  std::atomic<int8_t> scalarsOnly_{0};      // writesScalarsOnly: 0 not yet known, 1 no, 2 yes
  static void serialReadHook(lang::Object& self, lang::ObjectInputStream& in);
  static void serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out);
};

}  // namespace kelvor::jdbc::kelcore
