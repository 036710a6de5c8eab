// The type of one attribute of an object type definition: a scalar with its declared operands,
// a REF to a named object type, or an object type embedded inline. A small immutable value,
// cheap to copy (an embedded type is shared, never copied deeply); safe to share between
// threads once built.
//
// The factories check every operand against the width of the field that carries it in a type
// descriptor segment, so that each value they return can be encoded and parses back to the
// same operands. A value out of range raises DriverException ERR_INVALID_ARGUMENT.
//
// An attribute of a collection type (collectionAttribute) is written as a UPT entry that points
// at the collection's own segment. It has no kind of its own yet: kind() reports REF, whose
// linear slot (a UB4 offset to data elsewhere) it shares, so that the layout writer lays it out
// rightly; isCollection() tells it apart, and every writer here asks that first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kelvor::catalog {

class TypeDefinition;

class AttributeType {
 public:
  enum class Kind : uint8_t {
    NUMBER,
    FLOAT,
    SINT32,
    DATE,
    RAW,
    CHAR,
    VARCHAR,
    BLOB,
    CLOB,
    BFILE,
    REF,
    EMBEDDED_OBJECT,
  };

  // The three opcodes of a NUMBER entry; the parser gives them type codes 3, 8 and 2.
  enum class NumberOpcode : uint8_t { NUMBER = 3, NUMBER_8 = 4, NUMBER_2 = 6 };

  // Operand bounds: precision, scale and the FLOAT byte are unsigned bytes; lengths and
  // character set ids signed 16-bit numbers (lengths not negative); the character set form a
  // byte below 128.
  static constexpr int32_t MAX_UB1 = 255;
  static constexpr int32_t MAX_LENGTH = 32767;
  // Character set form 1 is the database character set, 2 the national one.
  static constexpr int32_t DEFAULT_CHARSET_FORM = 1;
  // UTF-8 (IANA MIBenum), the database character set of the stand-in connection.
  static constexpr int32_t DEFAULT_CHARSET_ID = 106;
  // The FLOAT entry's operand byte; the parser steps over it, so it is informational.
  static constexpr int32_t DEFAULT_FLOAT_PRECISION = 126;

  // precision and scale 0..255.
  static AttributeType numberType(int32_t precision, int32_t scale,
                                  NumberOpcode opcode = NumberOpcode::NUMBER);
  // precision 0..255.
  static AttributeType floatType(int32_t precision = DEFAULT_FLOAT_PRECISION);
  static AttributeType sint32Type();
  static AttributeType dateType();
  // maxLength 0..32767.
  static AttributeType rawType(int32_t maxLength);
  // maxLength 0..32767, charsetForm 0..127, charsetId -32768..32767.
  static AttributeType charType(int32_t maxLength, int32_t charsetForm = DEFAULT_CHARSET_FORM,
                                int32_t charsetId = DEFAULT_CHARSET_ID);
  static AttributeType varcharType(int32_t maxLength, int32_t charsetForm = DEFAULT_CHARSET_FORM,
                                   int32_t charsetId = DEFAULT_CHARSET_ID);
  static AttributeType blobType();
  static AttributeType clobType();
  static AttributeType bfileType();
  // A REF to the object type of that SQL name (non-empty); the TDS carries no name, the
  // catalog's dictionary does.
  static AttributeType refType(std::string targetSqlName);
  // An object type described inline. It must have at least one attribute: an inline object
  // without attributes has no first leaf, so its images cannot be read back.
  static AttributeType embeddedType(TypeDefinition definition);

  // An attribute (or element) of the collection type: a UPT entry with type byte FB. The
  // definition must be a collection type.
  static AttributeType collectionAttribute(TypeDefinition collection);

  Kind kind() const noexcept { return kind_; }
  // Whether this is a collection attribute; its kind() is then REF (see above).
  bool isCollection() const noexcept { return static_cast<bool>(collectionType_); }
  // The TDS opcode of the entry.
  int32_t opcode() const noexcept { return opcode_; }
  // NUMBER: precision and scale. FLOAT: the operand byte as precision, scale 0.
  int32_t precision() const noexcept { return precision_; }
  int32_t scale() const noexcept { return scale_; }
  // RAW, CHAR, VARCHAR.
  int32_t maxLength() const noexcept { return maxLength_; }
  // CHAR, VARCHAR.
  int32_t charsetForm() const noexcept { return charsetForm_; }
  int32_t charsetId() const noexcept { return charsetId_; }
  // REF: the referenced type's SQL name; empty for the other kinds.
  const std::string& refTarget() const noexcept { return refTarget_; }
  // EMBEDDED_OBJECT: the inline type; null for the other kinds.
  const TypeDefinition* objectType() const noexcept { return objectType_.get(); }
  // A collection attribute: its collection type; null for the other kinds.
  const TypeDefinition* collectionType() const noexcept { return collectionType_.get(); }

  // Leaf slots of the linear layout: 1 for a scalar or REF, the embedded type's own count for
  // an embedded object (which takes no slot of its own).
  int32_t leafSlotCount() const noexcept;
  // Object type levels below this attribute: 0, or the embedded type's own levels, or, for a
  // collection attribute, the levels the parser descends through its segment.
  int32_t nestingLevels() const noexcept;

 private:
  AttributeType(Kind kind, int32_t opcode) noexcept : kind_(kind), opcode_(opcode) {}
  static AttributeType characterType(Kind kind, int32_t opcode, int32_t maxLength,
                                     int32_t charsetForm, int32_t charsetId);

  Kind kind_;
  int32_t opcode_;             // TDS opcode
  int32_t precision_ = 0;      // NUMBER, FLOAT: 0..255
  int32_t scale_ = 0;          // NUMBER: 0..255
  int32_t maxLength_ = 0;      // RAW, CHAR, VARCHAR: 0..32767
  int32_t charsetForm_ = 0;    // CHAR, VARCHAR: 0..127
  int32_t charsetId_ = 0;      // CHAR, VARCHAR: a signed 16-bit number
  std::string refTarget_;      // REF: the referenced type's SQL name
  std::shared_ptr<const TypeDefinition> objectType_;  // EMBEDDED_OBJECT: shared, immutable
  std::shared_ptr<const TypeDefinition> collectionType_;  // collection attribute: shared
};

}  // namespace kelvor::catalog
