#include "jni/JniValues.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/BfileValue.h"
#include "driver/BlobValue.h"
#include "driver/CharValue.h"
#include "driver/CharsetConverter.h"
#include "driver/ClobValue.h"
#include "driver/DateValue.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "driver/RawValue.h"
#include "driver/RefValue.h"
#include "jni/JniClasses.h"
#include "jni/JniConnection.h"
#include "jni/JniRaise.h"
#include "lang/Boxed.h"
#include "lang/Decimal.h"
#include "lang/Exceptions.h"
#include "lang/Timestamp.h"
#include "types/DepthGuard.h"
#include "types/KelvorNamedType.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::jni {

using jdbc::kelcore::KelvorType;
using jdbc::kelcore::KelvorTypeADT;
using jdbc::kelcore::KelvorTypeCOLLECTION;
using lang::Ref;

namespace {

constexpr int32_t STYLE_SQL_VALUE = 1;

// Deletes a local reference when the scope ends.
class Local {
 public:
  Local(JNIEnv* env, jobject o) noexcept : env_(env), o_(o) {}
  ~Local() {
    if (o_ != nullptr) env_->DeleteLocalRef(o_);
  }
  Local(const Local&) = delete;
  Local& operator=(const Local&) = delete;
  jobject get() const noexcept { return o_; }
  // Hands the reference to the caller.
  jobject release() noexcept {
    jobject o = o_;
    o_ = nullptr;
    return o;
  }

 private:
  JNIEnv* env_;
  jobject o_;
};

void check(JNIEnv* env) { JniRaise::check(env); }

// A frame of local references for one element of a loop, or one level of nesting: whatever the
// element's conversion made is deleted when the frame ends, however it ends.
class LocalFrame {
 public:
  static constexpr jint CAPACITY = 16;
  explicit LocalFrame(JNIEnv* env) : env_(env) {
    if (env_->PushLocalFrame(CAPACITY) != 0) throw JavaExceptionPending{};
  }
  ~LocalFrame() { env_->PopLocalFrame(nullptr); }
  LocalFrame(const LocalFrame&) = delete;
  LocalFrame& operator=(const LocalFrame&) = delete;

 private:
  JNIEnv* env_;
};

// A Java call's result once no exception is pending.
template <typename R>
R checked(JNIEnv* env, R r) {
  check(env);
  return r;
}

template <typename E, typename J>
Ref<lang::PrimitiveArray<E>> copyIn(JNIEnv* env, J array,
                                    void (JNIEnv::*get)(J, jsize, jsize, E*)) {
  const jsize n = env->GetArrayLength(array);
  auto out = lang::PrimitiveArray<E>::unfilled(n);
  if (n > 0) (env->*get)(array, 0, n, out->data());
  check(env);  // the region is within the array: the call fills every element
  return out;
}

template <typename E, typename J>
jobject copyOut(JNIEnv* env, const lang::PrimitiveArray<E>& a, J (JNIEnv::*make)(jsize),
                void (JNIEnv::*set)(J, jsize, jsize, const E*)) {
  J out = (env->*make)(a.length());
  check(env);
  if (a.length() > 0) (env->*set)(out, 0, a.length(), a.data());
  return out;
}

template <typename T>
const T* as(const lang::Object* o) {
  return dynamic_cast<const T*>(o);
}

template <typename B, typename V>
jobject boxed(JNIEnv* env, const lang::Object* o, jclass cls, jmethodID of, bool& done) {
  if (const auto* b = as<lang::Boxed<B>>(o)) {
    done = true;
    jobject r = env->CallStaticObjectMethod(cls, of, static_cast<V>(b->value()));
    check(env);
    return r;
  }
  return nullptr;
}

// The type a value of `declared` is written with: a UPT stands for its attached type.
KelvorType* effective(KelvorType* declared) {
  if (auto* upt = dynamic_cast<jdbc::kelcore::KelvorTypeUPT*>(declared)) {
    return upt->getObjectType().get();
  }
  return declared;
}

// The declared type of item i of an object array standing for a value of `declared`.
KelvorType* itemType(KelvorType* declared, int32_t i) {
  KelvorType* type = effective(declared);
  if (auto* coll = dynamic_cast<KelvorTypeCOLLECTION*>(type)) return coll->getElementType().get();
  if (auto* adt = dynamic_cast<KelvorTypeADT*>(type)) {
    const auto& types = adt->parsedAttributeTypes();
    if (types && i >= 0 && i < types->length()) return dynamic_cast<KelvorType*>(types->at(i));
  }
  return nullptr;
}

// Arrays of at least this many items cross packed when they can (PackedValues).
constexpr jsize PACK_MIN = 4;

// The library's values of a Java PackedValues.
Ref<lang::ObjectArray> valuesOfPacked(JNIEnv* env, jobject packed) {
  const JniClasses& c = classes();
  const auto field = [&](jfieldID f) { return env->GetObjectField(packed, f); };
  Local bytesRef(env, field(c.packedBytes));
  Local lengthsRef(env, field(c.packedLengths));
  Local kindsRef(env, field(c.packedKinds));
  Local charsetsRef(env, field(c.packedCharsets));
  Ref<lang::ByteArray> all = JniValues::bytes(env, static_cast<jbyteArray>(bytesRef.get()));
  Ref<lang::IntArray> lengths =
      copyIn<jint>(env, static_cast<jintArray>(lengthsRef.get()), &JNIEnv::GetIntArrayRegion);
  Ref<lang::ByteArray> kinds = JniValues::bytes(env, static_cast<jbyteArray>(kindsRef.get()));
  Ref<lang::IntArray> charsets = charsetsRef.get() == nullptr
                                     ? nullptr
                                     : copyIn<jint>(env, static_cast<jintArray>(charsetsRef.get()),
                                                    &JNIEnv::GetIntArrayRegion);
  const int32_t n = lengths->length();
  // security: the arrays come from Java; their lengths are checked before they are indexed
  if (kinds->length() != n || (charsets && charsets->length() != n)) {
    throw lang::IllegalStateException("packed values of unequal lengths");
  }
  auto out = lang::ObjectArray::make(n);
  Ref<jdbc::CharsetConverter> converter;
  int32_t at = 0;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t length = (*lengths)[i];
    if (length < 0) continue;
    // security: each length is checked against the bytes that remain before the copy
    if (length > all->length() - at) lang::throwIndexOutOfBounds(at, all->length());
    const int8_t* form = all->data() + at;
    at += length;
    // a short form is copied inline, into the value's own allocation
    switch ((*kinds)[i]) {
      case JniClasses::KIND_NUMBER:
        out->set(i, jdbc::SqlValue::withBytesCopied<jdbc::NumberValue>(form, length));
        break;
      case JniClasses::KIND_DATE:
        out->set(i, jdbc::SqlValue::withBytesCopied<jdbc::DateValue>(form, length));
        break;
      case JniClasses::KIND_CHAR: {
        if (!charsets) throw lang::IllegalStateException("packed characters without a set");
        const int32_t id = (*charsets)[i];
        if (!converter || converter->id() != id) converter = jdbc::CharsetConverter::forId(id);
        out->set(i, jdbc::SqlValue::withBytesCopied<jdbc::CharValue>(form, length, converter));
        break;
      }
      default:
        out->set(i, lang::makeRef<jdbc::RawValue>(lang::ByteArray::copyOf(form, length)));
        break;
    }
  }
  return out;
}

