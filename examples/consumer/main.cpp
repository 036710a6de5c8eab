// A program that uses kelcore as an installed library: it defines an object type, lets the
// driver describe it (parse its type descriptor segment into a descriptor tree), writes a value
// of the type as a pickled image and reads the image back.
//
// Build it against an installed kelcore (see examples/consumer/CMakeLists.txt), or with
//   c++ -std=c++20 main.cpp $(pkg-config --cflags --libs kelcore-catalog)
// It exits 0 when the value read back equals the one written.
#include <cstdio>
#include <exception>

#include "KelcoreVersion.h"
#include "adt/KelvorTypeADT.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TypeDefinition.h"
#include "driver/CharValue.h"
#include "driver/CharsetConverter.h"
#include "driver/DriverException.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "lang/Array.h"
#include "lang/Exceptions.h"
#include "lang/String.h"

namespace {

using kelvor::catalog::AttributeType;
using kelvor::catalog::MemoryCatalog;
using kelvor::catalog::TypeDefinition;
using kelvor::jdbc::CharsetConverter;
using kelvor::jdbc::CharValue;
using kelvor::jdbc::DriverException;
using kelvor::jdbc::MemoryConnection;
using kelvor::jdbc::NumberValue;
using kelvor::jdbc::ObjectDescriptor;
using kelvor::jdbc::ObjectValue;
using kelvor::lang::ByteArray;
using kelvor::lang::makeRef;
using kelvor::lang::ObjectArray;
using kelvor::lang::Ref;
using kelvor::lang::String;

int run() {
  // An in-memory connection stands in for the server: it holds the type's TDS and the
  // dictionary rows with the attribute names.
  auto conn = makeRef<MemoryConnection>();
  TypeDefinition point("DEMO", "POINT");
  point.addAttribute("LABEL", AttributeType::varcharType(20))
      .addAttribute("X", AttributeType::numberType(10, 2))
      .addAttribute("Y", AttributeType::numberType(10, 2));
  Ref<ObjectDescriptor> descriptor = MemoryCatalog::registerType(*conn, point);

  // Describe: the descriptor tree parsed from the TDS. The attribute names come from the
  // dictionary; the TDS carries none.
  const Ref<kelvor::jdbc::kelcore::KelvorTypeADT>& type = descriptor->getKelvorType();
  std::printf("kelcore %s: %s, type code %d, %d attributes\n", KELCORE_VERSION_STRING,
              descriptor->getName().c_str(), type->getTypeCode(), type->getNumAttributes());
  for (int32_t i = 0; i < type->getNumAttributes(); ++i) {
    std::printf("  %-6s type code %d\n", type->getAttributeName(i + 1).c_str(),
                type->getAttributeType(i)->getTypeCode());
  }

  // Write: an object value holds one SQL value per attribute (null for SQL null).
  auto utf8 = CharsetConverter::forId(CharsetConverter::UTF_8);
  auto value =
      makeRef<ObjectValue>(descriptor, conn.get(),
                           ObjectArray::of({makeRef<CharValue>(*String::of("origin"), utf8),
                                            NumberValue::fromString("12.5"), nullptr}));
  Ref<ByteArray> image = type->toImage(value.get());
  std::printf("pickled image of %d bytes:", image->length());
  for (int32_t i = 0; i < image->length(); ++i) {
    std::printf(" %02x", static_cast<unsigned>(static_cast<uint8_t>((*image)[i])));
  }
  std::printf("\n");

  // Read back: style 1 gives SQL values (2 would give platform objects).
  auto back =
      kelvor::lang::dynamicRef<ObjectValue>(type->fromImage(image.get(), 0, nullptr, 1, nullptr));
  Ref<ObjectArray> attributes = back->getAttributes();
  for (int32_t i = 0; i < attributes->length(); ++i) {
    kelvor::lang::Object* a = attributes->at(i);
    const auto* text = dynamic_cast<const CharValue*>(a);
    std::printf("  %-6s %s\n", type->getAttributeName(i + 1).c_str(),
                a == nullptr ? "null"
                : text       ? text->stringValue().c_str()
                             : a->toString().c_str());
  }
  const bool same = back->equals(value.get());
  std::printf("%s\n", same ? "equal to the value written" : "DIFFERS from the value written");
  return same ? 0 : 1;
}

}  // namespace

int main() {
  // The driver reports refused input as DriverException with its numeric code; the platform's
  // exceptions (an image that ends early, a null where a value is needed) pass through as
  // they are.
  try {
    return run();
  } catch (const DriverException& e) {
    std::fprintf(stderr, "driver error %d: %s\n", e.code(), e.what());
  } catch (const kelvor::lang::Throwable& e) {
    std::fprintf(stderr, "platform exception: %s\n", e.what());
  }
  return 2;
}
