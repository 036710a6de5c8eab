// A deferred fix-up of a TDS: a descriptor (a UPT or a collection) names a type whose
// description lies further on in the same TDS. The patch records who asked, what kind of
// attachment it wants and where the description starts; the object type's fix-up pass parses
// the description there and applies the patch with the result. Used once, by the one thread
// that parses.
#pragma once

#include <cstdint>

#include "lang/Object.h"
#include "types/KelvorType.h"
#include "types/TypeFwd.h"

namespace kelvor::jdbc::kelcore {

class TDSPatch : public lang::Object {
 public:
  static constexpr int32_t KIND_OBJECT_TYPE = 0;   // owner is a UPT: attach its object type
  static constexpr int32_t KIND_ELEMENT_TYPE = 1;  // owner is a collection: attach its elements

  // The owner is held by Ref: the patch waits on the reader's queue while the owner sits in a
  // tree still being built, and must not outlive it as a dangling pointer.
  TDSPatch(int32_t kind, Ref<KelvorType> owner, int64_t position, int8_t typeByte);

  // apply(resolved, -1).
  void apply(const Ref<KelvorType>& resolved);
  // Attaches resolved to the owner according to the kind. A kind other than the two above:
  // ERR_INTERNAL.
  void apply(const Ref<KelvorType>& resolved, int8_t opcode);
  // The descriptor that queued the patch (not owned by the caller). Narrows to the named-type
  // class once that class exists.
  KelvorType* getOwner() const noexcept { return owner_.get(); }
  // Where the referenced description starts, relative to the start of the TDS.
  int64_t getPosition() const noexcept { return position_; }
  int32_t getKind() const noexcept { return kind_; }
  // The UPT's type byte for KIND_OBJECT_TYPE (0xFB or 0xFA, read signed); 0 otherwise.
  int8_t getTypeByte() const noexcept { return typeByte_; }

  const char* className() const noexcept override { return "TDSPatch"; }

 private:
  int32_t kind_;
  Ref<KelvorType> owner_;
  int64_t position_;
  int8_t typeByte_;
};

}  // namespace kelvor::jdbc::kelcore
