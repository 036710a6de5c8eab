// The descriptor class of each TDS opcode: the one place that knows every descriptor class.
// The object type reads an entry's opcode, asks here for the empty descriptor and lets it parse
// its operands; it handles the end opcodes and the embedded object type (39) itself.
//
// Stateless; safe from any thread.
#pragma once

#include <cstdint>

#include "types/TypeFwd.h"

namespace kelvor::jdbc::kelcore {

class AttributeFactory {
 public:
  // A new descriptor for the entry of `opcode`, attribute `index` (1-based) of `parent` (not
  // owned). `formatFlag` is the parent's, which collections and UPTs take over. An opcode no
  // descriptor class reads raises ERR_TDS_OPCODE.
  static Ref<KelvorType> create(int32_t opcode, KelvorTypeADT* parent, int32_t index,
                                jdbc::Connection* conn, bool formatFlag);

 private:
  AttributeFactory() = default;
};

}  // namespace kelvor::jdbc::kelcore
