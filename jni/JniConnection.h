// A connection whose services live in Java: every service the descriptors ask of a connection
// (the type-information call, the attribute-name query, the descriptor cache, the format
// descriptor, the type describer, the database character set) is a method of the Java
// driver's kelvor.jdbc.ConnectionServices, called through JNI on the calling thread (attached
// first when it is not a Java thread). The package keeps talking to jdbc::Connection; this is
// one more implementation of it, in the role binding::HostConnection plays for a host.
//
// Descriptors cross into the Java cache as peers; the connection remembers the trees it handed
// over so that close() can drop their descriptor links (the cache's duty, see Connection.h). A
// cached descriptor of another connection (services shared by two connections) is not taken:
// its tree holds that connection, which may be gone.
//
// Lifetime: the descriptors hold the connection by plain pointer. The Java Connection holds the
// C++ object, and every Java peer of a descriptor of this connection's trees holds the Java
// Connection (JniValues::peer sets it), so the C++ connection outlives every descriptor Java
// can reach. close() drops the services and the cached trees' links; a descriptor used
// afterwards gets ERR_INTERNAL "connection closed".
//
// Thread rule: the services reference and the remembered trees are guarded by a mutex; the
// Java calls run outside it.
#pragma once

#include <jni.h>

#include <mutex>
#include <string>
#include <vector>

#include "driver/ServedConnection.h"

namespace kelvor::jni {

class JniConnection final : public jdbc::ServedConnection {
 public:
  JniConnection(JNIEnv* env, jobject services);
  ~JniConnection() override;

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

  const char* className() const noexcept override { return "JniConnection"; }
  const char* servedBy() const noexcept override { return "the Java connection"; }

  // Drops the services and the descriptor links of every tree handed to the cache.
  void close();
  // Remembers the Java Connection (weakly).
  void bind(JNIEnv* env, jobject javaConnection);
  // A local reference to the Java Connection, or null once it is gone.
  jobject javaConnection(JNIEnv* env) const;
  // A local reference to the services on the calling thread; ERR_INTERNAL once closed.
  jobject services(JNIEnv* env) const;

 private:
  // Whether a cached descriptor is one of this connection's.
  bool madeHere(const lang::Object* descriptor) const;

  mutable std::mutex lock_;
  jobject services_;                                 // global reference; null once closed
  jweak javaConnection_ = nullptr;                   // the Java Connection, weakly
  std::vector<lang::Ref<lang::Object>> handedOver_;  // descriptors put into the Java cache
};

}  // namespace kelvor::jni
