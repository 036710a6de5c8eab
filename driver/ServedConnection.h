// A connection whose type-information call and attribute-name query are served by two plain
// methods instead of a database: a connection that lives in a host or in a Java driver. The
// statements the descriptors prepare (their input indexes, their output indexes and statuses,
// the rows of the query) are written once here; a served connection only fetches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/Connection.h"
#include "lang/Array.h"
#include "lang/String.h"

namespace kelvor::jdbc {

class ServedConnection : public Connection {
 public:
  // What the type-information call returns for a known type.
  struct TypeInfo {
    lang::Ref<lang::ByteArray> typeId;
    int32_t version = 0;
    lang::Ref<lang::ByteArray> tds;
    lang::Ref<lang::ByteArray> layout;
    lang::Ref<lang::ByteArray> format;
  };

  // Only TYPE_INFO_CALL and TYPE_INFO_CALL_WITH_FORMAT are served (ERR_UNSUPPORTED otherwise).
  lang::Ref<Statement> prepareCall(const std::string& sql) final;
  // Only ATTRIBUTE_NAMES_QUERY is served (ERR_UNSUPPORTED otherwise).
  lang::Ref<Statement> prepareStatement(const std::string& sql) final;

  // Fills `info` for the type (either name may be null); false when the type is unknown.
  virtual bool fetchTypeInfo(const lang::String* schema, const lang::String* type, bool withFormat,
                             TypeInfo& info) = 0;
  // The type's attribute rows in position order, three cells a row: name, type name, type
  // schema.
  virtual std::vector<lang::Ref<lang::String>> fetchAttributeNames(const lang::String* schema,
                                                                   const lang::String* type) = 0;

 protected:
  // Who serves, for messages: "the host connection".
  virtual const char* servedBy() const noexcept = 0;
};

}  // namespace kelvor::jdbc