// The library's values of Java value objects that PackedValues.pack could pack; null when it
// could not.
Ref<lang::ObjectArray> unpackedOf(JNIEnv* env, jobjectArray array) {
  const JniClasses& c = classes();
  Local packed(env, env->CallStaticObjectMethod(c.packedValues, c.packedValuesPack, array));
  check(env);
  return packed.get() == nullptr ? nullptr : valuesOfPacked(env, packed.get());
}

Ref<lang::ObjectArray> objectsOf(JNIEnv* env, jobjectArray array, KelvorType* declared,
                                 jdbc::Connection* conn, int32_t depth,
                                 Ref<lang::Object> (*convert)(JNIEnv*, jobject, KelvorType*,
                                                              jdbc::Connection*, int32_t)) {
  const jsize n = env->GetArrayLength(array);
  if (n >= PACK_MIN) {
    if (Ref<lang::ObjectArray> packed = unpackedOf(env, array)) return packed;
  }
  auto out = lang::ObjectArray::make(n);
  for (jsize i = 0; i < n; ++i) {
    LocalFrame frame(env);
    jobject item = env->GetObjectArrayElement(array, i);
    check(env);
    out->set(i, convert(env, item, itemType(declared, i), conn, depth + 1));
  }
  return out;
}

// The classes converted most, told by their class names (see toJavaAt).
enum class ClassName {
  OTHER,
  STRING,
  BYTES,
  NUMBER,
  DATE,
  RAW,
  CHAR,
  OBJECTS,
  OBJECT,
  ARRAY,
  DECIMAL,
  TIMESTAMP
};

ClassName classOf(const lang::Object* o) {
  const char* n = o->className();
  switch (n[0]) {
    case 'S':
      return std::strcmp(n, "String") == 0 ? ClassName::STRING : ClassName::OTHER;
    case 'O':
      return std::strcmp(n, "ObjectValue") == 0 ? ClassName::OBJECT
             : std::strcmp(n, "Object[]") == 0  ? ClassName::OBJECTS
                                                : ClassName::OTHER;
    case 'A':
      return std::strcmp(n, "ArrayValue") == 0 ? ClassName::ARRAY : ClassName::OTHER;
    case 'b':
      return std::strcmp(n, "byte[]") == 0 ? ClassName::BYTES : ClassName::OTHER;
    case 'N':
      return std::strcmp(n, "NumberValue") == 0 ? ClassName::NUMBER : ClassName::OTHER;
    case 'D':
      return std::strcmp(n, "DateValue") == 0 ? ClassName::DATE
             : std::strcmp(n, "Decimal") == 0 ? ClassName::DECIMAL
                                              : ClassName::OTHER;
    case 'T':
      return std::strcmp(n, "Timestamp") == 0 ? ClassName::TIMESTAMP : ClassName::OTHER;
    case 'R':
      return std::strcmp(n, "RawValue") == 0 ? ClassName::RAW : ClassName::OTHER;
    case 'C':
      return std::strcmp(n, "CharValue") == 0 ? ClassName::CHAR : ClassName::OTHER;
    default:
      return ClassName::OTHER;
  }
}

// The object as a T when its class name did not tell it already.
template <typename T>
const T* other(ClassName name, const lang::Object* o) {
  return name == ClassName::OTHER ? as<T>(o) : nullptr;
}
// The object as a T when its name is T's, or, for an unnamed class, when it is a T.
template <typename T>
const T* known(ClassName want, ClassName name, const lang::Object* o) {
  return name == want ? static_cast<const T*>(o) : other<T>(name, o);
}

// A Java PackedValues of the forms end to end, their lengths (-1: null), kinds and character
// sets (empty when no item is a CHAR).
jobject newPackedValues(JNIEnv* env, const std::vector<jbyte>& forms,
                        const std::vector<jint>& lengths, const std::vector<jbyte>& kinds,
                        const std::vector<jint>& charsets) {
  const auto newArray = [&](auto make, auto set, const auto& v) {
    auto a = (env->*make)(static_cast<jsize>(v.size()));
    check(env);
    if (!v.empty()) (env->*set)(a, 0, static_cast<jsize>(v.size()), v.data());
    return a;
  };
  const JniClasses& c = classes();
  Local bytes(env, newArray(&JNIEnv::NewByteArray, &JNIEnv::SetByteArrayRegion, forms));
  Local lengthArray(env, newArray(&JNIEnv::NewIntArray, &JNIEnv::SetIntArrayRegion, lengths));
  Local kindArray(env, newArray(&JNIEnv::NewByteArray, &JNIEnv::SetByteArrayRegion, kinds));
  Local charsetArray(
      env, charsets.empty() ? nullptr
                            : newArray(&JNIEnv::NewIntArray, &JNIEnv::SetIntArrayRegion, charsets));
  jobject packed = env->NewObject(c.packedValues, c.packedValuesNew, bytes.get(), lengthArray.get(),
                                  kindArray.get(), charsetArray.get());
  check(env);
  return packed;
}

// The Java PackedValues of the library's values, when every item is null or a value of a class
// told by name; otherwise null.
jobject packedValuesOf(JNIEnv* env, const lang::ObjectArray& items) {
  const int32_t n = items.length();
  std::vector<jbyte> kinds(static_cast<size_t>(n), 0);
  std::vector<jint> lengths(static_cast<size_t>(n), -1);
  std::vector<jint> charsets;
  int64_t total = 0;
  for (int32_t i = 0; i < n; ++i) {
    const lang::Object* o = items.at(i);
    if (o == nullptr) continue;
    jint kind = 0;
    switch (classOf(o)) {
      case ClassName::NUMBER:
        kind = JniClasses::KIND_NUMBER;
        break;
      case ClassName::DATE:
        kind = JniClasses::KIND_DATE;
        break;
      case ClassName::RAW:
        kind = JniClasses::KIND_RAW;
        break;
      case ClassName::CHAR: {
        kind = JniClasses::KIND_CHAR;
        const jdbc::CharsetConverter* set = static_cast<const jdbc::CharValue*>(o)->characterSet();
        if (charsets.empty()) charsets.assign(static_cast<size_t>(n), 0);
        charsets[static_cast<size_t>(i)] = set != nullptr ? set->id() : 0;
        break;
      }
      default:
        return nullptr;
    }
    const auto* b = static_cast<const jdbc::SqlValue*>(o);
    if (!b->hasBytes()) return nullptr;  // no byte form: the value crosses on its own
    kinds[static_cast<size_t>(i)] = static_cast<jbyte>(kind);
    lengths[static_cast<size_t>(i)] = b->byteLength();
    total += b->byteLength();
  }
  if (total > INT32_MAX - 8) return nullptr;
  std::vector<jbyte> all;
  all.reserve(static_cast<size_t>(total));
  for (int32_t i = 0; i < n; ++i) {
    if (lengths[static_cast<size_t>(i)] <= 0) continue;
    const std::span<const int8_t> b = static_cast<const jdbc::SqlValue*>(items.at(i))->byteSpan();
    all.insert(all.end(), b.begin(), b.end());
  }
  return newPackedValues(env, all, lengths, kinds, charsets);
}

