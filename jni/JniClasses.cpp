#include "jni/JniClasses.h"

#include "jni/JniRaise.h"

namespace kelvor::jni {

namespace {

JniClasses instance;

jclass global(JNIEnv* env, const char* name) {
  jclass local = env->FindClass(name);
  if (local == nullptr) return nullptr;
  auto g = static_cast<jclass>(env->NewGlobalRef(local));
  env->DeleteLocalRef(local);
  return g;
}

}  // namespace

JniClasses& classes() noexcept { return instance; }

JNIEnv* currentEnv() {
  JNIEnv* env = nullptr;
  JavaVM* vm = instance.vm;
  if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_10) == JNI_OK) return env;
  if (vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) {
    throw JavaExceptionPending{};
  }
  return env;
}

bool JniClasses::load(JNIEnv* env) {
  bool ok = true;
  const auto cls = [&](jclass& out, const char* name) {
    if (ok) ok = (out = global(env, name)) != nullptr;
  };
  const auto method = [&](jmethodID& out, jclass c, const char* name, const char* sig) {
    if (ok) ok = (out = env->GetMethodID(c, name, sig)) != nullptr;
  };
  const auto staticMethod = [&](jmethodID& out, jclass c, const char* name, const char* sig) {
    if (ok) ok = (out = env->GetStaticMethodID(c, name, sig)) != nullptr;
  };
  const auto field = [&](jfieldID& out, jclass c, const char* name, const char* sig) {
    if (ok) ok = (out = env->GetFieldID(c, name, sig)) != nullptr;
  };

  cls(string, "java/lang/String");
  cls(object, "java/lang/Object");
  cls(bigDecimal, "java/math/BigDecimal");
  method(bigDecimalFromText, bigDecimal, "<init>", "(Ljava/lang/String;)V");
  method(bigDecimalToString, bigDecimal, "toString", "()Ljava/lang/String;");
  cls(localDateTime, "java/time/LocalDateTime");
  staticMethod(localDateTimeOf, localDateTime, "of", "(IIIIIII)Ljava/time/LocalDateTime;");
  method(ldtYear, localDateTime, "getYear", "()I");
  method(ldtMonth, localDateTime, "getMonthValue", "()I");
  method(ldtDay, localDateTime, "getDayOfMonth", "()I");
  method(ldtHour, localDateTime, "getHour", "()I");
  method(ldtMinute, localDateTime, "getMinute", "()I");
  method(ldtSecond, localDateTime, "getSecond", "()I");
  method(ldtNano, localDateTime, "getNano", "()I");
  cls(integer, "java/lang/Integer");
  staticMethod(integerOf, integer, "valueOf", "(I)Ljava/lang/Integer;");
  method(intValue, integer, "intValue", "()I");
  cls(longClass, "java/lang/Long");
  staticMethod(longOf, longClass, "valueOf", "(J)Ljava/lang/Long;");
  method(longValue, longClass, "longValue", "()J");
  cls(shortClass, "java/lang/Short");
  staticMethod(shortOf, shortClass, "valueOf", "(S)Ljava/lang/Short;");
  method(shortValue, shortClass, "shortValue", "()S");
  cls(byteClass, "java/lang/Byte");
  staticMethod(byteOf, byteClass, "valueOf", "(B)Ljava/lang/Byte;");
  method(byteValue, byteClass, "byteValue", "()B");
  cls(doubleClass, "java/lang/Double");
  staticMethod(doubleOf, doubleClass, "valueOf", "(D)Ljava/lang/Double;");
  method(doubleValue, doubleClass, "doubleValue", "()D");
  cls(floatClass, "java/lang/Float");
  staticMethod(floatOf, floatClass, "valueOf", "(F)Ljava/lang/Float;");
  method(floatValue, floatClass, "floatValue", "()F");
  cls(booleanClass, "java/lang/Boolean");
  staticMethod(booleanOf, booleanClass, "valueOf", "(Z)Ljava/lang/Boolean;");
  method(booleanValue, booleanClass, "booleanValue", "()Z");
  cls(byteArray, "[B");
  cls(intArray, "[I");
  cls(longArray, "[J");
  cls(shortArray, "[S");
  cls(doubleArray, "[D");
  cls(floatArray, "[F");
  cls(objectArray, "[Ljava/lang/Object;");

  cls(nullPointer, "java/lang/NullPointerException");
  cls(indexOutOfBounds, "java/lang/IndexOutOfBoundsException");
  cls(classCast, "java/lang/ClassCastException");
  cls(negativeArraySize, "java/lang/NegativeArraySizeException");
  cls(illegalArgument, "java/lang/IllegalArgumentException");
  cls(illegalState, "java/lang/IllegalStateException");
  cls(arithmetic, "java/lang/ArithmeticException");
  cls(ioException, "java/io/IOException");
  cls(outOfMemory, "java/lang/OutOfMemoryError");
  cls(runtime, "java/lang/RuntimeException");

  cls(driverException, "kelvor/jdbc/DriverException");
  method(driverExceptionNew, driverException, "<init>", "(Ljava/lang/String;ILjava/lang/Object;)V");
  cls(sqlValue, "kelvor/jdbc/SqlValue");
  field(sqlValueBytes, sqlValue, "bytes", "[B");
  field(sqlValueKind, sqlValue, "kind", "I");
  cls(numberValue, "kelvor/jdbc/NumberValue");
  method(numberValueNew, numberValue, "<init>", "([B)V");
  cls(charValue, "kelvor/jdbc/CharValue");
  method(charValueNew, charValue, "<init>", "([BI)V");
  field(charValueCharset, charValue, "charsetId", "I");
  cls(dateValue, "kelvor/jdbc/DateValue");
  method(dateValueNew, dateValue, "<init>", "([B)V");
  cls(rawValue, "kelvor/jdbc/RawValue");
  method(rawValueNew, rawValue, "<init>", "([B)V");
  cls(lobValue, "kelvor/jdbc/LobValue");
  method(lobValueNew, lobValue, "<init>", "(I[B)V");
  cls(refValue, "kelvor/jdbc/RefValue");
  method(refValueNew, refValue, "<init>", "([B)V");
  cls(objectValue, "kelvor/jdbc/ObjectValue");
  method(objectValueNew, objectValue, "<init>",
         "(Lkelvor/jdbc/kelcore/KelvorTypeADT;[Ljava/lang/Object;)V");
  field(objectValueType, objectValue, "type", "Lkelvor/jdbc/kelcore/KelvorTypeADT;");
  field(objectValueAttributes, objectValue, "attributes", "[Ljava/lang/Object;");
  cls(arrayValue, "kelvor/jdbc/ArrayValue");
  method(arrayValueNew, arrayValue, "<init>",
         "(Lkelvor/jdbc/kelcore/KelvorTypeCOLLECTION;Ljava/lang/Object;[BJ)V");
  field(arrayValueType, arrayValue, "type", "Lkelvor/jdbc/kelcore/KelvorTypeCOLLECTION;");
  method(arrayValueNewPacked, arrayValue, "<init>",
         "(Lkelvor/jdbc/kelcore/KelvorTypeCOLLECTION;Lkelvor/jdbc/PackedValues;J)V");
  method(arrayValueHeld, arrayValue, "heldElements", "()Ljava/lang/Object;");
  field(arrayValueLocator, arrayValue, "locator", "[B");
  cls(packedValues, "kelvor/jdbc/PackedValues");
  method(packedValuesNew, packedValues, "<init>", "([B[I[B[I)V");
  staticMethod(packedValuesPack, packedValues, "pack",
               "([Ljava/lang/Object;)Lkelvor/jdbc/PackedValues;");
  method(packedValuesUnpack, packedValues, "unpack", "()[Ljava/lang/Object;");
  field(packedBytes, packedValues, "bytes", "[B");
  field(packedLengths, packedValues, "lengths", "[I");
  field(packedKinds, packedValues, "kinds", "[B");
  field(packedCharsets, packedValues, "charsets", "[I");
  cls(typeInfo, "kelvor/jdbc/TypeInfo");
  field(typeInfoTypeId, typeInfo, "typeId", "[B");
  field(typeInfoVersion, typeInfo, "version", "I");
  field(typeInfoTds, typeInfo, "tds", "[B");
  field(typeInfoLayout, typeInfo, "layout", "[B");
  field(typeInfoFormat, typeInfo, "formatDescriptor", "[B");
  cls(services, "kelvor/jdbc/ConnectionServices");
  method(servicesTypeInfo, services, "typeInfo",
         "(Ljava/lang/String;Ljava/lang/String;Z)Lkelvor/jdbc/TypeInfo;");
  method(servicesAttributeNames, services, "attributeNames",
         "(Ljava/lang/String;Ljava/lang/String;)[Ljava/lang/String;");
  method(servicesGetDescriptor, services, "getDescriptor",
         "(Ljava/lang/String;)Ljava/lang/Object;");
  method(servicesPutDescriptor, services, "putDescriptor",
         "(Ljava/lang/String;Ljava/lang/Object;)V");
  method(servicesGetFormat, services, "getFormatDescriptor", "()[B");
  method(servicesSetFormat, services, "setFormatDescriptor", "([B)V");
  method(servicesTypeProperty, services, "describeTypeProperty", "(Ljava/lang/String;)J");
  method(servicesCharset, services, "getDbCharsetId", "()I");
  cls(connection, "kelvor/jdbc/Connection");

  cls(nativePeer, "kelvor/jdbc/kelcore/NativePeer");
  field(nativePeerAddress, nativePeer, "peer", "J");
  staticMethod(nativePeerOf, nativePeer, "of", "(JI)Lkelvor/jdbc/kelcore/NativePeer;");
  cls(kelvorType, "kelvor/jdbc/kelcore/KelvorType");
  field(kelvorTypeConnection, kelvorType, "connection", "Lkelvor/jdbc/Connection;");
  cls(kelvorTypeADT, "kelvor/jdbc/kelcore/KelvorTypeADT");
  cls(kelvorTypeCOLLECTION, "kelvor/jdbc/kelcore/KelvorTypeCOLLECTION");
  return ok;
}

}  // namespace kelvor::jni
