#include "jni/JniConnection.h"

#include <utility>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/ObjectDescriptor.h"
#include "jni/JniClasses.h"
#include "jni/JniRaise.h"
#include "jni/JniValues.h"
#include "lang/String.h"

namespace kelvor::jni {

namespace {

using lang::Ref;

[[noreturn]] void internal(const char* message) {
  jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INTERNAL, message);
}

// A local reference deleted at the end of the scope.
struct LocalRef {
  JNIEnv* env;
  jobject o;
  ~LocalRef() {
    if (o != nullptr) env->DeleteLocalRef(o);
  }
};

jstring javaString(JNIEnv* env, const lang::String* s) {
  return s != nullptr ? JniValues::newString(env, s->value()) : nullptr;
}

// The descriptor tree of a cached descriptor, or null.
jdbc::kelcore::KelvorTypeADT* treeOf(const lang::Object* descriptor) {
  if (const auto* o = dynamic_cast<const jdbc::ObjectDescriptor*>(descriptor)) {
    return o->getKelvorType().get();
  }
  if (const auto* a = dynamic_cast<const jdbc::ArrayDescriptor*>(descriptor)) {
    return a->getKelvorType().get();
  }
  return nullptr;
}

}  // namespace

bool JniConnection::madeHere(const lang::Object* descriptor) const {
  if (const auto* o = dynamic_cast<const jdbc::ObjectDescriptor*>(descriptor)) {
    return o->getConnection() == this;
  }
  if (const auto* a = dynamic_cast<const jdbc::ArrayDescriptor*>(descriptor)) {
    return a->getConnection() == this;
  }
  return false;
}

JniConnection::JniConnection(JNIEnv* env, jobject services)
    : services_(env->NewGlobalRef(services)) {
  if (services_ == nullptr) throw JavaExceptionPending{};
}

JniConnection::~JniConnection() {
  close();
  if (javaConnection_ == nullptr) return;
  try {
    currentEnv()->DeleteWeakGlobalRef(javaConnection_);
  } catch (...) {
    // No attached thread can be had: the weak reference stays with the VM.
  }
}

void JniConnection::bind(JNIEnv* env, jobject javaConnection) {
  jweak weak = env->NewWeakGlobalRef(javaConnection);
  if (weak == nullptr) throw JavaExceptionPending{};
  std::lock_guard hold(lock_);
  if (javaConnection_ != nullptr) env->DeleteWeakGlobalRef(javaConnection_);
  javaConnection_ = weak;
}

jobject JniConnection::javaConnection(JNIEnv* env) const {
  std::lock_guard hold(lock_);
  return javaConnection_ != nullptr ? env->NewLocalRef(javaConnection_) : nullptr;
}

jobject JniConnection::services(JNIEnv* env) const {
  std::lock_guard hold(lock_);
  if (services_ == nullptr) internal("connection closed");
  return env->NewLocalRef(services_);
}

void JniConnection::close() {
  std::vector<Ref<lang::Object>> trees;
  jobject services = nullptr;
  {
    std::lock_guard hold(lock_);
    trees.swap(handedOver_);
    std::swap(services, services_);
  }
  for (const auto& d : trees) {
    if (auto* tree = treeOf(d.get())) tree->dropDescriptorLinks();
  }
  if (services != nullptr) {
    JNIEnv* env = nullptr;
    // A thread that is not attached (a C++ owner's last release) has no Java work to do but
    // deleting the global reference, which needs an attached thread.
    try {
      env = currentEnv();
    } catch (...) {
      return;
    }
    env->DeleteGlobalRef(services);
  }
}

bool JniConnection::fetchTypeInfo(const lang::String* schema, const lang::String* type,
                                  bool withFormat, TypeInfo& info) {
  JNIEnv* env = currentEnv();
  const JniClasses& c = classes();
  LocalRef services{env, this->services(env)};
  LocalRef schemaName{env, javaString(env, schema)};
  LocalRef typeName{env, javaString(env, type)};
  LocalRef found{env, env->CallObjectMethod(services.o, c.servicesTypeInfo, schemaName.o,
                                            typeName.o, withFormat ? JNI_TRUE : JNI_FALSE)};
  JniRaise::check(env);
  if (found.o == nullptr) return false;  // unknown type: status 1
  const auto field = [&](jfieldID f) {
    LocalRef bytes{env, env->GetObjectField(found.o, f)};
    return JniValues::bytes(env, static_cast<jbyteArray>(bytes.o));
  };
  info.typeId = field(c.typeInfoTypeId);
  info.tds = field(c.typeInfoTds);
  info.layout = field(c.typeInfoLayout);
  info.format = field(c.typeInfoFormat);
  info.version = env->GetIntField(found.o, c.typeInfoVersion);
  return true;
}