// The Java value objects of the library's values, built in Java from one packed array, when
// every item is null or a value of a class told by name; otherwise null.
jobject packedOf(JNIEnv* env, const lang::ObjectArray& items) {
  Local packed(env, packedValuesOf(env, items));
  if (packed.get() == nullptr) return nullptr;
  jobject out = env->CallObjectMethod(packed.get(), classes().packedValuesUnpack);
  check(env);
  return out;
}

// The value class of packed elements of type t (ArrayValue::packedForms): NUMBER or DATE.
jbyte packedKind(const KelvorType& t) {
  return t.kind() == jdbc::kelcore::TypeKind::Date ? JniClasses::KIND_DATE
                                                   : JniClasses::KIND_NUMBER;
}

// The Java PackedValues of a collection value's elements, taken straight from the bytes of the
// packed elements a read keeps (no value is made on either side), or from its SQL values when
// they are all of value classes; null when neither.
jobject packedElementsOf(JNIEnv* env, const jdbc::ArrayValue& v) {
  std::vector<jbyte> forms;
  std::vector<jint> lengths;
  if (Ref<KelvorType> element = v.packedForms(forms, lengths)) {
    std::vector<jbyte> kinds(lengths.size(), packedKind(*element));
    for (size_t i = 0; i < lengths.size(); ++i) {
      if (lengths[i] < 0) kinds[i] = 0;
    }
    return newPackedValues(env, forms, lengths, kinds, {});
  }
  if (!v.holdsElements()) return nullptr;
  const Ref<lang::ObjectArray> values = v.getSqlValueElements();
  return values && values->length() >= PACK_MIN ? packedValuesOf(env, *values) : nullptr;
}

// A value class of the bytes: NumberValue, DateValue, RawValue.
jobject newValue(JNIEnv* env, jclass cls, jmethodID ctor, const lang::Object* o) {
  const auto* v = static_cast<const jdbc::SqlValue*>(o);
  Local bytes(env, JniValues::newBytes(env, *v));
  jobject out = env->NewObject(cls, ctor, bytes.get());
  JniRaise::check(env);
  return out;
}

jint lobKind(const lang::Object* o) {
  if (as<jdbc::BlobValue>(o) != nullptr) return 0;
  if (as<jdbc::ClobValue>(o) != nullptr) return 1;
  return 2;
}

}  // namespace

// --- strings and bytes ---

jstring JniValues::newString(JNIEnv* env, std::string_view utf8) {
  const std::u16string units = lang::String::toUtf16(utf8);
  jstring s = env->NewString(reinterpret_cast<const jchar*>(units.data()),
                             static_cast<jsize>(units.size()));
  check(env);
  return s;
}

Ref<lang::String> JniValues::string(JNIEnv* env, jstring s) {
  if (s == nullptr) return nullptr;
  const jsize n = env->GetStringLength(s);
  std::vector<jchar> units(static_cast<size_t>(n));
  if (n > 0) env->GetStringRegion(s, 0, n, units.data());
  check(env);
  return lang::String::fromUtf16(reinterpret_cast<const char16_t*>(units.data()), n);
}

std::string JniValues::requireString(JNIEnv* env, jstring s, const char* what) {
  if (s == nullptr) lang::throwNullPointer(what);
  return string(env, s)->value();
}

Ref<lang::ByteArray> JniValues::bytes(JNIEnv* env, jbyteArray a) {
  if (a == nullptr) return nullptr;
  return copyIn<jbyte>(env, a, &JNIEnv::GetByteArrayRegion);
}

jbyteArray JniValues::newBytes(JNIEnv* env, const lang::ByteArray* a) {
  if (a == nullptr) return nullptr;
  return static_cast<jbyteArray>(
      copyOut<jbyte>(env, *a, &JNIEnv::NewByteArray, &JNIEnv::SetByteArrayRegion));
}

jbyteArray JniValues::newBytes(JNIEnv* env, const jdbc::SqlValue& v) {
  if (!v.hasBytes()) return nullptr;
  jbyteArray out = env->NewByteArray(v.byteLength());
  check(env);
  if (v.byteLength() > 0) env->SetByteArrayRegion(out, 0, v.byteLength(), v.byteData());
  return out;
}

// --- an object value's attributes in one array (kelvor.jdbc.AttributeWire) ---

namespace {

// An item the wire does not carry: the whole value takes the general path.
struct NotOnWire {};

// The kinds of the wire's items: the value classes' (JniClasses::KIND_*), the platform
// objects, and object and collection values.
constexpr jbyte WIRE_LATIN1 = 16;     // a String of characters below U+0080: its bytes
constexpr jbyte WIRE_UTF16 = 17;      // any other String: its UTF-16 code units, big-endian
constexpr jbyte WIRE_DECIMAL = 18;    // a Decimal: its text, as BigDecimal(String) takes it
constexpr jbyte WIRE_TIMESTAMP = 19;  // a Timestamp: year month day hour minute second nanos
constexpr jbyte WIRE_BYTES = 20;      // a byte[]
// and, from Java only, the boxed primitives: their values
constexpr jbyte WIRE_INT = 21, WIRE_LONG = 22, WIRE_SHORT = 23, WIRE_BYTE = 24, WIRE_DOUBLE = 25,
                WIRE_FLOAT = 26, WIRE_BOOLEAN = 27;
// an object value: type(4) count(4) item{count}, its attributes; a collection value:
// type(4) length(8) count(4) item{count}, its elements. type: the position of its descriptor in
// the list that crosses beside the array, -1 for none.
constexpr jbyte WIRE_OBJECT = 28;
constexpr jbyte WIRE_ARRAY = 29;
constexpr jbyte WIRE_OBJECTS = 30;  // from Java only: count(4) item{count}, an Object[]

// The kind a scalar item crosses with, told by its class name; 0 for one that cannot cross so.
jbyte wireKind(const lang::Object* o) {
  // the value classes with a class bit (set by every constructor) without a name's compare
  const uint8_t bits = o->classBits();
  if ((bits & jdbc::SqlValue::NUMBER_VALUE_BIT) != 0) return JniClasses::KIND_NUMBER;
  if ((bits & jdbc::SqlValue::CHAR_VALUE_BIT) != 0) return JniClasses::KIND_CHAR;
  if ((bits & jdbc::SqlValue::DATE_VALUE_BIT) != 0) return JniClasses::KIND_DATE;
  switch (classOf(o)) {
    case ClassName::RAW:
      return JniClasses::KIND_RAW;
    case ClassName::STRING: {
      const std::string& text = static_cast<const lang::String*>(o)->value();
      return lang::String::asciiPrefix(text) == text.size() ? WIRE_LATIN1 : WIRE_UTF16;
    }
    case ClassName::DECIMAL:
      return WIRE_DECIMAL;
    case ClassName::TIMESTAMP:
      return WIRE_TIMESTAMP;
    case ClassName::BYTES:
      return WIRE_BYTES;
    default:
      return 0;
  }
}

// Reads the items Java wrote, making of each the object toNativeAt makes of the same Java
// object. security: the array comes from Java; every count and length is checked against the
// bytes left before it sizes or reads anything.
class WireReader {
 public:
  WireReader(JNIEnv* env, std::span<const int8_t> wire, jobjectArray types)
      : env_(env), wire_(wire), types_(types) {}

