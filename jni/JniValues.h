// Values across the JNI edge. Strings cross as UTF-16 (GetStringRegion / NewString, or the
// code units in an array of attributes), or as their bytes when ASCII: never the VM's modified
// UTF-8; arrays are copied with Get/Set<Type>ArrayRegion; descriptors and other library objects
// cross as peers (kelvor.jdbc.kelcore.NativePeer), one Java object per C++ object while that
// Java object lives.
//
// C++ to Java: driver values become the kelvor.jdbc value classes holding their bytes (objects
// and collections with their descriptors' peers), platform objects Java's own (BigDecimal,
// String, LocalDateTime, boxed primitives, primitive and object arrays).
// Java to C++: the reverse; a value class is made the library's value of the same class, guided
// by the declared descriptor where the class alone does not tell (LOB locators, REFs, the
// attributes and elements of objects and collections).
//
// Every function returns at most one new local reference and deletes its temporaries, so that
// loops over a million elements hold a bounded number of local references.
#pragma once

#include <jni.h>

#include <cstdint>
#include <span>
#include <string_view>

#include "lang/Array.h"
#include "lang/Object.h"
#include "lang/Ref.h"
#include "lang/String.h"

namespace kelvor::jdbc {
class Connection;
class SqlValue;
}  // namespace kelvor::jdbc
namespace kelvor::jdbc::kelcore {
class KelvorType;
class KelvorTypeADT;
}  // namespace kelvor::jdbc::kelcore

namespace kelvor::jni {

class JniValues {
 public:
  // Peer kinds, as NativePeer.of takes them.
  static constexpr jint PEER_OPAQUE = 0;
  static constexpr jint PEER_TYPE = 1;
  static constexpr jint PEER_ADT = 2;
  static constexpr jint PEER_COLLECTION = 3;

  // --- strings and bytes ---
  static jstring newString(JNIEnv* env, std::string_view utf8);
  // Null for null.
  static lang::Ref<lang::String> string(JNIEnv* env, jstring s);
  // A Java string argument that must not be null (NullPointerException).
  static std::string requireString(JNIEnv* env, jstring s, const char* what);
  static lang::Ref<lang::ByteArray> bytes(JNIEnv* env, jbyteArray a);
  static jbyteArray newBytes(JNIEnv* env, const lang::ByteArray* a);
  // The value's byte form; null for a value without bytes.
  static jbyteArray newBytes(JNIEnv* env, const jdbc::SqlValue& v);

  // --- an object value's attributes in one array (kelvor.jdbc.AttributeWire) ---
  // The library's objects of the attributes of a value of type as Java wrote them (types: the
  // descriptors the array names by position), as toNative makes them of the same Java objects;
  // every count, length and position is checked against what is there before it is used
  // (IllegalArgumentException).
  static lang::Ref<lang::ObjectArray> attributesFrom(JNIEnv* env, std::span<const int8_t> wire,
                                                     jobjectArray types,
                                                     jdbc::kelcore::KelvorTypeADT& type,
                                                     jdbc::Connection* conn);
  // An object value's attributes for AttributeWire.items as toJava would make them: the array
  // (byte[]), or the array and the peers of the descriptors it names ({byte[], Object[]}); null
  // when one cannot cross so (the caller takes toJava instead).
  static jobject attributesWire(JNIEnv* env, const lang::ObjectArray& items);

  // --- peers ---
  // The Java peer of a library object (the same Java object while it lives).
  static jobject peer(JNIEnv* env, const lang::Object* o);
  // The C++ object of a peer; NullPointerException for null, ClassCastException for another
  // class.
  template <typename T>
  static T& native(JNIEnv* env, jobject peerObject, const char* what) {
    lang::Object* o = address(env, peerObject, what);
    auto* t = dynamic_cast<T*>(o);
    if (t == nullptr) throwWrongPeer(o, what);
    return *t;
  }
  static lang::Object* address(JNIEnv* env, jobject peerObject, const char* what);

  // --- values ---
  static jobject toJava(JNIEnv* env, const lang::Object* o);
  // declared: the descriptor the value is written with, or null when unknown.
  static lang::Ref<lang::Object> toNative(JNIEnv* env, jobject value,
                                          jdbc::kelcore::KelvorType* declared,
                                          jdbc::Connection* conn);

  JniValues() = delete;

 private:
  [[noreturn]] static void throwWrongPeer(const lang::Object* o, const char* what);
  static jobject toJavaAt(JNIEnv* env, const lang::Object* o, int32_t depth);
  static lang::Ref<lang::Object> toNativeAt(JNIEnv* env, jobject value,
                                            jdbc::kelcore::KelvorType* declared,
                                            jdbc::Connection* conn, int32_t depth);
};

}  // namespace kelvor::jni
