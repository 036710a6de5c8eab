#include "jni/JniConnection.h"

#include <utility>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ResultSet.h"
#include "driver/Statement.h"
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

jstring javaString(JNIEnv* env, const Ref<lang::String>& s) {
  return s ? JniValues::newString(env, s->value()) : nullptr;
}

// The type-information call: its inputs are bound, then execute asks the Java services.
class JniTypeInfoCall final : public jdbc::Statement {
 public:
  JniTypeInfoCall(Ref<JniConnection> conn, bool withFormat)
      : conn_(std::move(conn)), withFormat_(withFormat) {}

  void setString(int32_t index, const lang::String* value) override {
    Ref<lang::String> copy = value == nullptr ? nullptr : lang::String::of(value->value());
    if (index == 2) schema_ = copy;
    if (index == 3) type_ = copy;
  }
  void registerOutParameter(int32_t, int32_t) override {}
  void execute() override {
    JNIEnv* env = currentEnv();
    const JniClasses& c = classes();
    LocalRef services{env, conn_->services(env)};
    LocalRef schema{env, javaString(env, schema_)};
    LocalRef type{env, javaString(env, type_)};
    LocalRef info{env, env->CallObjectMethod(services.o, c.servicesTypeInfo, schema.o, type.o,
                                             withFormat_ ? JNI_TRUE : JNI_FALSE)};
    JniRaise::check(env);
    executed_ = true;
    if (info.o == nullptr) return;  // unknown type: status 1
    const auto field = [&](jfieldID f) {
      LocalRef bytes{env, env->GetObjectField(info.o, f)};
      return JniValues::bytes(env, static_cast<jbyteArray>(bytes.o));
    };
    toid_ = field(c.typeInfoTypeId);
    tds_ = field(c.typeInfoTds);
    layout_ = field(c.typeInfoLayout);
    format_ = field(c.typeInfoFormat);
    version_ = env->GetIntField(info.o, c.typeInfoVersion);
    found_ = true;
  }
  Ref<jdbc::ResultSet> executeQuery() override {
    internal("the type-information call is no query");
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
    internal("no integer output at this index");
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
    internal("no byte output at this index");
  }
  void close() override {}

 private:
  void requireExecuted() const {
    if (!executed_) internal("call not executed");
  }
  Ref<JniConnection> conn_;
  bool withFormat_;
  bool executed_ = false;
  bool found_ = false;
  Ref<lang::String> schema_, type_;
  Ref<lang::ByteArray> toid_, tds_, layout_, format_;
  int32_t version_ = 0;
};

// The attribute rows: position, name, type name, type schema; the Java services return the
// last three of each row in one string array.
class JniRows final : public jdbc::ResultSet {
 public:
  explicit JniRows(std::vector<Ref<lang::String>> cells) : cells_(std::move(cells)) {}
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

class JniNamesQuery final : public jdbc::Statement {
 public:
  explicit JniNamesQuery(Ref<JniConnection> conn) : conn_(std::move(conn)) {}
  void setString(int32_t index, const lang::String* value) override {
    Ref<lang::String> copy = value == nullptr ? nullptr : lang::String::of(value->value());
    if (index == 1) schema_ = copy;
    if (index == 2) type_ = copy;
  }
  void registerOutParameter(int32_t, int32_t) override {}
  void execute() override { (void)executeQuery(); }
  Ref<jdbc::ResultSet> executeQuery() override {
    JNIEnv* env = currentEnv();
    const JniClasses& c = classes();
    LocalRef services{env, conn_->services(env)};
    LocalRef schema{env, javaString(env, schema_)};
    LocalRef type{env, javaString(env, type_)};
    LocalRef rows{env,
                  env->CallObjectMethod(services.o, c.servicesAttributeNames, schema.o, type.o)};
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
    return lang::makeRef<JniRows>(std::move(cells));
  }
  int32_t getInt(int32_t) override { internal("a query has no output parameters"); }
  int64_t getLong(int32_t) override { internal("a query has no output parameters"); }
  Ref<lang::ByteArray> getBytes(int32_t) override { internal("a query has no output parameters"); }
  void close() override {}

 private:
  Ref<JniConnection> conn_;
  Ref<lang::String> schema_, type_;
};

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

Ref<jdbc::Statement> JniConnection::prepareCall(const std::string& sql) {
  const bool withFormat = sql == TYPE_INFO_CALL_WITH_FORMAT;
  if (!withFormat && sql != TYPE_INFO_CALL) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_UNSUPPORTED,
                             "call not served by the Java connection");
  }
  return lang::makeRef<JniTypeInfoCall>(Ref<JniConnection>(this), withFormat);
}

Ref<jdbc::Statement> JniConnection::prepareStatement(const std::string& sql) {
  if (sql != ATTRIBUTE_NAMES_QUERY) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_UNSUPPORTED,
                             "query not served by the Java connection");
  }
  return lang::makeRef<JniNamesQuery>(Ref<JniConnection>(this));
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
