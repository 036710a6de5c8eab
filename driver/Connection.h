// The driver's connection, as the descriptors see it: the server call that returns a type's
// information, the dictionary query for attribute names, the descriptor cache by SQL name, the
// format descriptor and its flag, the type describer and the database character set.
//
// The texts of the call and the query are ours; a connection recognises them (the in-memory
// connection serves them from its catalog).
//
// Duty of every implementation: the descriptor cache makes cycles. A cached ObjectDescriptor
// or ArrayDescriptor holds its descriptor tree, and a tree can hold descriptors again (a REF to
// its own type reaches its own tree's descriptor), so the counts never drop to zero by
// themselves. When the connection is destroyed (or empties its cache) it must call
// dropDescriptorLinks() on the tree of every cached descriptor (getKelvorType()) before letting
// the entries go; a connection that does not leaks every self-referencing type it served.
#pragma once

#include <cstdint>
#include <string>

#include "driver/Statement.h"
#include "lang/Array.h"
#include "lang/Object.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {

class Connection : public lang::Object {
 public:
  // The type-information call. In: 2 schema, 3 type name. Out: 1 status (NUMERIC, 0 = found),
  // 4 type identifier (bytes), 5 type version (INTEGER), 6 TDS (bytes), 7 layout description
  // (bytes). The variant without a format descriptor also returns 8 format status (NUMERIC)
  // and 9 the format descriptor (bytes).
  static constexpr const char* TYPE_INFO_CALL =
      "call kelvor_type_info(?1 status, ?2 schema, ?3 type, ?4 toid, ?5 version, ?6 tds, "
      "?7 layout)";
  static constexpr const char* TYPE_INFO_CALL_WITH_FORMAT =
      "call kelvor_type_info(?1 status, ?2 schema, ?3 type, ?4 toid, ?5 version, ?6 tds, "
      "?7 layout, ?8 format_status, ?9 format)";
  // The dictionary query. In: 1 schema, 2 type name. Rows: 1 position, 2 attribute name,
  // 3 attribute type name, 4 attribute type schema, in position order.
  static constexpr const char* ATTRIBUTE_NAMES_QUERY =
      "select position, name, type_name, type_schema from kelvor_type_attributes "
      "where schema = ?1 and type = ?2 order by position";

  virtual lang::Ref<Statement> prepareCall(const std::string& sql) = 0;
  virtual lang::Ref<Statement> prepareStatement(const std::string& sql) = 0;

  // The descriptor cache: the driver's descriptor of a type by SQL name, or null. Its entries'
  // trees must have their descriptor links dropped when the cache goes (see above).
  virtual lang::Ref<lang::Object> getDescriptor(const std::string& sqlName) = 0;
  virtual void putDescriptor(const std::string& sqlName, lang::Ref<lang::Object> descriptor) = 0;

  // The platform format descriptor; null until the server has sent one.
  virtual lang::Ref<lang::ByteArray> getFormatDescriptor() = 0;
  virtual void setFormatDescriptor(lang::Ref<lang::ByteArray> formatDescriptor) = 0;
  // Bit 4 of the format descriptor's byte d[5] + d[6] + 11 (false without a descriptor).
  virtual bool getFormatFlag() = 0;

  // The type describer: the 64-bit property of a type.
  virtual int64_t describeTypeProperty(const std::string& sqlName) = 0;
  // The database character set id (an IANA MIBenum number). May raise a DriverException.
  virtual int16_t getDbCharsetId() = 0;

  const char* className() const noexcept override { return "Connection"; }
};

}  // namespace kelvor::jdbc
