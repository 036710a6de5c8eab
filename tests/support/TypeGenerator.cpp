#include "tests/support/TypeGenerator.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "catalog/MemoryCatalog.h"
#include "catalog/AttributeType.h"
#include "catalog/LayoutWriter.h"
#include "catalog/TDSWriter.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/BfileValue.h"
#include "driver/BlobValue.h"
#include "driver/CharValue.h"
#include "driver/CharsetConverter.h"
#include "driver/ClobValue.h"
#include "driver/DateValue.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/MemoryConnection.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "driver/RawValue.h"
#include "driver/RefValue.h"
#include "lang/String.h"
#include "lang/Timestamp.h"

namespace kelvor::testsupport {
namespace {

using catalog::AttributeType;
using catalog::TypeDefinition;
using Kind = AttributeType::Kind;

// Value sizes stay small: images of many values remain cheap to build and compare.
constexpr int32_t MAX_TEXT_BYTES = 40;
constexpr int32_t MAX_RAW_BYTES = 48;
constexpr int32_t MAX_LOCATOR_BYTES = 40;
constexpr int32_t MAX_BFILE_LOCATOR_BYTES = 64;
constexpr int32_t MAX_REF_BYTES = 32;
// Choices of scalarOfChoice: REF is the last, which needs the targets of a nextType.
constexpr uint64_t SCALAR_CHOICES = 13;
constexpr uint64_t REF_CHOICE = 12;

// The first choice of scalarOfChoice that makes the kind, and how many make it.
std::pair<uint64_t, uint64_t> choicesOf(Kind kind) {
  switch (kind) {
    case Kind::NUMBER: return {0, 3};
    case Kind::FLOAT: return {3, 1};
    case Kind::SINT32: return {4, 1};
    case Kind::DATE: return {5, 1};
    case Kind::RAW: return {6, 1};
    case Kind::CHAR: return {7, 1};
    case Kind::VARCHAR: return {8, 1};
    case Kind::BLOB: return {9, 1};
    case Kind::CLOB: return {10, 1};
    case Kind::BFILE: return {11, 1};
    case Kind::REF: return {REF_CHOICE, 1};
    default: break;  // named types are no scalar choice
  }
  return {SCALAR_CHOICES, 0};
}

// Pieces of text of one to four UTF-8 bytes: seven ASCII characters, e acute and sharp s (two
// bytes), the euro sign and a CJK ideograph (three), a musical symbol (four).
constexpr std::array<std::string_view, 12> TEXT_PIECES = {
    "a", "Z", "7", " ", "-", "q", "x", "\xC3\xA9", "\xC3\x9F", "\xE2\x82\xAC", "\xE4\xB8\xAD",
    "\xF0\x9D\x84\x9E"};

lang::Ref<lang::ByteArray> arrayOf(const std::vector<int8_t>& b) {
  return lang::ByteArray::copyOf(b.data(), static_cast<int32_t>(b.size()));
}

}  // namespace

TypeGenerator::TypeGenerator(uint64_t seed) : TypeGenerator(seed, Options{}) {}

TypeGenerator::TypeGenerator(uint64_t seed, Options options)
    : state_(seed), options_(std::move(options)) {}

// SplitMix64.
uint64_t TypeGenerator::next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// Multiply-shift: the high half of the 128-bit product next() * bound, from 32-bit halves.
uint64_t TypeGenerator::below(uint64_t bound) {
  const uint64_t x = next();
  const uint64_t xl = x & 0xFFFFFFFFULL;
  const uint64_t xh = x >> 32;
  const uint64_t bl = bound & 0xFFFFFFFFULL;
  const uint64_t bh = bound >> 32;
  const uint64_t low = xl * bl;
  const uint64_t mid1 = xh * bl + (low >> 32);
  const uint64_t mid2 = xl * bh + (mid1 & 0xFFFFFFFFULL);
  return xh * bh + (mid1 >> 32) + (mid2 >> 32);
}

std::vector<int8_t> TypeGenerator::bytes(int32_t n) {
  std::vector<int8_t> out(static_cast<size_t>(n));
  for (int8_t& b : out) b = static_cast<int8_t>(next());
  return out;
}

// --- types ---

TypeDefinition TypeGenerator::nextType() {
  ++typeCount_;
  embeddedCount_ = 0;
  nestedCollectionCount_ = 0;
  const std::string name = "T" + std::to_string(typeCount_);
  refTargets_ = {options_.schema + TypeDefinition::NAME_SEPARATOR + name};
  TypeDefinition type(options_.schema, name, 1 + static_cast<int32_t>(below(127)));
  fillType(type, 1);
  return type;
}

void TypeGenerator::fillType(TypeDefinition& type, int32_t level) {
  const auto n = 1 + static_cast<int32_t>(below(static_cast<uint64_t>(options_.maxAttributes)));
  for (int32_t i = 1; i <= n; ++i) {
    std::string attribute = "A" + std::to_string(i);
    if (level < options_.maxLevels && options_.collectionPercent > 0 &&
        chance(options_.collectionPercent)) {
      type.addAttribute(std::move(attribute),
                        AttributeType::collectionAttribute(nestedCollection(level + 1)));
    } else if (level < options_.maxLevels && chance(options_.embeddedPercent)) {
      const std::string name =
          "T" + std::to_string(typeCount_) + "_E" + std::to_string(++embeddedCount_);
      TypeDefinition inner(options_.schema, name, 1);
      fillType(inner, level + 1);
      refTargets_.push_back(inner.sqlName());  // complete now, so a later REF may name it
      type.addAttribute(std::move(attribute), AttributeType::embeddedType(std::move(inner)));
    } else {
      type.addAttribute(std::move(attribute), scalarType());
    }
  }
}

AttributeType TypeGenerator::scalarType() {
  const auto precision = static_cast<int32_t>(below(39));
  const auto scale = static_cast<int32_t>(below(128));
  return scalarOfChoice(below(SCALAR_CHOICES), precision, scale);
}

// choice: 0..2 NUMBER (its three opcodes), 3 FLOAT, 4 SINT32, 5 DATE, 6 RAW, 7 CHAR,
// 8 VARCHAR, 9 BLOB, 10 CLOB, 11 BFILE, 12 REF.
AttributeType TypeGenerator::scalarOfChoice(uint64_t choice, int32_t precision, int32_t scale) {
  switch (choice) {
    case 0: return AttributeType::numberType(precision, scale);
    case 1:
      return AttributeType::numberType(precision, scale, AttributeType::NumberOpcode::NUMBER_8);
    case 2:
      return AttributeType::numberType(precision, scale, AttributeType::NumberOpcode::NUMBER_2);
    case 3: return AttributeType::floatType(1 + static_cast<int32_t>(below(126)));
    case 4: return AttributeType::sint32Type();
    case 5: return AttributeType::dateType();
    case 6: return AttributeType::rawType(1 + static_cast<int32_t>(below(2000)));
    case 7: return AttributeType::charType(1 + static_cast<int32_t>(below(2000)));
    case 8: return AttributeType::varcharType(1 + static_cast<int32_t>(below(4000)));
    case 9: return AttributeType::blobType();
    case 10: return AttributeType::clobType();
    case 11: return AttributeType::bfileType();
    default: return AttributeType::refType(refTargets_[below(refTargets_.size())]);
  }
}

TypeDefinition TypeGenerator::nextCollectionType() {
  // Every scalar choice, REF once a nextType has named targets; NUMBER keeps its three opcodes'
  // share.
  const uint64_t choice = below(refTargets_.empty() ? REF_CHOICE : SCALAR_CHOICES);
  return collectionOf(choice);
}

TypeDefinition TypeGenerator::nextCollectionType(AttributeType::Kind element) {
  const auto [first, count] = choicesOf(element);
  if (count == 0) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_UNSUPPORTED,
                             "generated collection elements of a kind are scalars");
  }
  if (first == REF_CHOICE && refTargets_.empty()) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_UNSUPPORTED,
                             "a REF element needs a type from nextType to name");
  }
  return collectionOf(first + below(count));
}

