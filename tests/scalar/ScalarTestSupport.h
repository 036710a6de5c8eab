// Helpers shared by the scalar descriptor tests: number forms and the fixed slots and data
// values built from them, format descriptors with one entry set, a descriptor's TDS indexes.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/DriverException.h"
#include "driver/NumberValue.h"
#include "image/PickleContext.h"
#include "lang/Array.h"
#include "lang/Exceptions.h"
#include "tests/types/TypeTestSupport.h"
#include "types/KelvorType.h"

namespace kelvor::jdbc::kelcore::scalartest {

using Bytes = std::vector<int8_t>;
using Number = std::optional<int64_t>;  // nullopt: a null

inline Bytes formOf(int64_t v) {
  const NumberValue n(v);
  const lang::ByteArray& f = *n.shareBytes();
  return Bytes(f.data(), f.data() + f.length());
}
inline Ref<lang::ByteArray> arrayOf(const Bytes& b) {
  return lang::ByteArray::copyOf(b.data(), static_cast<int32_t>(b.size()));
}
// Fixed 23-byte slots: indicator, length, form, unused bytes (never read).
inline Bytes slots(const std::vector<Number>& values) {
  Bytes image;
  for (const Number& v : values) {
    Bytes slot(23, 0x5A);
    slot[0] = v ? 0 : 1;
    const Bytes f = v ? formOf(*v) : Bytes{};
    slot[1] = static_cast<int8_t>(f.size());
    if (!f.empty()) std::memcpy(&slot[2], f.data(), f.size());
    image.insert(image.end(), slot.begin(), slot.end());
  }
  return image;
}
// Data values: a one-byte length and the form, or FF.
inline Bytes dataValues(const std::vector<Number>& values) {
  Bytes image;
  for (const Number& v : values) {
    const Bytes f = v ? formOf(*v) : Bytes{};
    image.push_back(v ? static_cast<int8_t>(f.size()) : int8_t{-1});
    image.insert(image.end(), f.begin(), f.end());
  }
  return image;
}
// fd[5] = 0: entry k sits at index 6 + k; every entry 0 but the one given.
inline Ref<lang::ByteArray> formatDescriptor(int32_t entry, int value) {
  auto fd = lang::ByteArray::make(32);
  (*fd)[6 + entry] = static_cast<int8_t>(value);
  return fd;
}
// Whether f raises the driver error code with exactly this offending value.
template <typename F>
bool blames(int32_t code, const lang::Object* value, F f) {
  try {
    f();
  } catch (const DriverException& e) {
    return e.code() == code && e.offendingValue().get() == value;
  }
  return false;
}
// The elements of a primitive array, as doubles.
template <typename E>
std::vector<double> doublesOf(const Ref<lang::Object>& o) {
  const auto& a = dynamic_cast<const lang::PrimitiveArray<E>&>(*o);
  return std::vector<double>(a.data(), a.data() + a.length());
}
// A descriptor of class T that shows the indexes it took from its TDS reader.
template <typename T>
struct Probe final : T {
  using T::T;
  int32_t nullIndexForTest() const { return this->nullIndex_; }
  int32_t offsetIndexForTest() const { return this->offsetIndex_; }
};

// What a read gave, as text: "null", the result's class and text, "driver <code>" or "bounds",
// then where it left the context.
inline std::string outcomeOf(const PickleContext& ctx,
                             const std::function<Ref<lang::Object>()>& read) {
  std::string what;
  try {
    const Ref<lang::Object> o = read();
    what = o ? std::string(o->className()) + " " + o->toString() : "null";
  } catch (const DriverException& e) {
    what = "driver " + std::to_string(e.code());
  } catch (const lang::IndexOutOfBoundsException&) {
    what = "bounds";
  }
  return what + " at " + std::to_string(ctx.offset());
}
// Expects both unpickle forms to read the pickled data value in `style` as toObject reads the
// bytes that the copying read returns: the same object or failure, the context left alike.
inline void expectUnpickleAsToObject(KelvorType& type, const Bytes& dataValue, int32_t style) {
  const Ref<lang::ByteArray> image = arrayOf(dataValue);
  PickleContext copied(image);
  PickleContext direct(image);
  EXPECT_EQ(
      outcomeOf(direct, [&] { return type.unpickle(direct, style, nullptr); }),
      outcomeOf(copied, [&] { return type.toObject(copied.readDataValue(), style, nullptr); }));
  PickleContext copiedAfter(image);
  PickleContext directAfter(image);
  EXPECT_EQ(
      outcomeOf(directAfter,
                [&] { return type.unpickle(directAfter, directAfter.readByte(), style, nullptr); }),
      outcomeOf(copiedAfter, [&] {
        return type.toObject(copiedAfter.readDataValue(copiedAfter.readByte()), style, nullptr);
      }));
}

}  // namespace kelvor::jdbc::kelcore::scalartest
