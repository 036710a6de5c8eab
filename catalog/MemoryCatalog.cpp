#include "catalog/MemoryCatalog.h"

#include <string>
#include <string_view>
#include <utility>

#include "catalog/ArgumentCheck.h"
#include "catalog/LayoutWriter.h"
#include "catalog/TDSWriter.h"

namespace kelvor::catalog {
namespace {

using Kind = AttributeType::Kind;

std::string_view scalarWord(Kind kind) {
  switch (kind) {
    case Kind::NUMBER: return "NUMBER";
    case Kind::FLOAT: return "FLOAT";
    case Kind::SINT32: return "INTEGER";
    case Kind::DATE: return "DATE";
    case Kind::RAW: return "RAW";
    case Kind::CHAR: return "CHAR";
    case Kind::VARCHAR: return "VARCHAR";
    case Kind::BLOB: return "BLOB";
    case Kind::CLOB: return "CLOB";
    case Kind::BFILE: return "BFILE";
    default: break;  // named types are listed by their own names
  }
  return "";
}

// The dictionary row of one attribute (or a collection's element, which has no name): a named
// type's schema and name, or a scalar's word.
jdbc::MemoryConnection::AttributeRow rowOf(const std::string& name, const AttributeType& type) {
  if (const TypeDefinition* named = type.objectType() ? type.objectType() : type.collectionType()) {
    return {name, named->typeName(), named->schemaName()};
  }
  if (type.kind() == Kind::REF) {
    const std::string& target = type.refTarget();
    const size_t dot = target.find(TypeDefinition::NAME_SEPARATOR);
    return {name, target.substr(dot + 1), target.substr(0, dot)};
  }
  return {name, std::string(scalarWord(type.kind())), std::string(MemoryCatalog::SCALAR_SCHEMA)};
}

}  // namespace

// 16 bytes derived from the name (FNV-1a, then stepped), so that each type has its own id.
lang::Ref<lang::ByteArray> MemoryCatalog::typeIdOf(const std::string& name) {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : name) h = (h ^ static_cast<uint8_t>(c)) * 0x100000001b3ULL;
  auto id = lang::ByteArray::make(16);
  for (int32_t i = 0; i < 16; ++i) {
    (*id)[i] = static_cast<int8_t>(h >> (8 * (i % 8)));
    if (i == 7) h *= 0x9E3779B97F4A7C15ULL;
  }
  return id;
}

void MemoryCatalog::addToCatalog(jdbc::MemoryConnection& conn, const TypeDefinition& type,
                                 const lang::ByteArray& fd) {
  jdbc::MemoryConnection::TypeInfo info;
  // Every named type reached from this one resolves its own descriptor by name.
  const auto addNamed = [&](const AttributeType& t) {
    if (const TypeDefinition* embedded = t.objectType()) addToCatalog(conn, *embedded, fd);
    if (const TypeDefinition* collection = t.collectionType()) addToCatalog(conn, *collection, fd);
  };
  for (const TypeDefinition::Attribute& a : type.attributes()) {
    addNamed(a.type);
    info.attributes.push_back(rowOf(a.name, a.type));
  }
  if (const AttributeType* element = type.elementType()) addNamed(*element);
  info.tds = catalog::TDSWriter::write(type);
  info.typeId = typeIdOf(type.sqlName());
  info.version = type.version();
  if (const AttributeType* element = type.elementType()) {
    // A collection lists its element as its one row and has no layout description.
    info.attributes.push_back(rowOf("", *element));
  } else {
    info.layout = catalog::LayoutWriter::write(type, &fd);
  }
  conn.addType(type.sqlName(), std::move(info));
}

void MemoryCatalog::addWithFormat(jdbc::MemoryConnection& conn, const TypeDefinition& type) {
  if (!conn.getFormatDescriptor()) {
    conn.setFormatDescriptor(catalog::LayoutWriter::defaultFormatDescriptor());
  }
  addToCatalog(conn, type, *conn.getFormatDescriptor());
}

lang::Ref<jdbc::ObjectDescriptor> MemoryCatalog::registerType(jdbc::MemoryConnection& conn,
                                                             const TypeDefinition& type) {
  // An object descriptor would parse a collection's segment as an object type holding one
  // collection attribute.
  if (type.kind() != TypeDefinition::Kind::OBJECT) {
    raiseInvalidArgument("not an object type: " + type.sqlName());
  }
  addWithFormat(conn, type);
  return jdbc::ObjectDescriptor::createDescriptor(type.sqlName(), &conn);
}

lang::Ref<jdbc::ArrayDescriptor> MemoryCatalog::registerCollectionType(
    jdbc::MemoryConnection& conn, const TypeDefinition& type) {
  if (type.kind() != TypeDefinition::Kind::COLLECTION) {
    raiseInvalidArgument("not a collection type: " + type.sqlName());
  }
  addWithFormat(conn, type);
  return jdbc::ArrayDescriptor::createDescriptor(type.sqlName(), &conn);
}

}  // namespace kelvor::catalog
