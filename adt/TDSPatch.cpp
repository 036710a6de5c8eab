#include "adt/TDSPatch.h"

#include <utility>

#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"

namespace kelvor::jdbc::kelcore {

TDSPatch::TDSPatch(int32_t kind, Ref<KelvorType> owner, int64_t position, int8_t typeByte)
    : kind_(kind), owner_(std::move(owner)), position_(position), typeByte_(typeByte) {}

void TDSPatch::apply(const Ref<KelvorType>& resolved) { apply(resolved, -1); }

void TDSPatch::apply(const Ref<KelvorType>& resolved, int8_t opcode) {
  static_cast<void>(resolved);
  static_cast<void>(opcode);
  switch (kind_) {
    case KIND_ELEMENT_TYPE:
      // The collection descriptor takes its element type (and the opcode that introduced it)
      // here and becomes the element's parent at index 1; it attaches itself when it lands.
    case KIND_OBJECT_TYPE:
      // The UPT descriptor takes its object type here, which then stands in the tree where the
      // UPT stands (the UPT's parent and parent index); it attaches itself when it lands.
      ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED,
                         "fix-up target descriptor not available", owner_.get());
    default:
      ErrorRaiser::raise(DriverException::ERR_INTERNAL, "unknown fix-up kind");
  }
}

}  // namespace kelvor::jdbc::kelcore
