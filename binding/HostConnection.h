// A connection that lives in the host: every service the descriptors ask of a connection (the
// type-information call, the attribute-name query, the descriptor cache, the format descriptor,
// the type describer, the database character set) is a method of the host's connection object,
// called through the link-table protocol as a virtual call on that object. The package keeps
// talking to jdbc::Connection; this is one more implementation of it, made when the host hands
// a compiled method a connection object of its own instead of one of ours.
//
// The host object is adopted on first sight: it becomes a bridged instance whose handle names
// this connection, so that it maps to the same C++ connection every time and the host instance
// keeps it alive.
//
// Thread rule: the connection holds no state of its own beyond the host reference; each call
// runs on the calling thread's context (the env of its innermost bridged call). Host exceptions
// raised by the services pass through as HostExceptionPending, untouched.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "binding/Bridge.h"
#include "driver/ServedConnection.h"

namespace kelvor::binding {

class HostConnection final : public jdbc::ServedConnection {
 public:
  HostConnection(uintptr_t env, uint32_t self, uint32_t callerClass) noexcept
      : env_(env), vmId_(host::contextOf(env)->vmId), self_(self), callerClass_(callerClass) {}

  // When `ref` is a host connection object not yet adopted, binds it to a new HostConnection.
  // Leaves every other reference alone.
  static void adopt(const Bridge& b, uint32_t ref);

  bool fetchTypeInfo(const lang::String* schema, const lang::String* type, bool withFormat,
                     TypeInfo& info) override;
  std::vector<lang::Ref<lang::String>> fetchAttributeNames(const lang::String* schema,
                                                           const lang::String* type) override;
  lang::Ref<lang::Object> getDescriptor(const std::string& sqlName) override;
  void putDescriptor(const std::string& sqlName, lang::Ref<lang::Object> descriptor) override;
  lang::Ref<lang::ByteArray> getFormatDescriptor() override;
  void setFormatDescriptor(lang::Ref<lang::ByteArray> formatDescriptor) override;
  bool getFormatFlag() override;
  int64_t describeTypeProperty(const std::string& sqlName) override;
  int16_t getDbCharsetId() override;

  const char* className() const noexcept override { return "HostConnection"; }
  const char* servedBy() const noexcept override { return "the host connection"; }

  uint32_t hostObject() const noexcept { return self_; }
  // The bridge of the calling thread's context.
  Bridge bridge() const;
  // Calls service `pool` with the words after the receiver; the result word as LinkTable gives it.
  uint64_t call(int32_t pool, std::initializer_list<uint32_t> args) const;

 private:
  uintptr_t env_;  // the context of the thread that handed the connection over
  uint64_t vmId_;
  std::thread::id adoptingThread_ = std::this_thread::get_id();
  uint32_t self_;         // the host connection object
  uint32_t callerClass_;  // whose constant pool names the services
};

}  // namespace kelvor::binding
