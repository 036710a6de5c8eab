#include "binding/HostConnection.h"

#include <mutex>
#include <vector>

#include "binding/LinkTable.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/ResultSet.h"
#include "driver/Statement.h"
#include "host/HostServices.h"
#include "lang/String.h"

namespace kelvor::binding {

namespace {

using lang::Ref;

// An object the host handed over (owned by the bridge or by the array holding it) as an A.
template <typename A>
Ref<A> as(lang::Object* o, const char* what) {
  if (o == nullptr) return nullptr;
  auto* a = dynamic_cast<A*>(o);
  if (a == nullptr) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL,
                             (std::string("host connection returned a wrong ") + what).c_str());
  }
  return Ref<A>(a);
}

template <typename A>
Ref<A> as(const Ref<lang::Object>& o, const char* what) {
  return as<A>(o.get(), what);
}

// The type-information call: its inputs are bound, then execute runs the host's typeInfo.
class HostTypeInfoCall final : public jdbc::Statement {
 public:
  HostTypeInfoCall(Ref<HostConnection> conn, bool withFormat)
      : conn_(std::move(conn)), withFormat_(withFormat) {}

  void setString(int32_t index, const lang::String* value) override {
    if (index == 2) schema_ = value == nullptr ? nullptr : lang::String::of(value->value());
    if (index == 3) type_ = value == nullptr ? nullptr : lang::String::of(value->value());
  }
  void registerOutParameter(int32_t, int32_t) override {}
  void execute() override {
    const Bridge b = conn_->bridge();
    const uint32_t schema = schema_ ? b.toHost(std::string_view(schema_->value())) : 0;
    const uint32_t type = type_ ? b.toHost(std::string_view(type_->value())) : 0;
    const auto ref = static_cast<uint32_t>(
        conn_->call(host::POOL_CONNECTION_TYPE_INFO, {schema, type, withFormat_ ? 1u : 0u}));
    executed_ = true;
    if (ref == 0) return;  // unknown type: status 1
    Ref<lang::ObjectArray> info =
        as<lang::ObjectArray>(conn_->bridge().object(ref), "type information");
    if (info->length() != 5) {
      jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL,
                               "host type information has the wrong length");
    }
    toid_ = as<lang::ByteArray>(info->at(0), "type identifier");
    Ref<lang::IntArray> version = as<lang::IntArray>(info->at(1), "type version");
    if (!version || version->length() != 1) {
      jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL,
                               "host type information without a version");
    }
    version_ = (*version)[0];
    tds_ = as<lang::ByteArray>(info->at(2), "type descriptor segment");
    layout_ = as<lang::ByteArray>(info->at(3), "layout description");
    format_ = as<lang::ByteArray>(info->at(4), "format descriptor");
    found_ = true;
  }
  Ref<jdbc::ResultSet> executeQuery() override {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL,
                             "the type-information call is no query");
  }
  int32_t getInt(int32_t index) override {
    requireExecuted();
    switch (index) {
      case 1:
        return found_ ? 0 : 1;
      case 5:
        return version_;
      case 8:
        return format_ ? 0 : 1;
      default:
        break;
    }
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL,
                             "no integer output at this index");
  }
  int64_t getLong(int32_t index) override { return getInt(index); }
  Ref<lang::ByteArray> getBytes(int32_t index) override {
    requireExecuted();
    switch (index) {
      case 4:
        return toid_;
      case 6:
        return tds_;
      case 7:
        return layout_;
      case 9:
        return format_;
      default:
        break;
    }
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL, "no byte output at this index");
  }
  void close() override {}

 private:
  void requireExecuted() const {
    if (!executed_)
      jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL, "call not executed");
  }
  Ref<HostConnection> conn_;
  bool withFormat_;
  bool executed_ = false;
  bool found_ = false;
  Ref<lang::String> schema_, type_;
  Ref<lang::ByteArray> toid_, tds_, layout_, format_;
  int32_t version_ = 0;
};

// The attribute rows: position, name, type name, type schema.
class HostRows final : public jdbc::ResultSet {
 public:
  explicit HostRows(Ref<lang::ObjectArray> cells) : cells_(std::move(cells)) {}
  bool next() override {
    if (cells_ == nullptr || 3 * (row_ + 1) > cells_->length()) return false;
    ++row_;
    return true;
  }
  int32_t getInt(int32_t column) override {
    if (column != 1 || row_ == 0)
      jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL, "no such column");
    return row_;
  }
  Ref<lang::String> getString(int32_t column) override {
    if (column < 2 || column > 4 || row_ == 0) {
      jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL, "no such column");
    }
    return as<lang::String>(cells_->at(3 * (row_ - 1) + column - 2), "attribute row");
  }
  void close() override {}

 private:
  Ref<lang::ObjectArray> cells_;
  int32_t row_ = 0;
};

