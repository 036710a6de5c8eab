// Writes the generated variety the Java tests replay: object types of every attribute kind
// (embedded objects, collections of scalars, objects and collections through UPTs, REFs, LOB
// locators) and collection types of every scalar element kind, each with one random value as
// the C++ API writes it, pickled and linear.
//
// One record a line, fields separated by tabs, bytes as lowercase hex:
//   T name typeId version tds layout|- rows     a catalog entry; rows: hex of
//                                               "name\x1ftypeName\x1ftypeSchema" per row,
//                                               comma-separated
//   O|C name pickled linear                     an object (O) or collection (C) value of the
//                                               named type
//
// Usage: kelcore_java_fixtures FILE [SEED]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "adt/KelvorTypeADT.h"
#include "catalog/LinearImageBuilder.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/MemoryConnection.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "tests/support/TypeGenerator.h"

namespace {

using kelvor::jdbc::MemoryConnection;
using kelvor::lang::ByteArray;
using kelvor::lang::Ref;

std::string hex(const ByteArray* a) {
  if (a == nullptr) return "-";
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (int32_t i = 0; i < a->length(); ++i) {
    out += digits[static_cast<uint8_t>((*a)[i]) >> 4];
    out += digits[(*a)[i] & 15];
  }
  return out;
}

std::string hexText(const std::string& s) {
  auto bytes =
      ByteArray::copyOf(reinterpret_cast<const int8_t*>(s.data()), static_cast<int32_t>(s.size()));
  return s.empty() ? "" : hex(bytes.get());
}

// Every catalog entry the type's registration made: the type, its embedded object types and
// its collection types (named after it).
void writeEntries(std::ofstream& out, const MemoryConnection& conn, const std::string& name) {
  const auto entry = [&](const std::string& n) {
    const MemoryConnection::TypeInfo* t = conn.findType(n);
    if (t == nullptr) return false;
    std::string rows;
    for (const auto& r : t->attributes) {
      if (!rows.empty()) rows += ",";
      rows += hexText(r.name + '\x1f' + r.typeName + '\x1f' + r.typeSchema);
    }
    out << "T\t" << n << "\t" << hex(t->typeId.get()) << "\t" << t->version << "\t"
        << hex(t->tds.get()) << "\t" << hex(t->layout.get()) << "\t" << rows << "\n";
    return true;
  };
  entry(name);
  for (const char* kind : {"_E", "_C"}) {
    for (int k = 1; k <= 64; ++k) entry(name + kind + std::to_string(k));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kelcore_java_fixtures FILE [SEED]\n");
    return 2;
  }
  const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 17;
  std::ofstream out(argv[1]);
  kelvor::testsupport::TypeGenerator::Options options;
  options.collectionPercent = 30;
  kelvor::testsupport::TypeGenerator g(seed, options);
  auto conn = kelvor::lang::makeRef<MemoryConnection>();
  for (int i = 0; i < 40; ++i) {
    const auto def = g.nextType();
    auto type = kelvor::testsupport::registerType(*conn, def)->getKelvorType();
    writeEntries(out, *conn, def.sqlName());
    const auto value = g.nextValue(def, *conn);
    out << "O\t" << def.sqlName() << "\t" << hex(type->toImage(value.get()).get()) << "\t"
        << hex(kelvor::catalog::LinearImageBuilder::build(*type, value.get()).get()) << "\n";

    const auto cdef = g.nextCollectionType();
    auto ctype = kelvor::testsupport::registerCollectionType(*conn, cdef)->getKelvorType();
    writeEntries(out, *conn, cdef.sqlName());
    const auto elements = g.nextCollectionValue(cdef, *conn);
    out << "C\t" << cdef.sqlName() << "\t" << hex(ctype->toImage(elements.get()).get()) << "\t"
        << hex(kelvor::catalog::LinearImageBuilder::buildCollection(*ctype, elements.get()).get())
        << "\n";
  }
  return out ? 0 : 1;
}
