#include "tests/tools/ExampleTypes.h"

#include <stdexcept>
#include <string_view>
#include <utility>

#include "adt/KelvorTypeADT.h"
#include "catalog/AttributeType.h"
#include "catalog/LayoutWriter.h"
#include "catalog/LinearImageBuilder.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TDSWriter.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayDescriptor.h"
#include "driver/ArrayValue.h"
#include "driver/CharValue.h"
#include "driver/CharsetConverter.h"
#include "driver/DateValue.h"
#include "driver/NumberValue.h"
#include "driver/ObjectDescriptor.h"
#include "driver/ObjectValue.h"
#include "lang/String.h"

namespace kelvor::tools {
namespace {

using catalog::TypeDefinition;
using T = catalog::AttributeType;
using lang::makeRef;
using lang::Ref;

constexpr const char* SCHEMA = "KELCORE";

TypeDefinition addressType() {
  const TypeDefinition lines = TypeDefinition::collectionType(
      SCHEMA, "ADDRESS_LINES", T::varcharType(60), 10, TypeDefinition::CollectionKind::BOUNDED);
  TypeDefinition address(SCHEMA, "ADDRESS");
  address.addAttribute("STREET", T::varcharType(40))
      .addAttribute("CITY", T::varcharType(30))
      .addAttribute("POSTCODE", T::charType(8))
      .addAttribute("LINES", T::collectionAttribute(lines));
  return address;
}

TypeDefinition personType() {
  TypeDefinition person(SCHEMA, "PERSON");
  person.addAttribute("NAME", T::varcharType(60))
      .addAttribute("BORN", T::dateType())
      .addAttribute("HEIGHT", T::numberType(5, 2))
      .addAttribute("ADDRESS", T::embeddedType(addressType()));
  return person;
}

TypeDefinition personsType() {
  return TypeDefinition::collectionType(SCHEMA, "PERSONS", T::embeddedType(personType()), 0);
}

// A NUMBER declared without precision or scale: precision 0, scale byte 0x81.
TypeDefinition numbersType() {
  return TypeDefinition::collectionType(SCHEMA, "NUMBERS", T::numberType(0, 0x81), 100,
                                        TypeDefinition::CollectionKind::BOUNDED);
}

// Builds the values through one connection that holds every example type.
class Values {
 public:
  explicit Values(jdbc::MemoryConnection& conn) : conn_(conn) {}

  Ref<lang::Object> text(std::string_view s) const {
    return makeRef<jdbc::CharValue>(*lang::String::of(std::string(s)),
                                    jdbc::CharsetConverter::forId(jdbc::CharsetConverter::UTF_8));
  }
  // "yyyy-mm-dd hh:mm:ss"
  static Ref<lang::Object> date(std::string_view s) { return jdbc::DateValue::fromString(s); }
  static Ref<lang::Object> number(std::string_view s) { return jdbc::NumberValue::fromString(s); }

  Ref<jdbc::ArrayValue> collection(const std::string& sqlName, Ref<lang::ObjectArray> elements) {
    return makeRef<jdbc::ArrayValue>(jdbc::ArrayDescriptor::createDescriptor(sqlName, &conn_),
                                     &conn_, elements.get());
  }
  Ref<jdbc::ObjectValue> object(const std::string& sqlName, Ref<lang::ObjectArray> attributes) {
    return makeRef<jdbc::ObjectValue>(jdbc::ObjectDescriptor::createDescriptor(sqlName, &conn_),
                                      &conn_, std::move(attributes));
  }

  Ref<jdbc::ObjectValue> address(std::string_view street, std::string_view city,
                                 std::string_view postcode,
                                 std::initializer_list<std::string_view> lines) {
    auto elements = lang::ObjectArray::make(static_cast<int64_t>(lines.size()));
    int32_t i = 0;
    for (const std::string_view line : lines) elements->set(i++, text(line));
    return object("KELCORE.ADDRESS",
                  lang::ObjectArray::of({text(street), text(city), text(postcode),
                                         collection("KELCORE.ADDRESS_LINES", elements)}));
  }
  Ref<jdbc::ObjectValue> person(std::string_view name, Ref<lang::Object> born,
                                Ref<lang::Object> height, Ref<lang::Object> address) {
    return object("KELCORE.PERSON", lang::ObjectArray::of({text(name), std::move(born),
                                                           std::move(height), std::move(address)}));
  }