TypeDefinition TypeGenerator::collectionOf(uint64_t choice) {
  ++collectionCount_;
  std::string name = "C" + std::to_string(collectionCount_);
  const auto precision = static_cast<int32_t>(below(39));
  const auto scale = static_cast<int32_t>(below(128));
  return collectionWith(std::move(name), scalarOfChoice(choice, precision, scale));
}

TypeDefinition TypeGenerator::collectionWith(std::string name, AttributeType element) {
  // Half bounded, never below what nextCollectionValue makes, so that every value can be written.
  const bool bounded = chance(50);
  const int64_t max = options_.maxCollectionElements + static_cast<int64_t>(below(3));
  return TypeDefinition::collectionType(
      options_.schema, std::move(name), std::move(element), bounded ? max : 0,
      bounded ? TypeDefinition::CollectionKind::BOUNDED : TypeDefinition::CollectionKind::UNBOUNDED,
      1 + static_cast<int32_t>(below(127)));
}

TypeDefinition TypeGenerator::nestedCollection(int32_t level) {
  std::string name =
      "T" + std::to_string(typeCount_) + "_C" + std::to_string(++nestedCollectionCount_);
  // While levels remain: a third object elements, a third collection elements.
  const uint64_t form = level < options_.maxLevels ? below(3) : 2;
  if (form == 0) {
    const std::string objectName =
        "T" + std::to_string(typeCount_) + "_E" + std::to_string(++embeddedCount_);
    TypeDefinition inner(options_.schema, objectName, 1);
    fillType(inner, level + 1);
    refTargets_.push_back(inner.sqlName());  // complete now, so a later REF may name it
    return collectionWith(std::move(name), AttributeType::embeddedType(std::move(inner)));
  }
  if (form == 1) {
    return collectionWith(std::move(name),
                          AttributeType::collectionAttribute(nestedCollection(level + 1)));
  }
  return collectionWith(std::move(name), scalarType());
}