  // The items of a value of `parent`, at depth as toNativeAt counts it: item i declared as
  // itemType(parent, i).
  Ref<lang::ObjectArray> list(KelvorType* parent, jdbc::Connection* conn, int32_t depth) {
    const int32_t n = takeInt();
    if (n < 0 || static_cast<size_t>(n) > left()) bad("count above the items");
    auto out = lang::ObjectArray::make(n);
    for (int32_t i = 0; i < n; ++i) out->set(i, item(parent, i, conn, depth));
    return out;
  }

  void end() const {
    if (at_ != wire_.size()) bad("bytes after the items");
  }

 private:
  [[noreturn]] static void bad(const char* what) {
    throw lang::IllegalArgumentException(std::string("packed attributes: ") + what);
  }
  size_t left() const noexcept { return wire_.size() - at_; }
  const int8_t* take(size_t n) {
    if (left() < n) bad("cut short");
    const int8_t* p = wire_.data() + at_;
    at_ += n;
    return p;
  }
  int32_t takeInt() {
    const auto* u = reinterpret_cast<const uint8_t*>(take(4));
    return static_cast<int32_t>((uint32_t{u[0]} << 24) | (uint32_t{u[1]} << 16) |
                                (uint32_t{u[2]} << 8) | uint32_t{u[3]});
  }
  int64_t takeLong() {
    const auto high = static_cast<uint32_t>(takeInt());
    return static_cast<int64_t>((uint64_t{high} << 32) | static_cast<uint32_t>(takeInt()));
  }
  int32_t takeLength() {
    const int32_t length = takeInt();
    if (length < 0) bad("negative length");
    return length;
  }
  std::string_view takeText() {
    const int32_t length = takeLength();
    return {reinterpret_cast<const char*>(take(static_cast<size_t>(length))),
            static_cast<size_t>(length)};
  }

  // The descriptor at position takeInt() of the list beside the array, as a T; null for -1.
  template <typename T>
  T* takeType(const char* what) {
    const int32_t at = takeInt();
    if (at < 0) return nullptr;
    if (types_ == nullptr || at >= env_->GetArrayLength(types_)) bad("type beyond the list");
    Local type(env_, env_->GetObjectArrayElement(types_, at));
    check(env_);
    return &JniValues::native<T>(env_, type.get(), what);
  }

  Ref<lang::Object> item(KelvorType* parent, int32_t i, jdbc::Connection* conn, int32_t depth) {
    const int8_t kind = *take(1);
    if (kind == 0) return nullptr;
    if (depth > jdbc::kelcore::MAX_NESTING_DEPTH) jdbc::ErrorRaiser::raiseStackOverflow();
    switch (kind) {
      // a short form is copied inline, into the value's own place
      case JniClasses::KIND_NUMBER: {
        const int32_t length = takeLength();
        return jdbc::SqlValue::withBytesCopied<jdbc::NumberValue>(take(length), length);
      }
      case JniClasses::KIND_DATE: {
        const int32_t length = takeLength();
        return jdbc::SqlValue::withBytesCopied<jdbc::DateValue>(take(length), length);
      }
      case JniClasses::KIND_CHAR: {
        const int32_t length = takeLength();
        const int32_t charset = takeInt();
        if (!converter_ || converter_->id() != charset) {
          converter_ = jdbc::CharsetConverter::forId(charset);
        }
        return jdbc::SqlValue::withBytesCopied<jdbc::CharValue>(take(length), length, converter_);
      }
      case JniClasses::KIND_RAW: {
        const int32_t length = takeLength();
        return lang::makeRef<jdbc::RawValue>(lang::ByteArray::copyOf(take(length), length));
      }
      case WIRE_BYTES: {
        const int32_t length = takeLength();
        return lang::ByteArray::copyOf(take(length), length);
      }
      case WIRE_LATIN1:  // characters below U+0080: the same bytes in UTF-8
        return lang::String::of(takeText());
      case WIRE_UTF16: {
        const std::string_view b = takeText();
        std::u16string units(b.size() / 2, u'\0');
        for (size_t k = 0; k < units.size(); ++k) {
          units[k] = static_cast<char16_t>((static_cast<uint8_t>(b[2 * k]) << 8) |
                                           static_cast<uint8_t>(b[2 * k + 1]));
        }
        return lang::String::fromUtf16(units.data(), static_cast<int32_t>(units.size()));
      }
      case WIRE_DECIMAL:
        return lang::Decimal::parse(std::string(takeText()));
      case WIRE_TIMESTAMP: {
        int32_t f[7];
        for (int32_t& field : f) field = takeInt();
        return lang::Timestamp::of(f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
      }
      case WIRE_INT:
        return lang::Boxed<int32_t>::of(takeInt());
      case WIRE_LONG:
        return lang::Boxed<int64_t>::of(takeLong());
      case WIRE_SHORT: {
        const auto* p = reinterpret_cast<const uint8_t*>(take(2));
        return lang::Boxed<int16_t>::of(static_cast<int16_t>((p[0] << 8) | p[1]));
      }
      case WIRE_BYTE:
        return lang::Boxed<int8_t>::of(*take(1));
      case WIRE_DOUBLE:
        return lang::Boxed<double>::of(std::bit_cast<double>(takeLong()));
      case WIRE_FLOAT:
        return lang::Boxed<float>::of(std::bit_cast<float>(takeInt()));
      case WIRE_BOOLEAN:
        return lang::Boxed<bool>::of(*take(1) != 0);
      case WIRE_OBJECT: {  // as toNativeAt for an ObjectValue: its type, else the declared one
        auto* given = takeType<KelvorTypeADT>("object value type");
        if (given == nullptr) given = dynamic_cast<KelvorTypeADT*>(effective(itemType(parent, i)));
        if (given == nullptr) lang::throwNullPointer("object value type");
        KelvorTypeADT& type = *given;
        type.getAttributeTypes();  // parses the type when it was made by name
        Ref<lang::ObjectArray> attributes = list(&type, conn, depth + 1);
        jdbc::Connection* own = type.getConnection() != nullptr ? type.getConnection() : conn;
        return type.toSqlValue(attributes.get(), own);
      }
      case WIRE_ARRAY: {  // as toNativeAt for an ArrayValue with its elements
        auto* given = takeType<KelvorTypeCOLLECTION>("collection value type");
        if (given == nullptr) {
          given = dynamic_cast<KelvorTypeCOLLECTION*>(effective(itemType(parent, i)));
        }
        if (given == nullptr) lang::throwNullPointer("collection value type");
        KelvorTypeCOLLECTION& type = *given;
        takeLong();  // the count Java holds; the elements tell it
        jdbc::Connection* own = type.getConnection() != nullptr ? type.getConnection() : conn;
        type.getNumAttributes();  // parses the type when it was made by name
        Ref<lang::ObjectArray> elements = list(&type, own, depth + 1);
        return lang::makeRef<jdbc::ArrayValue>(type.getArrayDescriptor(), own, std::move(elements));
      }
      case WIRE_OBJECTS:  // as toNativeAt for an Object[]: its items, under the declared type
        return list(itemType(parent, i), conn, depth + 1);
      default:
        bad("unknown kind");
    }
  }

  JNIEnv* env_;
  std::span<const int8_t> wire_;
  jobjectArray types_;
  size_t at_ = 0;
  Ref<jdbc::CharsetConverter> converter_;
};

// The bytes of the array as they are written: on the writer's stack while they fit (an object
// of a few attributes), one growing allocation beyond; a few bytes at a time without a call.
class WireBytes {
 public:
  WireBytes() = default;
  WireBytes(const WireBytes&) = delete;
  WireBytes& operator=(const WireBytes&) = delete;

