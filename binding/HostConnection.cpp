#include "binding/HostConnection.h"

#include <mutex>
#include <vector>

#include "binding/LinkTable.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
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

bool HostConnection::fetchTypeInfo(const lang::String* schema, const lang::String* type,
                                   bool withFormat, TypeInfo& info) {
  const Bridge b = bridge();
  const uint32_t schemaRef = schema ? b.toHost(std::string_view(schema->value())) : 0;
  const uint32_t typeRef = type ? b.toHost(std::string_view(type->value())) : 0;
  const auto ref = static_cast<uint32_t>(
      call(host::POOL_CONNECTION_TYPE_INFO, {schemaRef, typeRef, withFormat ? 1u : 0u}));
  if (ref == 0) return false;  // unknown type: status 1
  Ref<lang::ObjectArray> array = as<lang::ObjectArray>(bridge().object(ref), "type information");
  if (array->length() != 5) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL,
                             "host type information has the wrong length");
  }
  info.typeId = as<lang::ByteArray>(array->at(0), "type identifier");
  Ref<lang::IntArray> version = as<lang::IntArray>(array->at(1), "type version");
  if (!version || version->length() != 1) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL,
                             "host type information without a version");
  }
  info.version = (*version)[0];
  info.tds = as<lang::ByteArray>(array->at(2), "type descriptor segment");
  info.layout = as<lang::ByteArray>(array->at(3), "layout description");
  info.format = as<lang::ByteArray>(array->at(4), "format descriptor");
  return true;
}

std::vector<Ref<lang::String>> HostConnection::fetchAttributeNames(const lang::String* schema,
                                                                   const lang::String* type) {
  const Bridge b = bridge();
  const uint32_t schemaRef = schema ? b.toHost(std::string_view(schema->value())) : 0;
  const uint32_t typeRef = type ? b.toHost(std::string_view(type->value())) : 0;
  const auto ref =
      static_cast<uint32_t>(call(host::POOL_CONNECTION_ATTRIBUTE_NAMES, {schemaRef, typeRef}));
  std::vector<Ref<lang::String>> cells;
  Ref<lang::ObjectArray> rows = as<lang::ObjectArray>(bridge().object(ref), "attribute rows");
  if (rows == nullptr) return cells;
  cells.reserve(static_cast<size_t>(rows->length()));
  for (int32_t i = 0; i < rows->length(); ++i) {
    cells.push_back(as<lang::String>(rows->at(i), "attribute row"));
  }
  return cells;
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
