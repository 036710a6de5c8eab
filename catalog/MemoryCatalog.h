// Puts type definitions into an in-memory connection's catalog, as a server would hold them:
// the TDS, the linear layout description for the connection's format descriptor, a type id
// derived from the name, and the dictionary rows of the attributes. Embedded object types,
// collection types of attributes and object or collection types of elements are registered
// under their own names too, so that their values resolve their descriptors. A collection
// type gets its TDS, id and its element as the one dictionary row, no layout.
#pragma once

#include "catalog/TypeDefinition.h"
#include "driver/ArrayDescriptor.h"
#include "driver/MemoryConnection.h"
#include "driver/ObjectDescriptor.h"
#include "lang/Ref.h"

namespace kelvor::catalog {

class MemoryCatalog {
 public:
  // Scalar attribute types are listed in the dictionary under this schema.
  static constexpr const char* SCALAR_SCHEMA = "BUILTIN";

  // Registers the object type (and its embedded types) with the connection's format
  // descriptor, giving the connection the default one first when it has none; returns the
  // type's descriptor, created by name through the connection. A collection type:
  // ERR_INVALID_ARGUMENT.
  static lang::Ref<jdbc::ObjectDescriptor> registerType(jdbc::MemoryConnection& conn,
                                                        const TypeDefinition& type);
  // The same for a collection type; an object type: ERR_INVALID_ARGUMENT.
  static lang::Ref<jdbc::ArrayDescriptor> registerCollectionType(jdbc::MemoryConnection& conn,
                                                                 const TypeDefinition& type);
  // Registers without creating the descriptor, with the given format descriptor's layout.
  static void addToCatalog(jdbc::MemoryConnection& conn, const TypeDefinition& type,
                           const lang::ByteArray& formatDescriptor);
  // 16 bytes derived from the name, so that each type has its own id.
  static lang::Ref<lang::ByteArray> typeIdOf(const std::string& name);

 private:
  static void addWithFormat(jdbc::MemoryConnection& conn, const TypeDefinition& type);
};

}  // namespace kelvor::catalog
