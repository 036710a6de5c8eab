#include "catalog/AttributeType.h"

#include <utility>

#include "catalog/ArgumentCheck.h"
#include "catalog/TypeDefinition.h"

namespace kelvor::catalog {

namespace {

// TDS opcodes of the entries built here.
constexpr int32_t OPC_CHAR = 1;
constexpr int32_t OPC_DATE = 2;
constexpr int32_t OPC_FLOAT = 5;
constexpr int32_t OPC_VARCHAR = 7;
constexpr int32_t OPC_SINT32 = 8;
constexpr int32_t OPC_REF = 9;
constexpr int32_t OPC_RAW = 19;
constexpr int32_t OPC_UPT = 27;
constexpr int32_t OPC_CLOB = 29;
constexpr int32_t OPC_BLOB = 30;
constexpr int32_t OPC_BFILE = 31;
constexpr int32_t OPC_EMBEDDED_OBJECT = 39;

}  // namespace

AttributeType AttributeType::numberType(int32_t precision, int32_t scale, NumberOpcode opcode) {
  requireInRange("NUMBER precision", precision, 0, MAX_UB1);
  requireInRange("NUMBER scale", scale, 0, MAX_UB1);
  const auto code = static_cast<int32_t>(opcode);
  if (opcode != NumberOpcode::NUMBER && opcode != NumberOpcode::NUMBER_8 &&
      opcode != NumberOpcode::NUMBER_2) {
    raiseInvalidArgument("NUMBER opcode " + std::to_string(code) + " is not 3, 4 or 6");
  }
  AttributeType t(Kind::NUMBER, code);
  t.precision_ = precision;
  t.scale_ = scale;
  return t;
}

AttributeType AttributeType::floatType(int32_t precision) {
  requireInRange("FLOAT precision", precision, 0, MAX_UB1);
  AttributeType t(Kind::FLOAT, OPC_FLOAT);
  t.precision_ = precision;
  return t;
}

AttributeType AttributeType::sint32Type() { return {Kind::SINT32, OPC_SINT32}; }

AttributeType AttributeType::dateType() { return {Kind::DATE, OPC_DATE}; }

AttributeType AttributeType::rawType(int32_t maxLength) {
  // A length of 32768 or more would read back negative and refuse every value.
  requireInRange("RAW maximum length", maxLength, 0, MAX_LENGTH);
  AttributeType t(Kind::RAW, OPC_RAW);
  t.maxLength_ = maxLength;
  return t;
}

AttributeType AttributeType::characterType(Kind kind, int32_t opcode, int32_t maxLength,
                                           int32_t charsetForm, int32_t charsetId) {
  requireInRange("character maximum length", maxLength, 0, MAX_LENGTH);
  // One byte; kept below 128 so that it reads back alike whether taken signed or unsigned.
  requireInRange("character set form", charsetForm, 0, INT8_MAX);
  requireInRange("character set id", charsetId, INT16_MIN, INT16_MAX);
  AttributeType t(kind, opcode);
  t.maxLength_ = maxLength;
  t.charsetForm_ = charsetForm;
  t.charsetId_ = charsetId;
  return t;
}

AttributeType AttributeType::charType(int32_t maxLength, int32_t charsetForm,
                                      int32_t charsetId) {
  return characterType(Kind::CHAR, OPC_CHAR, maxLength, charsetForm, charsetId);
}

AttributeType AttributeType::varcharType(int32_t maxLength, int32_t charsetForm,
                                         int32_t charsetId) {
  return characterType(Kind::VARCHAR, OPC_VARCHAR, maxLength, charsetForm, charsetId);
}

AttributeType AttributeType::blobType() { return {Kind::BLOB, OPC_BLOB}; }

AttributeType AttributeType::clobType() { return {Kind::CLOB, OPC_CLOB}; }

AttributeType AttributeType::bfileType() { return {Kind::BFILE, OPC_BFILE}; }

AttributeType AttributeType::refType(std::string targetSqlName) {
  if (targetSqlName.empty()) raiseInvalidArgument("REF without a target type name");
  AttributeType t(Kind::REF, OPC_REF);
  t.refTarget_ = std::move(targetSqlName);
  return t;
}

AttributeType AttributeType::embeddedType(TypeDefinition definition) {
  if (definition.kind() != TypeDefinition::Kind::OBJECT) {
    raiseInvalidArgument("only an object type can be embedded: " + definition.sqlName());
  }
  if (definition.attributes().empty()) {
    raiseInvalidArgument("embedded object type without attributes: " + definition.sqlName());
  }
  AttributeType t(Kind::EMBEDDED_OBJECT, OPC_EMBEDDED_OBJECT);
  // A copy taken now and never changed again: a definition cannot come to contain itself.
  t.objectType_ = std::make_shared<const TypeDefinition>(std::move(definition));
  return t;
}

AttributeType AttributeType::collectionAttribute(TypeDefinition collection) {
  if (collection.kind() != TypeDefinition::Kind::COLLECTION) {
    raiseInvalidArgument("not a collection type: " + collection.sqlName());
  }
  // The REF kind stands for the slot only: a UB4 offset in the linear image.
  AttributeType t(Kind::REF, OPC_UPT);
  t.collectionType_ = std::make_shared<const TypeDefinition>(std::move(collection));
  return t;
}

int32_t AttributeType::leafSlotCount() const noexcept {
  // A UPT takes one null indicator and one offset, like a scalar.
  return objectType_ ? objectType_->leafSlotCount() : 1;
}

int32_t AttributeType::nestingLevels() const noexcept {
  if (objectType_) return objectType_->nestingLevels();
  // One fix-up level for the UPT, then the collection segment's own.
  if (collectionType_) return 1 + collectionType_->nestingLevels();
  return 0;
}

}  // namespace kelvor::catalog
