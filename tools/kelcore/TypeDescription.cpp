#include "tools/kelcore/TypeDescription.h"

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "scalar/KelvorTypeCHAR.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "scalar/KelvorTypeRAW.h"
#include "types/DepthGuard.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::tools {

using jdbc::kelcore::KelvorType;
using jdbc::kelcore::KelvorTypeADT;
using jdbc::kelcore::KelvorTypeCOLLECTION;
using jdbc::kelcore::KelvorTypeUPT;
using Json = JsonText::Json;

JsonText::Json TypeDescription::describe(KelvorType& type, const NameTree& names) {
  return node(type, names, 0);
}

JsonText::Json TypeDescription::node(KelvorType& type, const NameTree& names, int32_t depth) {
  if (depth > jdbc::kelcore::MAX_NESTING_DEPTH) {
    jdbc::ErrorRaiser::raise(jdbc::DriverException::ERR_STACK_OVERFLOW, "descriptor tree too deep");
  }
  Json n = Json::object();
  n["class"] = type.className();
  auto* upt = dynamic_cast<KelvorTypeUPT*>(&type);
  // A UPT answers its type code from its type byte, and raises for one it does not know.
  const bool knownCode = upt == nullptr || upt->getTypeByte() == KelvorTypeUPT::UPT_OBJECT ||
                         upt->getTypeByte() == KelvorTypeUPT::UPT_COLLECTION;
  n["typeCode"] = knownCode ? Json(type.getTypeCode()) : Json();
  n["nullIndex"] = type.getNullIndex();
  n["offsetIndex"] = type.getOffsetIndex();
  if (auto* named = dynamic_cast<jdbc::kelcore::KelvorNamedType*>(&type)) {
    n["parentIndex"] = named->getParentIndex();
  }
  if (auto* number = dynamic_cast<jdbc::kelcore::KelvorTypeNUMBER*>(&type)) {
    n["precision"] = number->getPrecision();
    n["scale"] = number->getScale();
  } else if (auto* chars = dynamic_cast<jdbc::kelcore::KelvorTypeCHAR*>(&type)) {
    n["maxLength"] = chars->getMaxLength();
    n["charsetForm"] = chars->getCharsetForm();
    n["charsetId"] = chars->getCharsetId();
  } else if (auto* raw = dynamic_cast<jdbc::kelcore::KelvorTypeRAW*>(&type)) {
    n["maxLength"] = raw->getMaxLength();
  }
  auto* object = dynamic_cast<KelvorTypeADT*>(&type);
  if (object == nullptr) return n;
  n["embeddedState"] = object->getEmbeddedState();
  n["typeVersion"] = object->getKnownTypeVersion();
  if (auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(&type)) {
    n["collectionKind"] = collection->getCollectionKind();
    n["maxElements"] = collection->getMaxElements();
    const auto& element = collection->getElementType();
    n["element"] = element ? node(*element, names, depth + 1) : Json();
  } else if (upt != nullptr) {
    n["typeByte"] = upt->getTypeByte();
    const auto& attached = upt->getObjectType();
    n["object"] = attached ? node(*attached, names, depth + 1) : Json();
  } else {
    Json attributes = Json::array();
    if (const auto& types = object->parsedAttributeTypes()) {
      for (int32_t i = 0; i < types->length(); ++i) {
        auto& attribute = static_cast<KelvorType&>(*types->at(i));
        const auto at = static_cast<size_t>(i);
        Json child = node(attribute, names.child(at), depth + 1);
        if (const auto& name = names.name(at)) {
          // The name first: it is what a reader looks for.
          Json named = Json::object();
          named["name"] = *name;
          named.update(child);
          child = std::move(named);
        }
        attributes.push_back(std::move(child));
      }
    }
    n["attributes"] = std::move(attributes);
  }
  return n;
}

}  // namespace kelvor::tools
