// A connection that serves type information and dictionary rows from a catalog held in
// memory: the stand-in server for tests and tools. It answers the type-information call and
// the attribute-name query by their texts, keeps the descriptor cache and the format
// descriptor, and reports a configurable database character set (UTF-8 by default).
//
// Thread rule: every operation holds the connection's lock; statements read the catalog under
// it. Destroying the connection empties its descriptor cache and drops the descriptor links of
// the cached trees, so that self-referencing types leave no cycle behind.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "driver/Connection.h"

namespace kelvor::jdbc {

class MemoryConnection final : public Connection {
 public:
  static constexpr int16_t UTF8_CHARSET_ID = 106;

  struct AttributeRow {
    std::string name;        // attribute name
    std::string typeName;    // the attribute type's name
    std::string typeSchema;  // the attribute type's schema
  };
  struct TypeInfo {
    lang::Ref<lang::ByteArray> tds;
    lang::Ref<lang::ByteArray> typeId;
    int32_t version = 1;
    lang::Ref<lang::ByteArray> layout;  // the linear layout description; may be null
    std::vector<AttributeRow> attributes;
    int64_t typeProperty = 1;
  };

  MemoryConnection();
  ~MemoryConnection() override;

  // Catalog: serves `info` for the SQL name (schema-qualified as "SCHEMA.TYPE").
  void addType(const std::string& sqlName, TypeInfo info);
  // The format descriptor the server hands out to a connection that has none yet; without
  // one the type-information call reports a failed format status.
  void setServerFormatDescriptor(lang::Ref<lang::ByteArray> fd);
  void setDbCharsetId(int16_t id);
  // When set, getDbCharsetId raises ERR_INTERNAL, as a failed server query would.
  void setCharsetQueryFails(bool fails);
  int32_t typeInfoCalls() const;
  int32_t dictionaryQueries() const;

  lang::Ref<Statement> prepareCall(const std::string& sql) override;
  lang::Ref<Statement> prepareStatement(const std::string& sql) override;
  lang::Ref<lang::Object> getDescriptor(const std::string& sqlName) override;
  void putDescriptor(const std::string& sqlName, lang::Ref<lang::Object> descriptor) override;
  lang::Ref<lang::ByteArray> getFormatDescriptor() override;
  void setFormatDescriptor(lang::Ref<lang::ByteArray> formatDescriptor) override;
  bool getFormatFlag() override;
  int64_t describeTypeProperty(const std::string& sqlName) override;
  int16_t getDbCharsetId() override;

  const char* className() const noexcept override { return "MemoryConnection"; }

  // For the statements: the catalog entry of a name, or null. Call with the lock held.
  const TypeInfo* findType(const std::string& sqlName) const;
  std::recursive_mutex& lock() const noexcept { return lock_; }
  lang::Ref<lang::ByteArray> serverFormatDescriptor() const;
  void countTypeInfoCall();
  void countDictionaryQuery();

 private:
  mutable std::recursive_mutex lock_;
  std::map<std::string, TypeInfo> catalog_;
  std::map<std::string, lang::Ref<lang::Object>> descriptors_;
  lang::Ref<lang::ByteArray> formatDescriptor_;
  lang::Ref<lang::ByteArray> serverFormatDescriptor_;
  int16_t charsetId_ = UTF8_CHARSET_ID;
  bool charsetQueryFails_ = false;
  int32_t typeInfoCalls_ = 0;
  int32_t dictionaryQueries_ = 0;
};

}  // namespace kelvor::jdbc
