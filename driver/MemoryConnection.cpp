#include "driver/MemoryConnection.h"

#include <optional>
#include <utility>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/ObjectDescriptor.h"

namespace kelvor::jdbc {
namespace {

using lang::Ref;

// Rows of the attribute-name query.
class MemoryResultSet final : public ResultSet {
 public:
  explicit MemoryResultSet(std::vector<MemoryConnection::AttributeRow> rows)
      : rows_(std::move(rows)) {}

  bool next() override {
    if (closed_ || row_ + 1 >= static_cast<int64_t>(rows_.size())) {
      row_ = static_cast<int64_t>(rows_.size());
      return false;
    }
    ++row_;
    return true;
  }
  int32_t getInt(int32_t column) override {
    if (column != 1) ErrorRaiser::raise(DriverException::ERR_INTERNAL, "not a number column");
    current();
    return static_cast<int32_t>(row_ + 1);
  }
  Ref<lang::String> getString(int32_t column) override {
    const MemoryConnection::AttributeRow& r = current();
    switch (column) {
      case 2: return lang::String::of(r.name);
      case 3: return lang::String::of(r.typeName);
      case 4: return lang::String::of(r.typeSchema);
      default: ErrorRaiser::raise(DriverException::ERR_INTERNAL, "not a text column");
    }
  }
  void close() override { closed_ = true; }

 private:
  const MemoryConnection::AttributeRow& current() const {
    if (closed_ || row_ < 0 || row_ >= static_cast<int64_t>(rows_.size())) {
      ErrorRaiser::raise(DriverException::ERR_INTERNAL, "no current row");
    }
    return rows_[static_cast<size_t>(row_)];
  }

  std::vector<MemoryConnection::AttributeRow> rows_;
  int64_t row_ = -1;
  bool closed_ = false;
};

// The type-information call and the attribute-name query, recognised by their texts.
class MemoryStatement final : public Statement {
 public:
  enum class Kind { TypeInfo, TypeInfoWithFormat, AttributeNames };

  MemoryStatement(MemoryConnection& connection, Kind kind) : connection_(connection), kind_(kind) {}

  void setString(int32_t index, const lang::String* value) override {
    checkIndex(index);
    inputs_[index] = value ? std::optional<std::string>(value->value()) : std::nullopt;
  }
  void registerOutParameter(int32_t index, int32_t sqlType) override {
    checkIndex(index);
    registered_[index] = sqlType;
  }
  void execute() override {
    if (kind_ == Kind::AttributeNames) ErrorRaiser::raise(DriverException::ERR_INTERNAL, "a query");
    std::lock_guard<std::recursive_mutex> hold(connection_.lock());
    connection_.countTypeInfoCall();
    const MemoryConnection::TypeInfo* info = connection_.findType(nameFrom(2, 3));
    ints_.clear();
    bytes_.clear();
    ints_[1] = info == nullptr ? 1 : 0;
    if (info != nullptr) {
      bytes_[4] = info->typeId;
      ints_[5] = info->version;
      bytes_[6] = info->tds;
      bytes_[7] = info->layout;
    }
    if (kind_ == Kind::TypeInfoWithFormat) {
      Ref<lang::ByteArray> fd = connection_.serverFormatDescriptor();
      ints_[8] = fd ? 0 : 1;
      bytes_[9] = fd;
    }
    executed_ = true;
  }
  Ref<ResultSet> executeQuery() override {
    if (kind_ != Kind::AttributeNames) ErrorRaiser::raise(DriverException::ERR_INTERNAL, "a call");
    std::lock_guard<std::recursive_mutex> hold(connection_.lock());
    connection_.countDictionaryQuery();
    const MemoryConnection::TypeInfo* info = connection_.findType(nameFrom(1, 2));
    return lang::makeRef<MemoryResultSet>(
        info ? info->attributes : std::vector<MemoryConnection::AttributeRow>{});
  }
  int32_t getInt(int32_t index) override {
    auto it = ints_.find(index);
    if (!executed_ || it == ints_.end() || registered_.count(index) == 0) {
      ErrorRaiser::raise(DriverException::ERR_INTERNAL, "output parameter not available");
    }
    return it->second;
  }
  int64_t getLong(int32_t index) override { return getInt(index); }
  Ref<lang::ByteArray> getBytes(int32_t index) override {
    auto it = bytes_.find(index);
    if (!executed_ || it == bytes_.end()) {
      ErrorRaiser::raise(DriverException::ERR_INTERNAL, "output parameter not available");
    }
    return it->second;
  }
  void close() override { executed_ = false; }