// --- values ---

lang::Ref<jdbc::ObjectValue> TypeGenerator::nextValue(const TypeDefinition& type,
                                                      jdbc::MemoryConnection& conn) {
  const auto& attributes = type.attributes();
  auto values = lang::ObjectArray::make(static_cast<int64_t>(attributes.size()));
  for (size_t i = 0; i < attributes.size(); ++i) {
    if (chance(options_.nullPercent)) continue;  // stays null
    values->set(static_cast<int32_t>(i), nextAttributeValue(attributes[i].type, conn));
  }
  return lang::makeRef<jdbc::ObjectValue>(
      jdbc::ObjectDescriptor::createDescriptor(type.sqlName(), &conn), &conn, values);
}

lang::Ref<jdbc::SqlValue> TypeGenerator::nextAttributeValue(const AttributeType& type,
                                                            jdbc::MemoryConnection& conn) {
  // Bytes that start with their own 2-byte length, as locators and REFs do.
  auto prefixed = [this](int32_t maxBytes) {
    const auto n = 1 + static_cast<int32_t>(below(static_cast<uint64_t>(maxBytes)));
    std::vector<int8_t> b = bytes(n + 2);
    b[0] = static_cast<int8_t>(n >> 8);
    b[1] = static_cast<int8_t>(n & 0xFF);
    return arrayOf(b);
  };
  const lang::Ref<jdbc::Connection> connection(&conn);
  // A collection's kind() reports REF: ask first.
  if (const TypeDefinition* collection = type.collectionType()) {
    return nextCollectionValue(*collection, conn);
  }
  switch (type.kind()) {
    case Kind::NUMBER:
      switch (below(4)) {
        case 0: return lang::makeRef<jdbc::NumberValue>(static_cast<int32_t>(below(2001)) - 1000);
        case 1: return lang::makeRef<jdbc::NumberValue>(static_cast<int64_t>(next()));
        case 2: {
          // Up to 38 significant digits over a wide exponent range.
          std::string text = chance(50) ? "-" : "";
          text += static_cast<char>('1' + below(9));
          text += '.';
          for (uint64_t d = below(38); d > 0; --d) text += static_cast<char>('0' + below(10));
          text += "e" + std::to_string(static_cast<int32_t>(below(261)) - 130);
          return jdbc::NumberValue::fromString(text);
        }
        default: return lang::makeRef<jdbc::NumberValue>(int32_t{0});
      }
    case Kind::FLOAT: {
      // A 53-bit fraction scaled by 10^-60 .. 10^60.
      double v = static_cast<double>(next() >> 11) / 9007199254740992.0;
      for (auto e = static_cast<int32_t>(below(121)) - 60; e != 0; e += e > 0 ? -1 : 1) {
        v = e > 0 ? v * 10 : v / 10;
      }
      return lang::makeRef<jdbc::NumberValue>(chance(50) ? -v : v);
    }
    case Kind::SINT32:
      return lang::makeRef<jdbc::NumberValue>(static_cast<int32_t>(static_cast<uint32_t>(next())));
    case Kind::DATE: {
      constexpr int32_t span = jdbc::DateValue::MAX_YEAR - jdbc::DateValue::MIN_YEAR + 1;
      const int32_t year = jdbc::DateValue::MIN_YEAR + static_cast<int32_t>(below(span));
      const auto month = 1 + static_cast<int32_t>(below(12));
      const int32_t days = lang::Timestamp::daysInMonth(year, month);
      const auto day = 1 + static_cast<int32_t>(below(static_cast<uint64_t>(days)));
      const int32_t a = year < 0 ? -year : year;
      const int32_t century = year >= 0 ? a / 100 + 100 : 100 - a / 100;
      const int32_t yy = year >= 0 ? a % 100 + 100 : 100 - a % 100;
      const auto hour = 1 + static_cast<int32_t>(below(24));  // the form counts from 1
      const auto minute = 1 + static_cast<int32_t>(below(60));
      const auto second = 1 + static_cast<int32_t>(below(60));
      const int32_t form[jdbc::DateValue::LENGTH] = {century, yy, month, day, hour, minute, second};
      auto b = lang::ByteArray::make(jdbc::DateValue::LENGTH);
      for (int32_t i = 0; i < jdbc::DateValue::LENGTH; ++i) (*b)[i] = static_cast<int8_t>(form[i]);
      return lang::makeRef<jdbc::DateValue>(b);
    }
    case Kind::RAW: {
      const int32_t limit = std::min(type.maxLength(), MAX_RAW_BYTES);
      return lang::makeRef<jdbc::RawValue>(
          arrayOf(bytes(1 + static_cast<int32_t>(below(static_cast<uint64_t>(limit))))));
    }
    case Kind::CHAR:
    case Kind::VARCHAR: {
      // 1..limit bytes of UTF-8; a piece that would overflow the limit becomes one ASCII byte.
      const auto limit = static_cast<size_t>(std::min(type.maxLength(), MAX_TEXT_BYTES));
      const size_t target = 1 + below(limit);
      std::string text;
      while (text.size() < target) {
        const std::string_view piece = TEXT_PIECES[below(TEXT_PIECES.size())];
        text += text.size() + piece.size() <= limit ? piece : std::string_view("o");
      }
      return lang::makeRef<jdbc::CharValue>(
          *lang::String::of(text), jdbc::CharsetConverter::forId(jdbc::CharsetConverter::UTF_8));
    }
    case Kind::BLOB: return lang::makeRef<jdbc::BlobValue>(connection, prefixed(MAX_LOCATOR_BYTES));
    case Kind::CLOB: return lang::makeRef<jdbc::ClobValue>(connection, prefixed(MAX_LOCATOR_BYTES));
    case Kind::BFILE:
      return lang::makeRef<jdbc::BfileValue>(connection, prefixed(MAX_BFILE_LOCATOR_BYTES));
    case Kind::REF:
      return lang::makeRef<jdbc::RefValue>(
          jdbc::ObjectDescriptor::createDescriptor(type.refTarget(), &conn), &conn,
          prefixed(MAX_REF_BYTES));
    case Kind::EMBEDDED_OBJECT: return nextValue(*type.objectType(), conn);
  }
  return nullptr;
}

