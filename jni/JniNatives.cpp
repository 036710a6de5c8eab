#include "jni/JniNatives.h"

#include <iterator>
#include <string>

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/CharsetConverter.h"
#include "driver/DateValue.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "jni/JniClasses.h"
#include "jni/JniConnection.h"
#include "jni/JniRaise.h"
#include "jni/JniValues.h"
#include "lang/Decimal.h"
#include "lang/Exceptions.h"
#include "lang/SharedBlock.h"
#include "lang/Timestamp.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "types/KelvorNamedType.h"

namespace kelvor::jni {

namespace {

using jdbc::kelcore::KelvorNamedType;
using jdbc::kelcore::KelvorType;
using jdbc::kelcore::KelvorTypeADT;
using jdbc::kelcore::KelvorTypeCOLLECTION;
using lang::Ref;

// ---- peers ----------------------------------------------------------------------------------

void peerRetain(JNIEnv*, jclass, jlong at) {
  reinterpret_cast<const lang::Object*>(static_cast<uintptr_t>(at))->retain();
}
void peerRelease(JNIEnv*, jclass, jlong at) {
  reinterpret_cast<const lang::Object*>(static_cast<uintptr_t>(at))->release();
}

// ---- connection -----------------------------------------------------------------------------

jlong connectionOpen(JNIEnv* env, jclass, jobject services) {
  if (services == nullptr) lang::throwNullPointer("connection services");
  auto conn = lang::makeRef<JniConnection>(env, services);
  conn->retain();  // the Java peer's count, released by its cleaner
  return static_cast<jlong>(reinterpret_cast<uintptr_t>(conn.get()));
}
void connectionClose(JNIEnv* env, jclass, jobject self) {
  JniValues::native<JniConnection>(env, self, "connection").close();
}
void connectionBind(JNIEnv* env, jclass, jobject self) {
  JniValues::native<JniConnection>(env, self, "connection").bind(env, self);
}
jdbc::Connection* connectionOf(JNIEnv* env, jobject conn) {
  return &JniValues::native<JniConnection>(env, conn, "connection");
}

// ---- KelvorType -----------------------------------------------------------------------------

KelvorType& typeOf(JNIEnv* env, jobject self) {
  return JniValues::native<KelvorType>(env, self, "type");
}
KelvorTypeADT& objectTypeOf(JNIEnv* env, jobject self) {
  return JniValues::native<KelvorTypeADT>(env, self, "object type");
}
KelvorTypeCOLLECTION& collectionTypeOf(JNIEnv* env, jobject self) {
  return JniValues::native<KelvorTypeCOLLECTION>(env, self, "collection type");
}
jdbc::Connection* connectionOfType(KelvorType& type) {
  auto* named = dynamic_cast<KelvorNamedType*>(&type);
  return named != nullptr ? named->getConnection() : nullptr;
}

jint typeCode(JNIEnv* env, jobject self) { return typeOf(env, self).getTypeCode(); }
jstring sqlName(JNIEnv* env, jobject self) {
  auto* named = dynamic_cast<KelvorNamedType*>(&typeOf(env, self));
  if (named == nullptr) return nullptr;
  const std::optional<std::string> name = named->getSqlName(false);
  return name ? JniValues::newString(env, *name) : nullptr;
}
jobject toSqlValue(JNIEnv* env, jobject self, jobject value) {
  KelvorType& type = typeOf(env, self);
  jdbc::Connection* conn = connectionOfType(type);
  Ref<lang::Object> v = JniValues::toNative(env, value, &type, conn);
  Ref<jdbc::SqlValue> sql = type.toSqlValue(v.get(), conn);
  return JniValues::toJava(env, sql.get());
}
jobject toObject(JNIEnv* env, jobject self, jbyteArray bytes, jint style) {
  Ref<lang::Object> v = typeOf(env, self).toObject(JniValues::bytes(env, bytes), style, nullptr);
  return JniValues::toJava(env, v.get());
}

// ---- KelvorTypeADT --------------------------------------------------------------------------

jobject objectForName(JNIEnv* env, jclass, jobject conn, jstring name) {
  jdbc::Connection* c = connectionOf(env, conn);
  const std::string n = JniValues::requireString(env, name, "type name");
  Ref<jdbc::ObjectDescriptor> d = jdbc::ObjectDescriptor::createDescriptor(n, c);
  return JniValues::peer(env, d->getKelvorType().get());
}
jint numAttributes(JNIEnv* env, jobject self) { return objectTypeOf(env, self).getNumAttributes(); }
jstring attributeName(JNIEnv* env, jobject self, jint i) {
  return JniValues::newString(env, objectTypeOf(env, self).getAttributeName(i));
}
jstring attributeTypeName(JNIEnv* env, jobject self, jint i) {
  return JniValues::newString(env, objectTypeOf(env, self).getAttributeTypeName(i));
}
jobject attributeType(JNIEnv* env, jobject self, jint i) {
  Ref<KelvorType> t = objectTypeOf(env, self).getAttributeType(i);
  return JniValues::peer(env, t.get());
}
jbyteArray toImage(JNIEnv* env, jobject self, jobject value) {
  KelvorTypeADT& type = objectTypeOf(env, self);
  if (value == nullptr) lang::throwNullPointer("value");
  Ref<lang::Object> v = JniValues::toNative(env, value, &type, type.getConnection());
  Ref<lang::ByteArray> image = type.toImage(v.get());
  return JniValues::newBytes(env, image.get());
}
// The library's objects of attributes of a value of type that crossed in one array.
Ref<lang::ObjectArray> wireItems(JNIEnv* env, jbyteArray attributes, jobjectArray types,
                                 KelvorTypeADT& type, jdbc::Connection* conn) {
  if (attributes == nullptr) lang::throwNullPointer("attributes");
  const Ref<lang::ByteArray> wire = JniValues::bytes(env, attributes);
  return JniValues::attributesFrom(
      env, std::span<const int8_t>(wire->data(), static_cast<size_t>(wire->length())), types, type,
      conn);
}

// toImage of an object value whose attributes crossed in one array: the same steps as toImage
// takes for an ObjectValue (its own descriptor, valueType, else this one), without a call back
// into Java for each attribute.
jbyteArray toImagePacked(JNIEnv* env, jobject self, jobject valueType, jbyteArray attributes,
                         jobjectArray types) {
  KelvorTypeADT& declared = objectTypeOf(env, self);
  KelvorTypeADT& type = valueType != nullptr
                            ? JniValues::native<KelvorTypeADT>(env, valueType, "object value type")
                            : declared;
  type.getAttributeTypes();  // parses the type when it was made by name
  // The values live for this call alone: placed side by side, not an allocation each.
  const lang::BlockArena::Scope placed;
  // the items take the connection toImage gives them: this type's
  Ref<lang::ObjectArray> items = wireItems(env, attributes, types, type, declared.getConnection());
  jdbc::Connection* own =
      type.getConnection() != nullptr ? type.getConnection() : declared.getConnection();
  Ref<lang::Object> v = type.toSqlValue(items.get(), own);
  Ref<lang::ByteArray> image = declared.toImage(v.get());
  return JniValues::newBytes(env, image.get());
}

// v for Java: an object value of type itself whose attributes can all cross in one array as
// that array (KelvorTypeADT makes the ObjectValue in Java), anything else as toJava makes it.
jobject ownValueOf(JNIEnv* env, KelvorTypeADT& type, const lang::Object* v) {
  if (const auto* object = jdbc::SqlValue::as<jdbc::ObjectValue>(v)) {
    const Ref<jdbc::ObjectDescriptor>& descriptor = object->getDescriptor();
    if (descriptor && descriptor->getKelvorType().get() == &type) {
      // as toJava takes them: the SQL values, else (a platform-style read) the platform objects
      Ref<lang::ObjectArray> items = object->getAttributes();
      if (!items) items = object->getPlatformAttributes(nullptr);
      if (items) {
        if (jobject wire = JniValues::attributesWire(env, *items)) return wire;
      }
    }
  }
  return JniValues::toJava(env, v);
}

Ref<lang::Object> readImage(JNIEnv* env, KelvorTypeADT& type, jbyteArray image, jlong offset,
                            jint style) {
  if (image == nullptr) lang::throwNullPointer("image");
  Ref<lang::ByteArray> bytes = JniValues::bytes(env, image);
  return type.fromImage(bytes.get(), offset, nullptr, style, nullptr);
}
jobject fromImage(JNIEnv* env, jobject self, jbyteArray image, jlong offset, jint style) {
  KelvorTypeADT& type = objectTypeOf(env, self);
  return JniValues::toJava(env, readImage(env, type, image, offset, style).get());
}
// fromImage in the SQL or the platform style: an object value of this very type whose
// attributes can all cross in one array comes back as that array (KelvorTypeADT.fromImage makes
// the ObjectValue in Java); anything else as toJava makes it.
jobject fromImagePacked(JNIEnv* env, jobject self, jbyteArray image, jlong offset, jint style) {
  KelvorTypeADT& type = objectTypeOf(env, self);
  return ownValueOf(env, type, readImage(env, type, image, offset, style).get());
}

// toSqlValue of an object type's attributes that crossed in one array: the same steps as
// toSqlValue takes for an Object[]; the value made comes back as one array too when it can.
jobject toSqlValuePacked(JNIEnv* env, jobject self, jbyteArray attributes, jobjectArray types) {
  KelvorTypeADT& type = objectTypeOf(env, self);
  jdbc::Connection* conn = connectionOfType(type);
  // The objects live for this call alone: placed side by side, not an allocation each.
  const lang::BlockArena::Scope placed;
  Ref<lang::ObjectArray> items = wireItems(env, attributes, types, type, conn);
  Ref<jdbc::SqlValue> sql = type.toSqlValue(items.get(), conn);
  return ownValueOf(env, type, sql.get());
}

// ---- KelvorTypeCOLLECTION -------------------------------------------------------------------

jobject collectionForName(JNIEnv* env, jclass, jobject conn, jstring name) {
  jdbc::Connection* c = connectionOf(env, conn);
  const std::string n = JniValues::requireString(env, name, "type name");
  Ref<jdbc::ArrayDescriptor> d = jdbc::ArrayDescriptor::createDescriptor(n, c);
  return JniValues::peer(env, d->getKelvorType().get());
}
jobject elementType(JNIEnv* env, jobject self) {
  KelvorTypeCOLLECTION& type = collectionTypeOf(env, self);
  type.getNumAttributes();  // parses a type made by name
  return JniValues::peer(env, type.getElementType().get());
}
jlong maxElements(JNIEnv* env, jobject self) {
  KelvorTypeCOLLECTION& type = collectionTypeOf(env, self);
  type.getNumAttributes();
  return type.getMaxElements();
}
Ref<lang::Object> readSlice(JNIEnv* env, jobject self, jbyteArray image, jlong offset, jlong begin,
                            jint count, jint style) {
  KelvorTypeCOLLECTION& type = collectionTypeOf(env, self);
  if (image == nullptr) lang::throwNullPointer("image");
  Ref<lang::ByteArray> bytes = JniValues::bytes(env, image);
  return type.fromImage(bytes.get(), offset, nullptr, begin, count, style, nullptr);
}
jobject fromImageSlice(JNIEnv* env, jobject self, jbyteArray image, jlong offset, jlong begin,
                       jint count, jint style) {
  Ref<lang::Object> v = readSlice(env, self, image, offset, begin, count, style);
  return JniValues::toJava(env, v.get());
}
// The primitive-array paths: the elements as the primitive array of the access kind.
jobject readPrimitive(JNIEnv* env, jobject self, jbyteArray image, jlong offset, jlong begin,
                      jint count, jint accessKind) {
  using jdbc::kelcore::KelvorTypeNUMBER;
  if (accessKind < KelvorTypeNUMBER::ACCESS_INT_ARRAY ||
      accessKind > KelvorTypeNUMBER::ACCESS_SHORT_ARRAY) {
    throw lang::IllegalArgumentException("not a primitive access kind");
  }
  Ref<lang::Object> v = readSlice(env, self, image, offset, begin, count, accessKind);
  auto* array = dynamic_cast<jdbc::ArrayValue*>(v.get());
  if (array == nullptr) return nullptr;  // a null collection
  Ref<lang::Object> elements = array->getPlatformArray();
  return JniValues::toJava(env, elements.get());
}

// ---- conversions of the value classes -------------------------------------------------------

Ref<lang::ByteArray> requireBytes(JNIEnv* env, jbyteArray bytes) {
  if (bytes == nullptr) lang::throwNullPointer("bytes");
  return JniValues::bytes(env, bytes);
}
jobject numberToBigDecimal(JNIEnv* env, jclass, jbyteArray bytes) {
  Ref<lang::ByteArray> b = requireBytes(env, bytes);
  return JniValues::toJava(env, jdbc::NumberValue::toBigDecimal(b.get()).get());
}
jint numberToInt(JNIEnv* env, jclass, jbyteArray bytes) {
  return jdbc::NumberValue::toInt(requireBytes(env, bytes).get());
}
jlong numberToLong(JNIEnv* env, jclass, jbyteArray bytes) {
  return jdbc::NumberValue::toLong(requireBytes(env, bytes).get());
}
jdouble numberToDouble(JNIEnv* env, jclass, jbyteArray bytes) {
  return jdbc::NumberValue::toDouble(requireBytes(env, bytes).get());
}
jbyteArray numberFromBigDecimal(JNIEnv* env, jclass, jobject value) {
  if (value == nullptr) lang::throwNullPointer("value");
  Ref<lang::Object> d = JniValues::toNative(env, value, nullptr, nullptr);
  auto* decimal = dynamic_cast<lang::Decimal*>(d.get());
  if (decimal == nullptr) throw lang::ClassCastException("not a BigDecimal");
  return JniValues::newBytes(env, *jdbc::NumberValue::fromDecimal(*decimal));
}
jbyteArray numberFromLong(JNIEnv* env, jclass, jlong value) {
  const jdbc::NumberValue v{static_cast<int64_t>(value)};
  return JniValues::newBytes(env, v);
}
jbyteArray numberFromDouble(JNIEnv* env, jclass, jdouble value) {
  const jdbc::NumberValue v{static_cast<double>(value)};
  return JniValues::newBytes(env, v);
}
jstring charToString(JNIEnv* env, jclass, jbyteArray bytes, jint charset) {
  Ref<lang::ByteArray> b = requireBytes(env, bytes);
  const std::string text = jdbc::CharsetConverter::forId(charset)->decode(*b);
  return JniValues::newString(env, text);
}
jbyteArray charFromString(JNIEnv* env, jclass, jstring text, jint charset) {
  const std::string utf8 = JniValues::requireString(env, text, "text");
  return JniValues::newBytes(env, jdbc::CharsetConverter::forId(charset)->encode(utf8).get());
}
jobject dateToLocalDateTime(JNIEnv* env, jclass, jbyteArray bytes) {
  Ref<lang::ByteArray> b = requireBytes(env, bytes);
  return JniValues::toJava(env, jdbc::DateValue::toTimestamp(b.get()).get());
}
jbyteArray dateFromLocalDateTime(JNIEnv* env, jclass, jobject value) {
  if (value == nullptr) lang::throwNullPointer("value");
  Ref<lang::Object> t = JniValues::toNative(env, value, nullptr, nullptr);
  auto* ts = dynamic_cast<lang::Timestamp*>(t.get());
  if (ts == nullptr) throw lang::ClassCastException("not a LocalDateTime");
  return JniValues::newBytes(env, *jdbc::DateValue::fromTimestamp(*ts));
}

// ---- the tables -----------------------------------------------------------------------------

#define KELCORE_NATIVE(Name, Signature, Fn)                \
  JNINativeMethod {                                        \
    const_cast<char*>(Name), const_cast<char*>(Signature), \
        reinterpret_cast<void*>(&Guarded<&Fn>::call)       \
  }

#define KELCORE_PEER "Lkelvor/jdbc/kelcore/"
#define KELCORE_OBJ "Ljava/lang/Object;"

const JNINativeMethod PEER_METHODS[] = {
    KELCORE_NATIVE("retain", "(J)V", peerRetain),
    KELCORE_NATIVE("release", "(J)V", peerRelease),
};
const JNINativeMethod CONNECTION_METHODS[] = {
    KELCORE_NATIVE("open", "(Lkelvor/jdbc/ConnectionServices;)J", connectionOpen),
    KELCORE_NATIVE("close0", "(Lkelvor/jdbc/Connection;)V", connectionClose),
    KELCORE_NATIVE("bind0", "(Lkelvor/jdbc/Connection;)V", connectionBind),
};
const JNINativeMethod TYPE_METHODS[] = {
    KELCORE_NATIVE("getTypeCode", "()I", typeCode),
    KELCORE_NATIVE("getSqlName", "()Ljava/lang/String;", sqlName),
    KELCORE_NATIVE("toSqlValue0", "(" KELCORE_OBJ ")" KELCORE_OBJ, toSqlValue),
    KELCORE_NATIVE("toObject", "([BI)" KELCORE_OBJ, toObject),
};
const JNINativeMethod ADT_METHODS[] = {
    KELCORE_NATIVE("forName0",
                   "(Lkelvor/jdbc/Connection;Ljava/lang/String;)" KELCORE_PEER "NativePeer;",
                   objectForName),
    KELCORE_NATIVE("getNumAttributes", "()I", numAttributes),
    KELCORE_NATIVE("getAttributeName", "(I)Ljava/lang/String;", attributeName),
    KELCORE_NATIVE("getAttributeTypeName", "(I)Ljava/lang/String;", attributeTypeName),
    KELCORE_NATIVE("getAttributeType0", "(I)" KELCORE_PEER "NativePeer;", attributeType),
    KELCORE_NATIVE("toImage0", "(" KELCORE_OBJ ")[B", toImage),
    KELCORE_NATIVE("toSqlValuePacked0", "([B[" KELCORE_OBJ ")" KELCORE_OBJ, toSqlValuePacked),
    KELCORE_NATIVE("toImagePacked0", "(" KELCORE_PEER "KelvorTypeADT;[B[" KELCORE_OBJ ")[B",
                   toImagePacked),
    KELCORE_NATIVE("fromImage0", "([BJI)" KELCORE_OBJ, fromImage),
    KELCORE_NATIVE("fromImagePacked0", "([BJI)" KELCORE_OBJ, fromImagePacked),
};
const JNINativeMethod COLLECTION_METHODS[] = {
    KELCORE_NATIVE("forName0",
                   "(Lkelvor/jdbc/Connection;Ljava/lang/String;)" KELCORE_PEER "NativePeer;",
                   collectionForName),
    KELCORE_NATIVE("getElementType0", "()" KELCORE_PEER "NativePeer;", elementType),
    KELCORE_NATIVE("getMaxElements", "()J", maxElements),
    KELCORE_NATIVE("fromImage", "([BJJII)" KELCORE_OBJ, fromImageSlice),
    KELCORE_NATIVE("readPrimitive", "([BJJII)" KELCORE_OBJ, readPrimitive),
};
const JNINativeMethod CONVERSION_METHODS[] = {
    KELCORE_NATIVE("numberToBigDecimal", "([B)Ljava/math/BigDecimal;", numberToBigDecimal),
    KELCORE_NATIVE("numberToInt", "([B)I", numberToInt),
    KELCORE_NATIVE("numberToLong", "([B)J", numberToLong),
    KELCORE_NATIVE("numberToDouble", "([B)D", numberToDouble),
    KELCORE_NATIVE("numberFromBigDecimal", "(Ljava/math/BigDecimal;)[B", numberFromBigDecimal),
    KELCORE_NATIVE("numberFromLong", "(J)[B", numberFromLong),
    KELCORE_NATIVE("numberFromDouble", "(D)[B", numberFromDouble),
    KELCORE_NATIVE("charToString", "([BI)Ljava/lang/String;", charToString),
    KELCORE_NATIVE("charFromString", "(Ljava/lang/String;I)[B", charFromString),
    KELCORE_NATIVE("dateToLocalDateTime", "([B)Ljava/time/LocalDateTime;", dateToLocalDateTime),
    KELCORE_NATIVE("dateFromLocalDateTime", "(Ljava/time/LocalDateTime;)[B", dateFromLocalDateTime),
};

#undef KELCORE_NATIVE
#undef KELCORE_PEER
#undef KELCORE_OBJ

template <size_t N>
bool registerTable(JNIEnv* env, const char* className, const JNINativeMethod (&table)[N]) {
  jclass cls = env->FindClass(className);
  if (cls == nullptr) return false;
  const bool ok = env->RegisterNatives(cls, table, static_cast<jint>(N)) == JNI_OK;
  env->DeleteLocalRef(cls);
  return ok;
}

}  // namespace

bool JniNatives::registerAll(JNIEnv* env) {
  return registerTable(env, "kelvor/jdbc/kelcore/NativePeer", PEER_METHODS) &&
         registerTable(env, "kelvor/jdbc/Connection", CONNECTION_METHODS) &&
         registerTable(env, "kelvor/jdbc/kelcore/KelvorType", TYPE_METHODS) &&
         registerTable(env, "kelvor/jdbc/kelcore/KelvorTypeADT", ADT_METHODS) &&
         registerTable(env, "kelvor/jdbc/kelcore/KelvorTypeCOLLECTION", COLLECTION_METHODS) &&
         registerTable(env, "kelvor/jdbc/Conversions", CONVERSION_METHODS);
}

}  // namespace kelvor::jni

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void*) {
  JNIEnv* env = nullptr;
  if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_10) != JNI_OK) return JNI_ERR;
  kelvor::jni::classes().vm = vm;
  if (!kelvor::jni::classes().load(env)) return JNI_ERR;
  if (!kelvor::jni::JniNatives::registerAll(env)) return JNI_ERR;
  return JNI_VERSION_10;
}