  int8_t* room(size_t n) {
    if (capacity_ - size_ < n) grow(n);
    int8_t* p = data_ + size_;
    size_ += n;
    return p;
  }
  void push(int8_t b) { *room(1) = b; }
  void append(const int8_t* p, size_t n) {
    if (n > 0) std::memcpy(room(n), p, n);
  }
  std::span<const int8_t> span() const noexcept { return {data_, size_}; }
  size_t size() const noexcept { return size_; }

 private:
  void grow(size_t n) {
    const size_t want = std::max(2 * capacity_, size_ + n);
    std::unique_ptr<int8_t[]> bigger(new int8_t[want]);  // filled as it is written
    std::memcpy(bigger.get(), data_, size_);
    heap_ = std::move(bigger);
    data_ = heap_.get();
    capacity_ = want;
  }

  int8_t inline_[512];
  std::unique_ptr<int8_t[]> heap_;
  int8_t* data_ = inline_;
  size_t size_ = 0;
  size_t capacity_ = sizeof inline_;
};

// Writes the items for Java (AttributeWire.items) as toJavaAt would make them; NotOnWire when
// one cannot cross so.
class WireWriter {
 public:
  std::span<const int8_t> bytes() const noexcept { return out_.span(); }
  // The descriptors the array names by position.
  const std::vector<const KelvorType*>& types() const noexcept { return types_; }

  // The items, at depth as toJavaAt counts it (the array one less).
  void list(const lang::ObjectArray& items, int32_t depth) {
    if (depth - 1 > jdbc::kelcore::MAX_NESTING_DEPTH) throw NotOnWire{};  // toJava refuses it
    putInt(items.length());
    for (int32_t i = 0; i < items.length(); ++i) item(items.at(i), depth);
    if (out_.size() > static_cast<size_t>(INT32_MAX - 8)) throw NotOnWire{};
  }

 private:
  void putInt(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    int8_t* b = out_.room(4);
    b[0] = static_cast<int8_t>(u >> 24);
    b[1] = static_cast<int8_t>(u >> 16);
    b[2] = static_cast<int8_t>(u >> 8);
    b[3] = static_cast<int8_t>(u);
  }
  void putBytes(std::span<const int8_t> b) {
    putInt(static_cast<int32_t>(b.size()));
    out_.append(b.data(), b.size());
  }
  void putText(std::string_view text) {
    putBytes(std::span(reinterpret_cast<const int8_t*>(text.data()), text.size()));
  }

  void item(const lang::Object* o, int32_t depth) {
    if (o == nullptr) {
      out_.push(0);
      return;
    }
    if (depth > jdbc::kelcore::MAX_NESTING_DEPTH) throw NotOnWire{};  // toJava refuses it
    // object and collection values (their subclasses too, as toJavaAt takes them)
    if ((o->classBits() & jdbc::SqlValue::OBJECT_VALUE_BIT) != 0) {
      nested(o, ClassName::OBJECT, depth);
      return;
    }
    if ((o->classBits() & jdbc::SqlValue::ARRAY_VALUE_BIT) != 0) {
      nested(o, ClassName::ARRAY, depth);
      return;
    }
    const jbyte kind = wireKind(o);
    if (kind == 0) throw NotOnWire{};
    out_.push(kind);
    switch (kind) {
      case WIRE_LATIN1:
        putText(static_cast<const lang::String*>(o)->value());
        break;
      case WIRE_UTF16: {
        const std::u16string units =
            lang::String::toUtf16(static_cast<const lang::String*>(o)->value());
        putInt(static_cast<int32_t>(2 * units.size()));
        for (const char16_t u : units) {
          out_.push(static_cast<int8_t>(u >> 8));
          out_.push(static_cast<int8_t>(u & 0xFF));
        }
        break;
      }
      case WIRE_DECIMAL:
        putText(static_cast<const lang::Decimal*>(o)->toString());
        break;
      case WIRE_TIMESTAMP: {
        const auto* t = static_cast<const lang::Timestamp*>(o);
        for (const int32_t field :
             {t->year(), t->month(), t->day(), t->hour(), t->minute(), t->second(), t->nanos()}) {
          putInt(field);
        }
        break;
      }
      case WIRE_BYTES: {
        const auto* b = static_cast<const lang::ByteArray*>(o);
        putBytes(std::span(b->data(), static_cast<size_t>(b->length())));
        break;
      }
      default: {  // a value class
        const auto* v = static_cast<const jdbc::SqlValue*>(o);
        if (!v->hasBytes()) throw NotOnWire{};  // no byte form: the value crosses on its own
        const std::span<const int8_t> form = v->byteSpan();
        putInt(static_cast<int32_t>(form.size()));
        if (kind == JniClasses::KIND_CHAR) {
          const jdbc::CharsetConverter* set =
              static_cast<const jdbc::CharValue*>(o)->characterSet();
          putInt(set != nullptr ? set->id() : 0);
        }
        out_.append(form.data(), form.size());
        break;
      }
    }
  }

  // The position of t in the list beside the array (added when new), -1 for none.
  void putType(const KelvorType* t) {
    if (t == nullptr) {
      putInt(-1);
      return;
    }
    const auto known = std::find(types_.begin(), types_.end(), t);
    putInt(static_cast<int32_t>(known - types_.begin()));
    if (known == types_.end()) types_.push_back(t);
  }

  // A collection value's kind, type and element count, before its list of elements.
  void arrayHeader(const jdbc::ArrayValue& v) {
    out_.push(WIRE_ARRAY);
    putType(v.getDescriptor() ? v.getDescriptor()->getKelvorType().get() : nullptr);
    const auto length = static_cast<uint64_t>(v.elementCount());
    putInt(static_cast<int32_t>(length >> 32));
    putInt(static_cast<int32_t>(length & 0xFFFFFFFF));
  }

  // A collection value whose read kept its elements packed, as nested() writes it with its
  // elements made, each item a value class's kind, length and form; false, with nothing
  // written, for any other value.
  bool packedElements(const jdbc::ArrayValue& v, int32_t depth) {
    std::vector<int8_t> forms;
    std::vector<int32_t> lengths;
    const Ref<KelvorType> element = v.packedForms(forms, lengths);
    if (!element) return false;
    if (depth - 1 > jdbc::kelcore::MAX_NESTING_DEPTH) throw NotOnWire{};  // as list()
    const jbyte kind = packedKind(*element);
    arrayHeader(v);
    putInt(static_cast<int32_t>(lengths.size()));
    const int8_t* form = forms.data();
    for (const int32_t n : lengths) {
      if (n < 0) {
        out_.push(0);
        continue;
      }
      out_.push(kind);
      putInt(n);
      out_.append(form, static_cast<size_t>(n));
      form += n;
    }
    if (out_.size() > static_cast<size_t>(INT32_MAX - 8)) throw NotOnWire{};
    return true;
  }