class HostNamesQuery final : public jdbc::Statement {
 public:
  explicit HostNamesQuery(Ref<HostConnection> conn) : conn_(std::move(conn)) {}
  void setString(int32_t index, const lang::String* value) override {
    if (index == 1) schema_ = value == nullptr ? nullptr : lang::String::of(value->value());
    if (index == 2) type_ = value == nullptr ? nullptr : lang::String::of(value->value());
  }
  void registerOutParameter(int32_t, int32_t) override {}
  void execute() override { (void)executeQuery(); }
  Ref<jdbc::ResultSet> executeQuery() override {
    const Bridge b = conn_->bridge();
    const uint32_t schema = schema_ ? b.toHost(std::string_view(schema_->value())) : 0;
    const uint32_t type = type_ ? b.toHost(std::string_view(type_->value())) : 0;
    const auto ref =
        static_cast<uint32_t>(conn_->call(host::POOL_CONNECTION_ATTRIBUTE_NAMES, {schema, type}));
    return lang::makeRef<HostRows>(
        as<lang::ObjectArray>(conn_->bridge().object(ref), "attribute rows"));
  }
  int32_t getInt(int32_t) override { return noOutputs(); }
  int64_t getLong(int32_t) override { return noOutputs(); }
  Ref<lang::ByteArray> getBytes(int32_t) override { return (void)noOutputs(), nullptr; }
  void close() override {}

 private:
  [[noreturn]] static int32_t noOutputs() {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL,
                             "a query has no output parameters");
  }
  Ref<HostConnection> conn_;
  Ref<lang::String> schema_, type_;
};

std::mutex adoptMutex;

}  // namespace

void HostConnection::adopt(const Bridge& b, uint32_t ref) {
  if (ref == 0) return;
  b.requireObject(ref, host::INSTANCE_SIZE);
  if (b.kindOf(ref) != host::KIND_INSTANCE || !b.isBlank(ref)) return;
  const uint32_t base = b.classConstant(host::POOL_CONNECTION_CLASS);
  const int32_t is = hostInstanceOf(b.env(), ref, base);
  if (b.context()->pendingException != 0) throw HostExceptionPending{};
  if (is == 0) return;
  std::lock_guard lock(adoptMutex);
  if (!b.isBlank(ref)) return;  // another thread adopted it meanwhile
  auto conn = lang::makeRef<HostConnection>(b.env(), ref, b.cls());
  b.bindInstance(ref, conn.get(), host::BK_OTHER);
}

Bridge HostConnection::bridge() const {
  const uintptr_t env = hostCallEnv(env_, vmId_, adoptingThread_);
  return Bridge(env, host::contextOf(env), callerClass_);
}

uint64_t HostConnection::call(int32_t pool, std::initializer_list<uint32_t> args) const {
  const host::ServiceShape& s =
      host::CONNECTION_SERVICE_SHAPES[pool - host::POOL_CONNECTION_TYPE_INFO];
  uint32_t words[MAX_CALL_WORDS] = {self_};
  int32_t n = 1;
  for (uint32_t a : args) words[n++] = a;
  const Bridge b = bridge();
  return LinkTable::callVirtual(b, callerClass_, pool, host::connectionPosition(pool), false,
                                CallShape(s.slots, s.result), words);
}

Ref<jdbc::Statement> HostConnection::prepareCall(const std::string& sql) {
  const bool withFormat = sql == TYPE_INFO_CALL_WITH_FORMAT;
  if (!withFormat && sql != TYPE_INFO_CALL) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_UNSUPPORTED,
                             "call not served by the host connection");
  }
  return lang::makeRef<HostTypeInfoCall>(Ref<HostConnection>(this), withFormat);
}

Ref<jdbc::Statement> HostConnection::prepareStatement(const std::string& sql) {
  if (sql != ATTRIBUTE_NAMES_QUERY) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_UNSUPPORTED,
                             "query not served by the host connection");
  }
  return lang::makeRef<HostNamesQuery>(Ref<HostConnection>(this));
}

Ref<lang::Object> HostConnection::getDescriptor(const std::string& sqlName) {
  const Bridge b = bridge();
  const auto ref = static_cast<uint32_t>(
      call(host::POOL_CONNECTION_GET_DESCRIPTOR, {b.toHost(std::string_view(sqlName))}));
  return bridge().object(ref);
}

void HostConnection::putDescriptor(const std::string& sqlName, Ref<lang::Object> descriptor) {
  const Bridge b = bridge();
  const uint32_t name = b.toHost(std::string_view(sqlName));
  const uint32_t d = b.toHost(descriptor.get());
  call(host::POOL_CONNECTION_PUT_DESCRIPTOR, {name, d});
}

Ref<lang::ByteArray> HostConnection::getFormatDescriptor() {
  const auto ref = static_cast<uint32_t>(call(host::POOL_CONNECTION_GET_FORMAT, {}));
  return bridge().array<int8_t>(ref);
}

void HostConnection::setFormatDescriptor(Ref<lang::ByteArray> formatDescriptor) {
  call(host::POOL_CONNECTION_SET_FORMAT, {bridge().toHost(formatDescriptor.get())});
}

bool HostConnection::getFormatFlag() {
  // Bit 4 of byte d[5] + d[6] + 11 of the format descriptor.
  Ref<lang::ByteArray> d = getFormatDescriptor();
  if (!d || d->length() < 7) return false;
  const int32_t k = ((*d)[5] & 0xFF) + ((*d)[6] & 0xFF) + 11;
  return k < d->length() && (((*d)[k] >> 4) & 1) != 0;
}

int64_t HostConnection::describeTypeProperty(const std::string& sqlName) {
  const Bridge b = bridge();
  return static_cast<int64_t>(
      call(host::POOL_CONNECTION_TYPE_PROPERTY, {b.toHost(std::string_view(sqlName))}));
}

int16_t HostConnection::getDbCharsetId() {
  return static_cast<int16_t>(static_cast<int32_t>(call(host::POOL_CONNECTION_CHARSET, {})));
}

void adoptHostConnection(const Bridge& b, uint32_t ref) { HostConnection::adopt(b, ref); }

}  // namespace kelvor::binding