lang::Ref<jdbc::ArrayValue> TypeGenerator::nextCollectionValue(const TypeDefinition& type,
                                                               jdbc::MemoryConnection& conn) {
  const AttributeType* element = type.elementType();
  if (element == nullptr) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_INVALID_ARGUMENT,
                             ("not a collection type: " + type.sqlName()).c_str());
  }
  const auto n = chance(options_.emptyCollectionPercent)
                     ? 0
                     : 1 + static_cast<int32_t>(below(
                               static_cast<uint64_t>(options_.maxCollectionElements)));
  auto elements = lang::ObjectArray::make(n);
  for (int32_t i = 0; i < n; ++i) {
    if (chance(options_.nullPercent)) continue;  // stays null
    elements->set(i, nextAttributeValue(*element, conn));
  }
  return lang::makeRef<jdbc::ArrayValue>(
      jdbc::ArrayDescriptor::createDescriptor(type.sqlName(), &conn), &conn, elements.get());
}

// --- the catalog ---

lang::Ref<jdbc::ObjectDescriptor> registerType(jdbc::MemoryConnection& conn,
                                               const TypeDefinition& type) {
  return catalog::MemoryCatalog::registerType(conn, type);
}

lang::Ref<jdbc::ArrayDescriptor> registerCollectionType(jdbc::MemoryConnection& conn,
                                                        const TypeDefinition& type) {
  return catalog::MemoryCatalog::registerCollectionType(conn, type);
}

}  // namespace kelvor::testsupport