  // An object or collection value, as toJavaAt makes it: its descriptor's type, and its
  // attributes or its elements (an Object[] of them only).
  void nested(const lang::Object* o, ClassName name, int32_t depth) {
    if (name == ClassName::OBJECT) {
      const auto* v = static_cast<const jdbc::ObjectValue*>(o);
      // the SQL values, else (a platform-style read) the platform objects
      Ref<lang::ObjectArray> attributes = v->getAttributes();
      if (!attributes) attributes = v->getPlatformAttributes(nullptr);
      if (!attributes) throw NotOnWire{};
      out_.push(WIRE_OBJECT);
      putType(v->getDescriptor() ? v->getDescriptor()->getKelvorType().get() : nullptr);
      list(*attributes, depth + 2);
      return;
    }
    const auto* v = static_cast<const jdbc::ArrayValue*>(o);
    // the platform array, else the packed elements' forms (no value made), else the SQL values
    Ref<lang::Object> platform = v->getPlatformArray();
    if (!platform && packedElements(*v, depth + 2)) return;
    Ref<lang::Object> elements =
        platform ? platform
                 : (v->holdsElements() ? Ref<lang::Object>(v->getSqlValueElements()) : nullptr);
    const auto* array = elements ? known<lang::ObjectArray>(ClassName::OBJECTS,
                                                            classOf(elements.get()), elements.get())
                                 : nullptr;
    if (array == nullptr) throw NotOnWire{};
    arrayHeader(*v);
    list(*array, depth + 2);
  }