std::vector<Ref<lang::String>> JniConnection::fetchAttributeNames(const lang::String* schema,
                                                                  const lang::String* type) {
  JNIEnv* env = currentEnv();
  const JniClasses& c = classes();
  LocalRef services{env, this->services(env)};
  LocalRef schemaName{env, javaString(env, schema)};
  LocalRef typeName{env, javaString(env, type)};
  LocalRef rows{
      env, env->CallObjectMethod(services.o, c.servicesAttributeNames, schemaName.o, typeName.o)};
  JniRaise::check(env);
  std::vector<Ref<lang::String>> cells;
  if (rows.o != nullptr) {
    auto array = static_cast<jobjectArray>(rows.o);
    const jsize n = env->GetArrayLength(array);
    cells.reserve(static_cast<size_t>(n));
    for (jsize i = 0; i < n; ++i) {
      LocalRef cell{env, env->GetObjectArrayElement(array, i)};
      JniRaise::check(env);
      cells.push_back(JniValues::string(env, static_cast<jstring>(cell.o)));
    }
  }
  return cells;
}

Ref<lang::Object> JniConnection::getDescriptor(const std::string& sqlName) {
  JNIEnv* env = currentEnv();
  LocalRef services{env, this->services(env)};
  LocalRef name{env, JniValues::newString(env, sqlName)};
  LocalRef d{env, env->CallObjectMethod(services.o, classes().servicesGetDescriptor, name.o)};
  JniRaise::check(env);
  if (d.o == nullptr || !env->IsInstanceOf(d.o, classes().nativePeer)) return nullptr;
  Ref<lang::Object> cached(JniValues::address(env, d.o, "cached descriptor"));
  // A descriptor another connection put into the same services belongs to that connection,
  // which may be gone: its tree would call it. This connection makes its own.
  if (!madeHere(cached.get())) return nullptr;
  return cached;
}

void JniConnection::putDescriptor(const std::string& sqlName, Ref<lang::Object> descriptor) {
  JNIEnv* env = currentEnv();
  LocalRef services{env, this->services(env)};
  LocalRef name{env, JniValues::newString(env, sqlName)};
  LocalRef peer{env, JniValues::peer(env, descriptor.get())};
  env->CallVoidMethod(services.o, classes().servicesPutDescriptor, name.o, peer.o);
  JniRaise::check(env);
  std::lock_guard hold(lock_);
  if (descriptor) handedOver_.push_back(std::move(descriptor));
}

Ref<lang::ByteArray> JniConnection::getFormatDescriptor() {
  JNIEnv* env = currentEnv();
  LocalRef services{env, this->services(env)};
  LocalRef fd{env, env->CallObjectMethod(services.o, classes().servicesGetFormat)};
  JniRaise::check(env);
  return JniValues::bytes(env, static_cast<jbyteArray>(fd.o));
}

void JniConnection::setFormatDescriptor(Ref<lang::ByteArray> formatDescriptor) {
  JNIEnv* env = currentEnv();
  LocalRef services{env, this->services(env)};
  LocalRef fd{env, JniValues::newBytes(env, formatDescriptor.get())};
  env->CallVoidMethod(services.o, classes().servicesSetFormat, fd.o);
  JniRaise::check(env);
}

bool JniConnection::getFormatFlag() {
  // Bit 4 of byte d[5] + d[6] + 11 of the format descriptor.
  Ref<lang::ByteArray> d = getFormatDescriptor();
  if (!d || d->length() < 7) return false;
  const int32_t k = ((*d)[5] & 0xFF) + ((*d)[6] & 0xFF) + 11;
  return k < d->length() && (((*d)[k] >> 4) & 1) != 0;
}

int64_t JniConnection::describeTypeProperty(const std::string& sqlName) {
  JNIEnv* env = currentEnv();
  LocalRef services{env, this->services(env)};
  LocalRef name{env, JniValues::newString(env, sqlName)};
  const jlong p = env->CallLongMethod(services.o, classes().servicesTypeProperty, name.o);
  JniRaise::check(env);
  return p;
}

int16_t JniConnection::getDbCharsetId() {
  JNIEnv* env = currentEnv();
  LocalRef services{env, this->services(env)};
  const jint id = env->CallIntMethod(services.o, classes().servicesCharset);
  JniRaise::check(env);
  return static_cast<int16_t>(id);
}

}  // namespace kelvor::jni
