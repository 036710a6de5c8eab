# The Java front end: kelcore.jar (the kelvor.jdbc and kelvor.jdbc.kelcore classes) and
# libkelcore_jni.so, the JNI library behind their natives. The JNI library is separate from the
# package library, which keeps its own exports; it links that library and exports only
# JNI_OnLoad (jni/kelcore_jni.map): every native is registered from there.
#
# The JUnit 5 tests (java/src/test) run through ctest with the console launcher of the Debian
# junit5 package, so scripts/test.sh and CI run them. In the AddressSanitizer build they run in a
# VM that preloads the sanitizer runtime (KELCORE_ASAN_RUNTIME): the VM takes SIGSEGV for its own
# checks and never frees much of what it allocates, so the runtime leaves both to it.
include(UseJava)

file(GLOB_RECURSE KELCORE_JAVA_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/java/src/main/java/*.java)
set(CMAKE_JAVA_COMPILE_FLAGS -Xlint:all -Xlint:-options --release 17)
if(KELCORE_WERROR)
  list(APPEND CMAKE_JAVA_COMPILE_FLAGS -Werror)
endif()
add_jar(kelcore_jar SOURCES ${KELCORE_JAVA_SOURCES} OUTPUT_NAME kelcore)

file(GLOB KELCORE_JNI_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/jni/*.cpp)
add_library(kelcore_jni SHARED ${KELCORE_JNI_SOURCES})
target_include_directories(kelcore_jni SYSTEM PRIVATE ${JNI_INCLUDE_DIRS})
target_link_libraries(kelcore_jni PRIVATE kelhost8kelvor_jdbc_kelcore)
kelcore_warnings(kelcore_jni)
set(KELCORE_JNI_VERSION_SCRIPT ${PROJECT_SOURCE_DIR}/jni/kelcore_jni.map)
target_link_options(kelcore_jni PRIVATE "LINKER:--version-script=${KELCORE_JNI_VERSION_SCRIPT}")
# Under the sanitizers the runtime's symbols come from the runtime the JVM preloads.
if(NOT KELCORE_SANITIZE)
  target_link_options(kelcore_jni PRIVATE "LINKER:--no-undefined")
endif()
set_target_properties(kelcore_jni PROPERTIES VISIBILITY_INLINES_HIDDEN ON
                      CXX_VISIBILITY_PRESET hidden LINK_DEPENDS ${KELCORE_JNI_VERSION_SCRIPT})
add_dependencies(kelcore_jni kelcore_jar)

# The example program (examples/java) and its launcher's arguments.
file(GLOB KELCORE_JAVA_EXAMPLE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/java/*.java)
if(KELCORE_JAVA_EXAMPLE_SOURCES)
  add_jar(kelcore_java_example SOURCES ${KELCORE_JAVA_EXAMPLE_SOURCES} INCLUDE_JARS kelcore_jar
          OUTPUT_NAME kelcore-example)
  if(KELCORE_BUILD_TESTS)
    get_target_property(KELCORE_EXAMPLE_JAR kelcore_java_example JAR_FILE)
    add_test(NAME JavaExample
             COMMAND ${Java_JAVA_EXECUTABLE} -Xcheck:jni -Dkelcore.jni.library=$<TARGET_FILE:kelcore_jni>
                     -cp ${PROJECT_BINARY_DIR}/kelcore.jar:${KELCORE_EXAMPLE_JAR} KelcoreExample)
    set_tests_properties(JavaExample PROPERTIES
                         FAIL_REGULAR_EXPRESSION "WARNING: JNI local refs|WARNING in native method")
  endif()
endif()

# The Java benchmark (scripts/java-bench.sh runs it; CI does not).
file(GLOB KELCORE_JAVA_BENCH_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/java/src/bench/java/*.java)
if(KELCORE_JAVA_BENCH_SOURCES)
  add_jar(kelcore_java_bench SOURCES ${KELCORE_JAVA_BENCH_SOURCES} INCLUDE_JARS kelcore_jar
          OUTPUT_NAME kelcore-bench)
endif()

if(KELCORE_BUILD_TESTS)
  find_file(KELCORE_JUNIT_CONSOLE junit-platform-console-standalone.jar PATHS /usr/share/java
            NO_DEFAULT_PATH)
  if(KELCORE_JUNIT_CONSOLE)
    file(GLOB_RECURSE KELCORE_JAVA_TEST_SOURCES CONFIGURE_DEPENDS
         ${PROJECT_SOURCE_DIR}/java/src/test/java/*.java)
    add_jar(kelcore_java_tests SOURCES ${KELCORE_JAVA_TEST_SOURCES}
            INCLUDE_JARS kelcore_jar ${KELCORE_JUNIT_CONSOLE} OUTPUT_NAME kelcore-tests)
    # The generated variety the Java tests replay, written by the C++ API (TypeGenerator).
    add_executable(kelcore_java_fixtures ${PROJECT_SOURCE_DIR}/java/src/test/cpp/JavaFixtures.cpp
                   ${PROJECT_SOURCE_DIR}/tests/support/TypeGenerator.cpp)
    target_link_libraries(kelcore_java_fixtures PRIVATE kelcore_catalog kelhost8kelvor_jdbc_kelcore)
    kelcore_warnings(kelcore_java_fixtures)
    kelcore_gcc12_string_insert_false_positive(kelcore_java_fixtures)  # the type generator's text
    add_dependencies(kelcore_java_tests kelcore_java_fixtures kelcore_jni kelcore)
    set(KELCORE_JAVA_FIXTURES ${PROJECT_BINARY_DIR}/java-fixtures.txt)
    add_test(NAME JavaFixtures COMMAND kelcore_java_fixtures ${KELCORE_JAVA_FIXTURES})
    set_tests_properties(JavaFixtures PROPERTIES FIXTURES_SETUP java_fixtures)
    get_target_property(KELCORE_JAR kelcore_jar JAR_FILE)
    get_target_property(KELCORE_TEST_JAR kelcore_java_tests JAR_FILE)
    # -Xcheck:jni makes the VM check every JNI call and warn when a native holds more local
    # references than it reserved; the test fails on any such warning.
    add_test(NAME JavaTests
             COMMAND ${Java_JAVA_EXECUTABLE} -Xcheck:jni -Xmx1g
                     -Dkelcore.jni.library=$<TARGET_FILE:kelcore_jni>
                     -Dkelcore.tool=$<TARGET_FILE:kelcore>
                     -Dkelcore.examples=${PROJECT_SOURCE_DIR}/examples
                     -Dkelcore.fixtures=${KELCORE_JAVA_FIXTURES}
                     -jar ${KELCORE_JUNIT_CONSOLE} --disable-banner --details=summary
                     --fail-if-no-tests --class-path ${KELCORE_JAR}:${KELCORE_TEST_JAR}
                     --scan-class-path ${KELCORE_TEST_JAR})
    set_tests_properties(JavaTests PROPERTIES FIXTURES_REQUIRED java_fixtures
                         FAIL_REGULAR_EXPRESSION "WARNING: JNI local refs|WARNING in native method")
  else()
    message(WARNING "junit5 is missing (scripts/setup.sh installs it): the Java tests are not run")
  endif()
endif()

if(KELCORE_SANITIZE AND KELCORE_BUILD_TESTS)
  set(KELCORE_VM_SANITIZER_ENVIRONMENT
      LD_PRELOAD=${KELCORE_ASAN_RUNTIME}
      ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0:abort_on_error=1
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)
  foreach(test JavaExample JavaTests)
    if(TEST ${test})
      set_tests_properties(${test} PROPERTIES ENVIRONMENT "${KELCORE_VM_SANITIZER_ENVIRONMENT}")
    endif()
  endforeach()
endif()