 private:
  jdbc::MemoryConnection& conn_;
};

}  // namespace

const std::vector<std::string>& ExampleTypes::names() {
  static const std::vector<std::string> all = {"address", "person", "persons", "numbers"};
  return all;
}

std::string ExampleTypes::path(const std::string& name, const std::string& extension) {
  return std::string(KELCORE_EXAMPLES_DIR) + "/" + name + extension;
}

ExampleTypes::ExampleTypes() : connection_(makeRef<jdbc::MemoryConnection>()) {
  jdbc::MemoryConnection& conn = *connection_;
  for (const TypeDefinition& t : {addressType(), personType()}) {
    (void)catalog::MemoryCatalog::registerType(conn, t);
  }
  for (const TypeDefinition& t : {personsType(), numbersType()}) {
    (void)catalog::MemoryCatalog::registerCollectionType(conn, t);
  }
  Values v(conn);
  // The values of examples/<name>.json.
  examples_.emplace("address",
                    Example{addressType(), v.address("27 Quayside Walk", "Harrowfield", "HF2 9QW",
                                                     {"Unit 4B", "Quayside Business Park"})});
  examples_.emplace(
      "person",
      Example{personType(),
              v.person("Mara Quell", Values::date("1987-04-12 00:00:00"), Values::number("1.68"),
                       v.address("14 Linden Row", "Osterby", "OS1 4LR",
                                 {"Flat 3", "Linden Court", "Ring the second bell"}))});
  examples_.emplace(
      "persons",
      Example{
          personsType(),
          v.collection(
              "KELCORE.PERSONS",
              lang::ObjectArray::of(
                  {v.person("Tomas Verhoeven", Values::date("1990-11-30 06:45:00"),
                            Values::number("1.82"),
                            v.address("8 Mill Street", "Brackwater", "BW10 2MS", {"Second floor"})),
                   v.person("Renée Marchetti", Values::date("1975-02-03 00:00:00"),
                            Values::number("1.7"), nullptr),
                   v.person("Jonah Okafor-Lind", Values::date("2001-09-17 00:00:00"), nullptr,
                            v.address("3 Station Approach", "Kelby Cross", "KC4 7SA", {}))}))});
  examples_.emplace(
      "numbers",
      Example{numbersType(),
              v.collection("KELCORE.NUMBERS",
                           lang::ObjectArray::of(
                               {Values::number("0"), Values::number("1.5"), Values::number("-42"),
                                Values::number("12345678901234567890123456789012345678"),
                                Values::number("0.000125"), nullptr, Values::number("100"),
                                Values::number("-0.0625")}))});
}

const ExampleTypes::Example& ExampleTypes::example(const std::string& name) const {
  const auto it = examples_.find(name);
  if (it == examples_.end()) throw std::invalid_argument("no example named " + name);
  return it->second;
}

const TypeDefinition& ExampleTypes::definition(const std::string& name) const {
  return example(name).definition;
}

bool ExampleTypes::isCollection(const std::string& name) const {
  return definition(name).kind() == TypeDefinition::Kind::COLLECTION;
}

const Ref<jdbc::SqlValue>& ExampleTypes::value(const std::string& name) const {
  return example(name).value;
}

Ref<lang::ByteArray> ExampleTypes::tds(const std::string& name) const {
  return catalog::TDSWriter::write(definition(name));
}

Ref<lang::ByteArray> ExampleTypes::layout(const std::string& name) const {
  if (isCollection(name)) return nullptr;
  const Ref<lang::ByteArray> fd = catalog::LayoutWriter::defaultFormatDescriptor();
  return catalog::LayoutWriter::write(definition(name), fd.get());
}

Ref<lang::ByteArray> ExampleTypes::pickledImage(const std::string& name) const {
  const std::string sqlName = definition(name).sqlName();
  if (isCollection(name)) {
    return jdbc::ArrayDescriptor::createDescriptor(sqlName, connection_.get())
        ->getKelvorType()
        ->toImage(value(name).get());
  }
  return jdbc::ObjectDescriptor::createDescriptor(sqlName, connection_.get())
      ->getKelvorType()
      ->toImage(value(name).get());
}

Ref<lang::ByteArray> ExampleTypes::linearImage(const std::string& name) const {
  const std::string sqlName = definition(name).sqlName();
  if (isCollection(name)) {
    return catalog::LinearImageBuilder::buildCollection(
        *jdbc::ArrayDescriptor::createDescriptor(sqlName, connection_.get())->getKelvorType(),
        static_cast<const jdbc::ArrayValue*>(value(name).get()));
  }
  return catalog::LinearImageBuilder::build(
      *jdbc::ObjectDescriptor::createDescriptor(sqlName, connection_.get())->getKelvorType(),
      static_cast<const jdbc::ObjectValue*>(value(name).get()));
}

}  // namespace kelvor::tools
