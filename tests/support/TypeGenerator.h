// A seeded generator of random object type definitions and of values that match them, for
// property tests and round trips. Types: every attribute kind the catalog knows (the three
// NUMBER opcodes, FLOAT, SINT32, DATE, RAW, CHAR, VARCHAR, BLOB, CLOB, BFILE, REF) and
// embedded object types several levels deep, in first and later positions. Values: every
// attribute kind, nulls in any position, null embedded objects at any depth. Collection types
// of every scalar element kind, REF included, bounded and unbounded, and collection values of
// them: empty ones, nulls in any position. With Options::collectionPercent, object types also
// hold collection attributes (UPTs) whose elements are scalars, object types or collections,
// several levels deep, and values of them.
//
// The same seed and the same sequence of calls give the same types and values on every
// platform: the generator draws from its own SplitMix64 stream, never from <random>'s
// distributions (whose results the standard leaves to each library).
//
// A generated type is used through a connection: registerType puts it, and every object type
// embedded in it, into a MemoryConnection's catalog and returns its object descriptor;
// nextValue then builds values whose embedded objects carry their own types' descriptors. A
// generated collection type goes in through registerCollectionType, and nextCollectionValue
// builds its values.
//
// Not thread-safe: one generator per thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/TypeDefinition.h"
#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::jdbc {
class ArrayDescriptor;
class ArrayValue;
class MemoryConnection;
class ObjectDescriptor;
class ObjectValue;
class SqlValue;
}  // namespace kelvor::jdbc

namespace kelvor::testsupport {

class TypeGenerator {
 public:
  struct Options {
    int32_t maxLevels = 4;         // object levels, the generated type's own included
    int32_t maxAttributes = 6;     // per object type; each has at least one
    int32_t embeddedPercent = 30;  // chance of an embedded object while levels remain
    int32_t nullPercent = 20;      // chance of a null attribute value (objects included)
    std::string schema = "GEN";    // schema of every generated type
    int32_t maxCollectionElements = 8;   // elements of a non-empty collection value: 1..this
    int32_t emptyCollectionPercent = 15;  // chance of an empty collection value
    // Chance of a collection attribute (a UPT) in nextType while levels remain; a collection
    // counts as a level, and so does an object or collection element. 0 draws nothing for it,
    // so that the types and values of a seed stay what they were before collections.
    int32_t collectionPercent = 0;
  };

  explicit TypeGenerator(uint64_t seed);
  TypeGenerator(uint64_t seed, Options options);

  // A new object type, named SCHEMA.T<n> (n counts the calls); its embedded types are named
  // SCHEMA.T<n>_E<k>, its collection types SCHEMA.T<n>_C<k>. A REF attribute or element names
  // this type or one of its embedded types, so that registering the type makes every REF target
  // known.
  catalog::TypeDefinition nextType();

  // A new collection type, named SCHEMA.C<n> (n counts these calls): a random scalar element
  // (every NUMBER opcode; REF only after a nextType), bounded to at least maxCollectionElements
  // or unbounded. With a kind, the element is of that kind; an embedded object type:
  // ERR_UNSUPPORTED. A REF element names the type the last nextType made, or one of its
  // embedded types; without a nextType before it: ERR_UNSUPPORTED. That type must be
  // registered before values are made.
  catalog::TypeDefinition nextCollectionType();
  catalog::TypeDefinition nextCollectionType(catalog::AttributeType::Kind element);
  // A random value of the collection type, which registerCollectionType has put into conn:
  // 0..maxCollectionElements elements, each null with nullPercent. Never null itself.
  lang::Ref<jdbc::ArrayValue> nextCollectionValue(const catalog::TypeDefinition& type,
                                                  jdbc::MemoryConnection& conn);

  // A random value of `type`, which registerType has put into conn. Never null itself.
  lang::Ref<jdbc::ObjectValue> nextValue(const catalog::TypeDefinition& type,
                                         jdbc::MemoryConnection& conn);
  // A random non-null value of one attribute of the given type (embedded objects as
  // nextValue, collections as nextCollectionValue); the connection must hold the REF targets,
  // embedded types and collection types.
  lang::Ref<jdbc::SqlValue> nextAttributeValue(const catalog::AttributeType& type,
                                               jdbc::MemoryConnection& conn);

  // The stream itself: a uniform number in 0..bound-1 (bound > 0), and n random bytes.
  uint64_t below(uint64_t bound);
  std::vector<int8_t> bytes(int32_t n);

 private:
  uint64_t next();
  // Fills the definition; `level` counts from 1 at the generated type.
  void fillType(catalog::TypeDefinition& type, int32_t level);
  catalog::AttributeType scalarType();
  catalog::AttributeType scalarOfChoice(uint64_t choice, int32_t precision, int32_t scale);
  catalog::TypeDefinition collectionOf(uint64_t choice);
  // A collection type of that name and element, bounded or not.
  catalog::TypeDefinition collectionWith(std::string name, catalog::AttributeType element);
  // A collection type for an attribute or element of nextType's type at `level`: its element a
  // scalar, an object type or a collection type while levels remain.
  catalog::TypeDefinition nestedCollection(int32_t level);
  bool chance(int32_t percent) { return below(100) < static_cast<uint64_t>(percent); }

  uint64_t state_;
  Options options_;
  int32_t typeCount_ = 0;
  int32_t collectionCount_ = 0;
  int32_t embeddedCount_ = 0;            // embedded types named in the current nextType
  int32_t nestedCollectionCount_ = 0;    // collection types named in the current nextType
  std::vector<std::string> refTargets_;  // names a REF of the current nextType may take
};

// Registers `type` and, before it, every object type embedded in it (each by its own name,
// with its own TDS, layout description and attribute rows) in the connection's catalog. A
// connection without a format descriptor gets LayoutWriter's default one first. Returns the
// type's object descriptor, initialised through the connection.
lang::Ref<jdbc::ObjectDescriptor> registerType(jdbc::MemoryConnection& conn,
                                               const catalog::TypeDefinition& type);
// Registers the collection type (its TDS, id and element row); returns its array descriptor,
// initialised through the connection.
lang::Ref<jdbc::ArrayDescriptor> registerCollectionType(jdbc::MemoryConnection& conn,
                                                        const catalog::TypeDefinition& type);

}  // namespace kelvor::testsupport