  WireBytes out_;
  std::vector<const KelvorType*> types_;
};

}  // namespace

Ref<lang::ObjectArray> JniValues::attributesFrom(JNIEnv* env, std::span<const int8_t> wire,
                                                 jobjectArray types, KelvorTypeADT& type,
                                                 jdbc::Connection* conn) {
  WireReader reader(env, wire, types);
  Ref<lang::ObjectArray> items = reader.list(&type, conn, 1);
  reader.end();
  return items;
}

jobject JniValues::attributesWire(JNIEnv* env, const lang::ObjectArray& items) {
  WireWriter writer;
  try {
    writer.list(items, 2);  // the object 0, its attribute array 1
  } catch (const NotOnWire&) {
    return nullptr;
  }
  const std::span<const int8_t> bytes = writer.bytes();
  Local wire(env, env->NewByteArray(static_cast<jsize>(bytes.size())));
  check(env);
  env->SetByteArrayRegion(static_cast<jbyteArray>(wire.get()), 0, static_cast<jsize>(bytes.size()),
                          bytes.data());
  if (writer.types().empty()) return wire.release();
  const JniClasses& c = classes();
  const auto count = static_cast<jsize>(writer.types().size());
  Local types(env, env->NewObjectArray(count, c.object, nullptr));
  check(env);
  for (jsize i = 0; i < count; ++i) {
    Local p(env, peer(env, writer.types()[static_cast<size_t>(i)]));
    env->SetObjectArrayElement(static_cast<jobjectArray>(types.get()), i, p.get());
    check(env);
  }
  jobject out = env->NewObjectArray(2, c.object, nullptr);
  check(env);
  env->SetObjectArrayElement(static_cast<jobjectArray>(out), 0, wire.get());
  env->SetObjectArrayElement(static_cast<jobjectArray>(out), 1, types.get());
  return out;
}

// --- peers ---

jobject JniValues::peer(JNIEnv* env, const lang::Object* o) {
  if (o == nullptr) return nullptr;
  jint kind = PEER_OPAQUE;
  if (as<KelvorTypeCOLLECTION>(o) != nullptr) {
    kind = PEER_COLLECTION;
  } else if (as<KelvorTypeADT>(o) != nullptr) {
    kind = PEER_ADT;
  } else if (as<KelvorType>(o) != nullptr) {
    kind = PEER_TYPE;
  }
  const JniClasses& c = classes();
  jobject p = env->CallStaticObjectMethod(c.nativePeer, c.nativePeerOf,
                                          static_cast<jlong>(reinterpret_cast<uintptr_t>(o)), kind);
  check(env);
  // A descriptor's peer holds the Java Connection of its tree, which holds the C++ connection
  // the tree calls: the connection outlives every descriptor Java can reach.
  if (kind != PEER_OPAQUE) {
    Local known(env, env->GetObjectField(p, c.kelvorTypeConnection));
    const auto* named =
        known.get() == nullptr ? dynamic_cast<const jdbc::kelcore::KelvorNamedType*>(o) : nullptr;
    auto* conn = named != nullptr ? dynamic_cast<JniConnection*>(named->getConnection()) : nullptr;
    if (conn != nullptr) {
      Local java(env, conn->javaConnection(env));
      if (java.get() != nullptr) env->SetObjectField(p, c.kelvorTypeConnection, java.get());
    }
  }
  return p;
}

lang::Object* JniValues::address(JNIEnv* env, jobject peerObject, const char* what) {
  if (peerObject == nullptr) lang::throwNullPointer(what);
  const JniClasses& c = classes();
  if (!env->IsInstanceOf(peerObject, c.nativePeer)) {
    throw lang::ClassCastException(std::string(what) + " is not a library object");
  }
  const jlong at = env->GetLongField(peerObject, c.nativePeerAddress);
  if (at == 0) throw lang::IllegalStateException(std::string(what) + " was released");
  return reinterpret_cast<lang::Object*>(static_cast<uintptr_t>(at));
}

void JniValues::throwWrongPeer(const lang::Object* o, const char* what) {
  throw lang::ClassCastException(std::string(what) + ": " + o->className() +
                                 " is not the class expected");
}

// --- C++ to Java ---

jobject JniValues::toJava(JNIEnv* env, const lang::Object* o) { return toJavaAt(env, o, 0); }

jobject JniValues::toJavaAt(JNIEnv* env, const lang::Object* o, int32_t depth) {
  if (o == nullptr) return nullptr;
  if (depth > jdbc::kelcore::MAX_NESTING_DEPTH) jdbc::ErrorRaiser::raiseStackOverflow();
  const JniClasses& c = classes();
  // The common classes by name: a class test across libraries compares type names, and a
  // chain of them cost more than the conversion itself.
  const ClassName name = classOf(o);
  switch (name) {
    case ClassName::STRING:
      return newString(env, static_cast<const lang::String*>(o)->value());
    case ClassName::BYTES:
      return newBytes(env, static_cast<const lang::ByteArray*>(o));
    case ClassName::NUMBER:
      return newValue(env, c.numberValue, c.numberValueNew, o);
    case ClassName::DATE:
      return newValue(env, c.dateValue, c.dateValueNew, o);
    case ClassName::RAW:
      return newValue(env, c.rawValue, c.rawValueNew, o);
    case ClassName::CHAR: {
      const auto* ch = static_cast<const jdbc::CharValue*>(o);
      Local bytes(env, newBytes(env, *ch));
      const jint id = ch->characterSet() != nullptr ? ch->characterSet()->id() : 0;
      jobject out = env->NewObject(c.charValue, c.charValueNew, bytes.get(), id);
      check(env);
      return out;
    }
    default:
      break;
  }
  if (const auto* s = other<lang::String>(name, o)) return newString(env, s->value());
  if (const auto* b = other<lang::ByteArray>(name, o)) return newBytes(env, b);
  if (const auto* a = other<lang::IntArray>(name, o)) {
    return copyOut<jint>(env, *a, &JNIEnv::NewIntArray, &JNIEnv::SetIntArrayRegion);
  }
  if (const auto* a = other<lang::LongArray>(name, o)) {
    return copyOut<jlong>(env, *a, &JNIEnv::NewLongArray, &JNIEnv::SetLongArrayRegion);
  }
  if (const auto* a = other<lang::PrimitiveArray<int16_t>>(name, o)) {
    return copyOut<jshort>(env, *a, &JNIEnv::NewShortArray, &JNIEnv::SetShortArrayRegion);
  }
  if (const auto* a = other<lang::PrimitiveArray<double>>(name, o)) {
    return copyOut<jdouble>(env, *a, &JNIEnv::NewDoubleArray, &JNIEnv::SetDoubleArrayRegion);
  }
  if (const auto* a = other<lang::PrimitiveArray<float>>(name, o)) {
    return copyOut<jfloat>(env, *a, &JNIEnv::NewFloatArray, &JNIEnv::SetFloatArrayRegion);
  }
  if (const auto* a = known<lang::ObjectArray>(ClassName::OBJECTS, name, o)) {
    if (a->length() >= PACK_MIN) {
      if (jobject packed = packedOf(env, *a)) return packed;
    }
    jobjectArray out = env->NewObjectArray(a->length(), c.object, nullptr);
    check(env);
    Local hold(env, out);
    for (int32_t i = 0; i < a->length(); ++i) {
      LocalFrame frame(env);
      env->SetObjectArrayElement(out, i, toJavaAt(env, a->at(i), depth + 1));
      check(env);
    }
    return hold.release();
  }
  if (const auto* d = known<lang::Decimal>(ClassName::DECIMAL, name, o)) {
    Local text(env, newString(env, d->toString()));
    jobject r = env->NewObject(c.bigDecimal, c.bigDecimalFromText, text.get());
    check(env);
    return r;
  }
  if (const auto* t = known<lang::Timestamp>(ClassName::TIMESTAMP, name, o)) {
    jobject r =
        env->CallStaticObjectMethod(c.localDateTime, c.localDateTimeOf, t->year(), t->month(),
                                    t->day(), t->hour(), t->minute(), t->second(), t->nanos());
    check(env);
    return r;
  }
  bool done = false;
  jobject r = nullptr;
  if (name == ClassName::OTHER) r = boxed<int32_t, jint>(env, o, c.integer, c.integerOf, done);
  if (!done) r = boxed<int64_t, jlong>(env, o, c.longClass, c.longOf, done);
  if (!done) r = boxed<int16_t, jshort>(env, o, c.shortClass, c.shortOf, done);
  if (!done) r = boxed<int8_t, jbyte>(env, o, c.byteClass, c.byteOf, done);
  if (!done) r = boxed<double, jdouble>(env, o, c.doubleClass, c.doubleOf, done);
  if (!done) r = boxed<float, jfloat>(env, o, c.floatClass, c.floatOf, done);
  if (!done) r = boxed<bool, jboolean>(env, o, c.booleanClass, c.booleanOf, done);
  if (done) return r;

  if (const auto* v = known<jdbc::ObjectValue>(ClassName::OBJECT, name, o)) {
    // A platform-style reader leaves platform objects only.
    Ref<lang::ObjectArray> attributes = v->getAttributes();
    if (!attributes) attributes = v->getPlatformAttributes(nullptr);
    Local type(env,
               peer(env, v->getDescriptor() ? v->getDescriptor()->getKelvorType().get() : nullptr));
    Local items(env, toJavaAt(env, attributes.get(), depth + 1));
    jobject out = env->NewObject(c.objectValue, c.objectValueNew, type.get(), items.get());
    check(env);
    return out;
  }
  if (const auto* v = known<jdbc::ArrayValue>(ClassName::ARRAY, name, o)) {
    Local type(env,
               peer(env, v->getDescriptor() ? v->getDescriptor()->getKelvorType().get() : nullptr));
    Ref<lang::Object> platform = v->getPlatformArray();
    // Elements of value classes cross packed, and the Java value makes their objects on first
    // access.
    if (!platform) {
      Local elements(env, packedElementsOf(env, *v));
      if (elements.get() != nullptr) {
        jobject out = env->NewObject(c.arrayValue, c.arrayValueNewPacked, type.get(),
                                     elements.get(), static_cast<jlong>(v->elementCount()));
        check(env);
        return out;
      }
    }
    Ref<lang::Object> elements =
        platform ? platform
                 : (v->holdsElements() ? Ref<lang::Object>(v->getSqlValueElements()) : nullptr);
    Local items(env, toJavaAt(env, elements.get(), depth + 1));
    // A collection the server keeps crosses as its locator only.
    Local locator(env, elements ? nullptr : newBytes(env, v->getLocator().get()));
    jobject out = env->NewObject(c.arrayValue, c.arrayValueNew, type.get(), items.get(),
                                 locator.get(), static_cast<jlong>(v->elementCount()));
    check(env);
    return out;
  }
  if (const auto* v = other<jdbc::SqlValue>(name, o)) {
    Local bytes(env, newBytes(env, *v));
    jobject out = nullptr;
    if (other<jdbc::NumberValue>(name, o) != nullptr) {
      out = env->NewObject(c.numberValue, c.numberValueNew, bytes.get());
    } else if (const auto* ch = other<jdbc::CharValue>(name, o)) {
      const jint id = ch->characterSet() != nullptr ? ch->characterSet()->id() : 0;
      out = env->NewObject(c.charValue, c.charValueNew, bytes.get(), id);
    } else if (other<jdbc::DateValue>(name, o) != nullptr) {
      out = env->NewObject(c.dateValue, c.dateValueNew, bytes.get());
    } else if (other<jdbc::LocatorValue>(name, o) != nullptr) {
      out = env->NewObject(c.lobValue, c.lobValueNew, lobKind(o), bytes.get());
    } else if (other<jdbc::RefValue>(name, o) != nullptr) {
      out = env->NewObject(c.refValue, c.refValueNew, bytes.get());
    } else {
      out = env->NewObject(c.rawValue, c.rawValueNew, bytes.get());
    }
    check(env);
    return out;
  }
  return peer(env, o);
}

// --- Java to C++ ---

Ref<lang::Object> JniValues::toNative(JNIEnv* env, jobject value, KelvorType* declared,
                                      jdbc::Connection* conn) {
  return toNativeAt(env, value, declared, conn, 0);
}

Ref<lang::Object> JniValues::toNativeAt(JNIEnv* env, jobject value, KelvorType* declared,
                                        jdbc::Connection* conn, int32_t depth) {
  if (value == nullptr) return nullptr;
  // security: the nesting of a Java value is the caller's; it is bounded like an image's.
  if (depth > jdbc::kelcore::MAX_NESTING_DEPTH) jdbc::ErrorRaiser::raiseStackOverflow();
  const JniClasses& c = classes();
  const auto is = [&](jclass cls) { return env->IsInstanceOf(value, cls) == JNI_TRUE; };

  if (is(c.sqlValue)) {
    Local raw(env, env->GetObjectField(value, c.sqlValueBytes));
    Ref<lang::ByteArray> b = bytes(env, static_cast<jbyteArray>(raw.get()));
    switch (env->GetIntField(value, c.sqlValueKind)) {
      case JniClasses::KIND_NUMBER:
        return lang::makeRef<jdbc::NumberValue>(std::move(b));
      case JniClasses::KIND_DATE:
        return lang::makeRef<jdbc::DateValue>(std::move(b));
      case JniClasses::KIND_RAW:
        return lang::makeRef<jdbc::RawValue>(std::move(b));
      case JniClasses::KIND_CHAR: {
        const jint id = env->GetIntField(value, c.charValueCharset);
        return lang::makeRef<jdbc::CharValue>(std::move(b), jdbc::CharsetConverter::forId(id));
      }
      default:
        break;
    }
    // LOB locators and REFs are made by their descriptor.
    KelvorType* type = effective(declared);
    if (type == nullptr) {
      throw lang::IllegalArgumentException("a locator or REF value needs its declared type");
    }
    return type->toObject(std::move(b), STYLE_SQL_VALUE, nullptr);
  }
  if (is(c.string)) return string(env, static_cast<jstring>(value));
  if (is(c.nativePeer)) return Ref<lang::Object>(address(env, value, "library object"));
  if (is(c.objectValue)) {
    Local typeRef(env, env->GetObjectField(value, c.objectValueType));
    auto& type = typeRef.get() != nullptr
                     ? native<KelvorTypeADT>(env, typeRef.get(), "object value type")
                     : *[&] {
                         auto* adt = dynamic_cast<KelvorTypeADT*>(effective(declared));
                         if (adt == nullptr) lang::throwNullPointer("object value type");
                         return adt;
                       }();
    Local items(env, env->GetObjectField(value, c.objectValueAttributes));
    if (items.get() == nullptr) lang::throwNullPointer("object value attributes");
    type.getAttributeTypes();  // parses the type when it was made by name
    Ref<lang::ObjectArray> attributes = objectsOf(env, static_cast<jobjectArray>(items.get()),
                                                  &type, conn, depth, &JniValues::toNativeAt);
    jdbc::Connection* own = type.getConnection() != nullptr ? type.getConnection() : conn;
    return type.toSqlValue(attributes.get(), own);
  }
  if (is(c.arrayValue)) {
    Local typeRef(env, env->GetObjectField(value, c.arrayValueType));
    // Without its own descriptor, a collection value takes the declared one.
    auto& type = typeRef.get() != nullptr
                     ? native<KelvorTypeCOLLECTION>(env, typeRef.get(), "collection value type")
                     : *[&] {
                         auto* coll = dynamic_cast<KelvorTypeCOLLECTION*>(effective(declared));
                         if (coll == nullptr) lang::throwNullPointer("collection value type");
                         return coll;
                       }();
    jdbc::Connection* own = type.getConnection() != nullptr ? type.getConnection() : conn;
    type.getNumAttributes();  // parses the type when it was made by name
    Local locator(env, env->GetObjectField(value, c.arrayValueLocator));
    if (locator.get() != nullptr) {
      return jdbc::ArrayValue::ofLocator(type.getArrayDescriptor(), own,
                                         bytes(env, static_cast<jbyteArray>(locator.get())));
    }
    Local items(env, env->CallObjectMethod(value, c.arrayValueHeld));
    check(env);
    Ref<lang::Object> elements =
        items.get() != nullptr && env->IsInstanceOf(items.get(), c.packedValues)
            ? Ref<lang::Object>(valuesOfPacked(env, items.get()))
            : toNativeAt(env, items.get(), &type, own, depth);
    return lang::makeRef<jdbc::ArrayValue>(type.getArrayDescriptor(), own, std::move(elements));
  }
  if (is(c.bigDecimal)) {
    Local text(env, env->CallObjectMethod(value, c.bigDecimalToString));
    check(env);
    return lang::Decimal::parse(string(env, static_cast<jstring>(text.get()))->value());
  }
  if (is(c.integer))
    return lang::Boxed<int32_t>::of(checked(env, env->CallIntMethod(value, c.intValue)));
  if (is(c.longClass))
    return lang::Boxed<int64_t>::of(checked(env, env->CallLongMethod(value, c.longValue)));
  if (is(c.shortClass))
    return lang::Boxed<int16_t>::of(checked(env, env->CallShortMethod(value, c.shortValue)));
  if (is(c.byteClass))
    return lang::Boxed<int8_t>::of(checked(env, env->CallByteMethod(value, c.byteValue)));
  if (is(c.doubleClass))
    return lang::Boxed<double>::of(checked(env, env->CallDoubleMethod(value, c.doubleValue)));
  if (is(c.floatClass))
    return lang::Boxed<float>::of(checked(env, env->CallFloatMethod(value, c.floatValue)));
  if (is(c.booleanClass)) {
    return lang::Boxed<bool>::of(checked(env, env->CallBooleanMethod(value, c.booleanValue)) ==
                                 JNI_TRUE);
  }
  if (is(c.localDateTime)) {
    const auto get = [&](jmethodID m) {
      return static_cast<int32_t>(checked(env, env->CallIntMethod(value, m)));
    };
    return lang::Timestamp::of(get(c.ldtYear), get(c.ldtMonth), get(c.ldtDay), get(c.ldtHour),
                               get(c.ldtMinute), get(c.ldtSecond), get(c.ldtNano));
  }
  if (is(c.byteArray)) return bytes(env, static_cast<jbyteArray>(value));
  if (is(c.intArray))
    return copyIn<jint>(env, static_cast<jintArray>(value), &JNIEnv::GetIntArrayRegion);
  if (is(c.longArray))
    return copyIn<jlong>(env, static_cast<jlongArray>(value), &JNIEnv::GetLongArrayRegion);
  if (is(c.shortArray)) {
    return copyIn<jshort>(env, static_cast<jshortArray>(value), &JNIEnv::GetShortArrayRegion);
  }
  if (is(c.doubleArray)) {
    return copyIn<jdouble>(env, static_cast<jdoubleArray>(value), &JNIEnv::GetDoubleArrayRegion);
  }
  if (is(c.floatArray)) {
    return copyIn<jfloat>(env, static_cast<jfloatArray>(value), &JNIEnv::GetFloatArrayRegion);
  }
  if (is(c.objectArray)) {
    return objectsOf(env, static_cast<jobjectArray>(value), declared, conn, depth,
                     &JniValues::toNativeAt);
  }
  throw lang::ClassCastException("no library form for this Java value");
}

}  // namespace kelvor::jni
