// The natives of kelcore.jar, one table per Java class, registered with RegisterNatives when
// the library is loaded (JNI_OnLoad), so that the library exports nothing but JNI_OnLoad.
//
// Each entry names the Java method, its JNI signature and the C++ callee; the callee is the
// same C++ operation the class binding's table calls for the host (the package's own methods),
// with the JNI edge's conversions (JniValues) around it, and runs inside Guarded<> so that a
// failure becomes the Java exception the binding would raise.
//
// Natives take the Java peer itself (not its address), so that the peer stays reachable, and
// its C++ object alive, for the whole call.
#pragma once

#include <jni.h>

namespace kelvor::jni {

class JniNatives {
 public:
  // Registers every table; false with a Java exception pending on failure.
  static bool registerAll(JNIEnv* env);

  JniNatives() = delete;
};

}  // namespace kelvor::jni