 private:
  static void checkIndex(int32_t index) {
    if (index < 1 || index > 9) ErrorRaiser::raise(DriverException::ERR_INTERNAL, "no such parameter");
  }
  std::string nameFrom(int32_t schemaIndex, int32_t typeIndex) const {
    const auto schema = inputs_.find(schemaIndex);
    const auto type = inputs_.find(typeIndex);
    const std::string typeName = (type != inputs_.end() && type->second) ? *type->second : "";
    if (schema == inputs_.end() || !schema->second) return typeName;
    return *schema->second + "." + typeName;
  }

  MemoryConnection& connection_;  // not owned: statements live within their connection
  Kind kind_;
  std::map<int32_t, std::optional<std::string>> inputs_;
  std::map<int32_t, int32_t> registered_;
  std::map<int32_t, int32_t> ints_;
  std::map<int32_t, Ref<lang::ByteArray>> bytes_;
  bool executed_ = false;
};

}  // namespace

MemoryConnection::MemoryConnection() = default;

MemoryConnection::~MemoryConnection() {
  // Trees reach descriptors (a REF to its own type reaches its own tree's descriptor): drop
  // those links so the cache's entries can go.
  for (auto& [name, descriptor] : descriptors_) {
    if (auto* od = dynamic_cast<ObjectDescriptor*>(descriptor.get())) {
      od->getKelvorType()->dropDescriptorLinks();
    } else if (auto* ad = dynamic_cast<ArrayDescriptor*>(descriptor.get())) {
      ad->getKelvorType()->dropDescriptorLinks();
    }
  }
}

void MemoryConnection::addType(const std::string& sqlName, TypeInfo info) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  catalog_[sqlName] = std::move(info);
}

void MemoryConnection::setServerFormatDescriptor(lang::Ref<lang::ByteArray> fd) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  serverFormatDescriptor_ = std::move(fd);
}

void MemoryConnection::setDbCharsetId(int16_t id) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  charsetId_ = id;
}

void MemoryConnection::setCharsetQueryFails(bool fails) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  charsetQueryFails_ = fails;
}

int32_t MemoryConnection::typeInfoCalls() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return typeInfoCalls_;
}

int32_t MemoryConnection::dictionaryQueries() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return dictionaryQueries_;
}

lang::Ref<Statement> MemoryConnection::prepareCall(const std::string& sql) {
  if (sql == TYPE_INFO_CALL) return lang::makeRef<MemoryStatement>(*this, MemoryStatement::Kind::TypeInfo);
  if (sql == TYPE_INFO_CALL_WITH_FORMAT) {
    return lang::makeRef<MemoryStatement>(*this, MemoryStatement::Kind::TypeInfoWithFormat);
  }
  ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED, "unknown call");
}

lang::Ref<Statement> MemoryConnection::prepareStatement(const std::string& sql) {
  if (sql == ATTRIBUTE_NAMES_QUERY) {
    return lang::makeRef<MemoryStatement>(*this, MemoryStatement::Kind::AttributeNames);
  }
  ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED, "unknown query");
}

lang::Ref<lang::Object> MemoryConnection::getDescriptor(const std::string& sqlName) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  auto it = descriptors_.find(sqlName);
  return it == descriptors_.end() ? nullptr : it->second;
}

void MemoryConnection::putDescriptor(const std::string& sqlName, lang::Ref<lang::Object> descriptor) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  descriptors_[sqlName] = std::move(descriptor);
}

lang::Ref<lang::ByteArray> MemoryConnection::getFormatDescriptor() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return formatDescriptor_;
}

void MemoryConnection::setFormatDescriptor(lang::Ref<lang::ByteArray> formatDescriptor) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  formatDescriptor_ = std::move(formatDescriptor);
}

bool MemoryConnection::getFormatFlag() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  const lang::ByteArray* d = formatDescriptor_.get();
  if (d == nullptr || d->length() < 7) return false;
  const int32_t k = ((*d)[5] & 0xFF) + ((*d)[6] & 0xFF) + 11;
  return k < d->length() && (((*d)[k] >> 4) & 1) != 0;
}

int64_t MemoryConnection::describeTypeProperty(const std::string& sqlName) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  const TypeInfo* info = findType(sqlName);
  return info == nullptr ? 0 : info->typeProperty;
}

int16_t MemoryConnection::getDbCharsetId() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (charsetQueryFails_) ErrorRaiser::raise(DriverException::ERR_INTERNAL, "character set query failed");
  return charsetId_;
}

const MemoryConnection::TypeInfo* MemoryConnection::findType(const std::string& sqlName) const {
  auto it = catalog_.find(sqlName);
  return it == catalog_.end() ? nullptr : &it->second;
}

lang::Ref<lang::ByteArray> MemoryConnection::serverFormatDescriptor() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return serverFormatDescriptor_;
}

void MemoryConnection::countTypeInfoCall() { ++typeInfoCalls_; }
void MemoryConnection::countDictionaryQuery() { ++dictionaryQueries_; }

}  // namespace kelvor::jdbc
