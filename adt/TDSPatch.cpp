#include "adt/TDSPatch.h"

#include <utility>

#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "types/DepthGuard.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::jdbc::kelcore {

TDSPatch::TDSPatch(int32_t kind, Ref<KelvorType> owner, int64_t position, int8_t typeByte)
    : kind_(kind), owner_(std::move(owner)), position_(position), typeByte_(typeByte) {}

void TDSPatch::apply(const Ref<KelvorType>& resolved) { apply(resolved, -1); }

void TDSPatch::apply(const Ref<KelvorType>& resolved, int8_t opcode) {
  switch (kind_) {
    case KIND_ELEMENT_TYPE: {
      auto* collection = dynamic_cast<KelvorTypeCOLLECTION*>(owner_.get());
      if (collection == nullptr) {
        ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED,
                           "element fix-up for a descriptor that takes no elements", owner_.get());
      }
      // An end opcode at the position describes no element: the collection would have none.
      if (!resolved) {
        ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "element fix-up names no element type");
      }
      // security: collections of collections chain through fix-ups, each read iteratively,
      // but images of them are read by recursion; bound the chain where it is built.
      int32_t depth = 0;
      for (const KelvorNamedType* t = collection; t != nullptr; t = t->getParent()) {
        if (++depth > MAX_NESTING_DEPTH) ErrorRaiser::raiseStackOverflow();
      }
      collection->attachElementType(resolved, opcode);
      if (auto* named = dynamic_cast<KelvorNamedType*>(resolved.get())) {
        named->setParent(collection);
        named->setParentIndex(1);
      }
      return;
    }
    case KIND_OBJECT_TYPE: {
      auto* upt = dynamic_cast<KelvorTypeUPT*>(owner_.get());
      if (upt == nullptr) {
        ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED,
                           "object fix-up for a descriptor that takes no object type", owner_.get());
      }
      if (!resolved) ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT, "object fix-up names no type");
      // The type byte promises what the description holds: FB a collection type, FA an object
      // type (a description whose only attribute is a collection stands for that collection).
      // A UPT whose byte and type disagree would read one kind of image with the other's reader.
      auto* object = dynamic_cast<KelvorTypeADT*>(resolved.get());
      const bool collection = dynamic_cast<KelvorTypeCOLLECTION*>(resolved.get()) != nullptr;
      const bool fits = object != nullptr && dynamic_cast<KelvorTypeUPT*>(object) == nullptr &&
                        (upt->getTypeByte() == KelvorTypeUPT::UPT_COLLECTION ? collection
                                                                             : !collection);
      if (!fits) {
        ErrorRaiser::raise(DriverException::ERR_TDS_FORMAT,
                           "UPT type byte disagrees with the type described at its position");
      }
      upt->attachObjectType(Ref<KelvorTypeADT>(object));
      // The attached type stands in the tree where the UPT stands.
      object->setParent(upt->getParent());
      object->setParentIndex(upt->getParentIndex());
      return;
    }
    default:
      ErrorRaiser::raise(DriverException::ERR_INTERNAL, "unknown fix-up kind");
  }
}

}  // namespace kelvor::jdbc::kelcore
