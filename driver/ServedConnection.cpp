#include "driver/ServedConnection.h"

#include <string>
#include <utility>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/ResultSet.h"
#include "driver/Statement.h"

namespace kelvor::jdbc {

namespace {

using lang::Ref;

[[noreturn]] void internal(const char* message) {
  ErrorRaiser::raise(DriverException::ERR_INTERNAL, message);
}

Ref<lang::String> copyOf(const lang::String* value) {
  return value == nullptr ? nullptr : lang::String::of(value->value());
}

// The type-information call: its inputs are bound, then execute fetches.
class TypeInfoCall final : public Statement {
 public:
  TypeInfoCall(Ref<ServedConnection> conn, bool withFormat)
      : conn_(std::move(conn)), withFormat_(withFormat) {}

  void setString(int32_t index, const lang::String* value) override {
    if (index == 2) schema_ = copyOf(value);
    if (index == 3) type_ = copyOf(value);
  }
  void registerOutParameter(int32_t, int32_t) override {}
  void execute() override {
    ServedConnection::TypeInfo info;
    found_ = conn_->fetchTypeInfo(schema_.get(), type_.get(), withFormat_, info);
    info_ = std::move(info);
    executed_ = true;
  }
  Ref<ResultSet> executeQuery() override { internal("the type-information call is no query"); }
  int32_t getInt(int32_t index) override {
    requireExecuted();
    switch (index) {
      case 1:
        return found_ ? 0 : 1;
      case 5:
        return info_.version;
      case 8:
        return info_.format ? 0 : 1;
      default:
        break;
    }
    internal("no integer output at this index");
  }
  int64_t getLong(int32_t index) override { return getInt(index); }
  Ref<lang::ByteArray> getBytes(int32_t index) override {
    requireExecuted();
    switch (index) {
      case 4:
        return info_.typeId;
      case 6:
        return info_.tds;
      case 7:
        return info_.layout;
      case 9:
        return info_.format;
      default:
        break;
    }
    internal("no byte output at this index");
  }
  void close() override {}

 private:
  void requireExecuted() const {
    if (!executed_) internal("call not executed");
  }
  Ref<ServedConnection> conn_;
  bool withFormat_;
  bool executed_ = false;
  bool found_ = false;
  Ref<lang::String> schema_, type_;
  ServedConnection::TypeInfo info_;
};

// The attribute rows: position, name, type name, type schema.
class AttributeRows final : public ResultSet {
 public:
  explicit AttributeRows(std::vector<Ref<lang::String>> cells) : cells_(std::move(cells)) {}
  bool next() override {
    if (3 * (row_ + 1) > cells_.size()) return false;
    ++row_;
    return true;
  }
  int32_t getInt(int32_t column) override {
    if (column != 1 || row_ == 0) internal("no such column");
    return static_cast<int32_t>(row_);
  }
  Ref<lang::String> getString(int32_t column) override {
    if (column < 2 || column > 4 || row_ == 0) internal("no such column");
    return cells_[3 * (row_ - 1) + static_cast<size_t>(column - 2)];
  }
  void close() override {}

 private:
  std::vector<Ref<lang::String>> cells_;
  size_t row_ = 0;
};

class AttributeNamesQuery final : public Statement {
 public:
  explicit AttributeNamesQuery(Ref<ServedConnection> conn) : conn_(std::move(conn)) {}
  void setString(int32_t index, const lang::String* value) override {
    if (index == 1) schema_ = copyOf(value);
    if (index == 2) type_ = copyOf(value);
  }
  void registerOutParameter(int32_t, int32_t) override {}
  void execute() override { (void)executeQuery(); }
  Ref<ResultSet> executeQuery() override {
    return lang::makeRef<AttributeRows>(conn_->fetchAttributeNames(schema_.get(), type_.get()));
  }
  int32_t getInt(int32_t) override { internal("a query has no output parameters"); }
  int64_t getLong(int32_t) override { internal("a query has no output parameters"); }
  Ref<lang::ByteArray> getBytes(int32_t) override { internal("a query has no output parameters"); }
  void close() override {}

 private:
  Ref<ServedConnection> conn_;
  Ref<lang::String> schema_, type_;
};

}  // namespace

Ref<Statement> ServedConnection::prepareCall(const std::string& sql) {
  const bool withFormat = sql == TYPE_INFO_CALL_WITH_FORMAT;
  if (!withFormat && sql != TYPE_INFO_CALL) {
    ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED,
                       (std::string("call not served by ") + servedBy()).c_str());
  }
  return lang::makeRef<TypeInfoCall>(Ref<ServedConnection>(this), withFormat);
}

Ref<Statement> ServedConnection::prepareStatement(const std::string& sql) {
  if (sql != ATTRIBUTE_NAMES_QUERY) {
    ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED,
                       (std::string("query not served by ") + servedBy()).c_str());
  }
  return lang::makeRef<AttributeNamesQuery>(Ref<ServedConnection>(this));
}

}  // namespace kelvor::jdbc
