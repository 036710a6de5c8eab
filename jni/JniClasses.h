// The Java classes, methods and fields the JNI library speaks to, looked up once when the
// library is loaded (global references, so they stay valid on every thread), and the VM
// itself, through which threads that are not attached yet attach.
//
// Thread rule: filled by JNI_OnLoad before any native can run, read-only afterwards.
#pragma once

#include <jni.h>

namespace kelvor::jni {

struct JniClasses {
  JavaVM* vm = nullptr;

  // java.lang and java.time
  jclass string = nullptr;
  jclass object = nullptr;
  jclass bigDecimal = nullptr;
  jmethodID bigDecimalFromText = nullptr;  // BigDecimal(String)
  jmethodID bigDecimalToString = nullptr;
  jclass localDateTime = nullptr;
  jmethodID localDateTimeOf = nullptr;  // of(int,int,int,int,int,int,int)
  jmethodID ldtYear = nullptr, ldtMonth = nullptr, ldtDay = nullptr, ldtHour = nullptr,
            ldtMinute = nullptr, ldtSecond = nullptr, ldtNano = nullptr;
  jclass integer = nullptr, longClass = nullptr, shortClass = nullptr, byteClass = nullptr,
         doubleClass = nullptr, floatClass = nullptr, booleanClass = nullptr;
  jmethodID integerOf = nullptr, longOf = nullptr, shortOf = nullptr, byteOf = nullptr,
            doubleOf = nullptr, floatOf = nullptr, booleanOf = nullptr;
  jmethodID intValue = nullptr, longValue = nullptr, shortValue = nullptr, byteValue = nullptr,
            doubleValue = nullptr, floatValue = nullptr, booleanValue = nullptr;
  jclass byteArray = nullptr, intArray = nullptr, longArray = nullptr, shortArray = nullptr,
         doubleArray = nullptr, floatArray = nullptr, objectArray = nullptr;

  // platform failures
  jclass nullPointer = nullptr, indexOutOfBounds = nullptr, classCast = nullptr,
         negativeArraySize = nullptr, illegalArgument = nullptr, illegalState = nullptr,
         arithmetic = nullptr, ioException = nullptr, outOfMemory = nullptr, runtime = nullptr;

  // kelvor.jdbc
  jclass driverException = nullptr;
  jmethodID driverExceptionNew = nullptr;  // (String, int, Object)
  jclass sqlValue = nullptr;
  jfieldID sqlValueBytes = nullptr;  // byte[] bytes
  jfieldID sqlValueKind = nullptr;   // int kind, one of:
  static constexpr jint KIND_NUMBER = 1, KIND_CHAR = 2, KIND_DATE = 3, KIND_RAW = 4;
  jclass numberValue = nullptr, charValue = nullptr, dateValue = nullptr, rawValue = nullptr,
         lobValue = nullptr, refValue = nullptr, objectValue = nullptr, arrayValue = nullptr;
  jmethodID numberValueNew = nullptr, dateValueNew = nullptr, rawValueNew = nullptr;
  jmethodID charValueNew = nullptr;  // (byte[], int)
  jfieldID charValueCharset = nullptr;
  jmethodID lobValueNew = nullptr;     // (int kind, byte[])
  jmethodID refValueNew = nullptr;     // (byte[])
  jmethodID objectValueNew = nullptr;  // (KelvorTypeADT, Object[])
  jfieldID objectValueType = nullptr, objectValueAttributes = nullptr;
  jmethodID arrayValueNew = nullptr;        // (KelvorTypeCOLLECTION, Object, byte[] locator, long)
  jmethodID arrayValueNewPacked = nullptr;  // (KelvorTypeCOLLECTION, PackedValues, long)
  jmethodID arrayValueHeld = nullptr;       // heldElements(): Object[], primitive, PackedValues
  jfieldID arrayValueType = nullptr, arrayValueLocator = nullptr;
  jclass packedValues = nullptr;
  jmethodID packedValuesNew = nullptr;     // (byte[] bytes, int[] lengths, byte[] kinds, int[])
  jmethodID packedValuesPack = nullptr;    // static pack(Object[])
  jmethodID packedValuesUnpack = nullptr;  // unpack() -> Object[]
  jfieldID packedBytes = nullptr, packedLengths = nullptr, packedKinds = nullptr,
           packedCharsets = nullptr;
  jclass typeInfo = nullptr;
  jfieldID typeInfoTypeId = nullptr, typeInfoVersion = nullptr, typeInfoTds = nullptr,
           typeInfoLayout = nullptr, typeInfoFormat = nullptr;
  jclass services = nullptr;
  jmethodID servicesTypeInfo = nullptr, servicesAttributeNames = nullptr,
            servicesGetDescriptor = nullptr, servicesPutDescriptor = nullptr,
            servicesGetFormat = nullptr, servicesSetFormat = nullptr,
            servicesTypeProperty = nullptr, servicesCharset = nullptr;
  jclass connection = nullptr;

  // kelvor.jdbc.kelcore
  jclass nativePeer = nullptr;
  jfieldID nativePeerAddress = nullptr;  // long peer
  jmethodID nativePeerOf = nullptr;      // static of(long address, int kind)
  jclass kelvorType = nullptr, kelvorTypeADT = nullptr, kelvorTypeCOLLECTION = nullptr;
  jfieldID kelvorTypeConnection = nullptr;  // Connection connection

  // Looks everything up; false with a Java exception pending when something is missing.
  bool load(JNIEnv* env);
};

// The one instance.
JniClasses& classes() noexcept;

// The calling thread's environment, attaching the thread (as a daemon) when it is not attached.
JNIEnv* currentEnv();

}  // namespace kelvor::jni
