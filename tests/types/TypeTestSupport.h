// Helpers shared by the descriptor and TDS reader tests: byte arrays from literals, the driver
// code of a failure, a trace sink capture, and TestType, a small scalar-like descriptor.
#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/RawValue.h"
#include "driver/Trace.h"
#include "lang/Array.h"
#include "lang/ByteArrayInputStream.h"
#include "lang/ByteArrayOutputStream.h"
#include "lang/ObjectInputStream.h"
#include "lang/ObjectOutputStream.h"
#include "lang/Serializable.h"
#include "tests/image/ImageTestBytes.h"
#include "tests/support/DriverCode.h"
#include "types/KelvorType.h"

namespace kelvor::jdbc::kelcore::typetest {

using testsupport::codeOf;
using testsupport::NOTHING_RAISED;

inline Ref<lang::ByteArray> bytesOf(const std::vector<int>& values) {
  return imagetest::byteArray(values);
}

// The bytes as values 0..255, the inverse of bytesOf.
inline std::vector<int> valuesOf(const lang::ByteArray& a) { return imagetest::contents(&a); }

// The 18-byte header of a hand-made TDS: version 1, no leaf slots.
inline std::vector<int> tdsHeader() {
  return {0, 0, 0, 0, 38, 1, 0, 0, 0, 0, 0, 41, 0, 0, 0, 0, 0, 0};
}

// A UB4 as four byte values, high byte first.
inline std::vector<int> ub4(int64_t v) {
  return {static_cast<int>((v >> 24) & 0xFF), static_cast<int>((v >> 16) & 0xFF),
          static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF)};
}

inline void append(std::vector<int>& to, const std::vector<int>& from) {
  to.insert(to.end(), from.begin(), from.end());
}

// The object as the serial streams give it back: written out, then read in.
inline Ref<lang::Object> serialCopy(const Ref<lang::Object>& object) {
  lang::ByteArrayOutputStream bytes;
  {
    lang::ObjectOutputStream out(bytes);
    out.writeObject(object);
  }
  lang::ByteArrayInputStream source(bytes.toByteArray());
  lang::ObjectInputStream in(source);
  return in.readObject();
}

// n bytes counting up from seed.
inline Ref<lang::ByteArray> filled(int32_t n, int8_t seed) {
  auto a = lang::ByteArray::make(n);
  for (int32_t i = 0; i < n; ++i) (*a)[i] = static_cast<int8_t>(seed + i);
  return a;
}

// Sends trace output to a string while alive.
class TraceCapture {
 public:
  TraceCapture() { Trace::setSink(&text_); }
  ~TraceCapture() { Trace::setSink(nullptr); }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;
  std::string str() const { return text_.str(); }

 private:
  std::ostringstream text_;
};

// Byte arrays convert to RAW values; data values read back as their bytes; records its calls.
class TestType final : public KelvorType {
 public:
  static inline const lang::SerialClass SERIAL_CLASS = {
      "TypeTestSupport.TestType", &KelvorType::SERIAL_CLASS,
      []() -> Ref<lang::Object> { return lang::makeRef<TestType>(); }, nullptr, nullptr};

  TestType() = default;
  explicit TestType(int32_t typeCode) : KelvorType(typeCode) {}

  Ref<SqlValue> toSqlValue(lang::Object* value, Connection* connection) override {
    ++conversions;
    lastConnection = connection;
    if (value == nullptr) return nullptr;
    auto* bytes = dynamic_cast<lang::ByteArray*>(value);
    if (bytes == nullptr) ErrorRaiser::raise(DriverException::ERR_CONVERSION, value);
    return lang::makeRef<RawValue>(Ref<lang::ByteArray>(bytes));
  }
  Ref<lang::Object> toObject(Ref<lang::ByteArray> bytes, int32_t style,
                             const TypeMap*) override {
    lastStyle = style;
    return bytes;
  }
  using KelvorType::unpickle;
  Ref<lang::Object> unpickle(UnpickleContext&, int32_t, int32_t, const TypeMap*) override {
    ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED);
  }
  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }

  int32_t nullIndexForTest() const { return nullIndex_; }
  int32_t offsetIndexForTest() const { return offsetIndex_; }

  int32_t conversions = 0;
  Connection* lastConnection = nullptr;
  int32_t lastStyle = -1;
};

inline const lang::SerialRegistrar testTypeRegistrar(TestType::SERIAL_CLASS);

}  // namespace kelvor::jdbc::kelcore::typetest
