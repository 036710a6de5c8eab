// Bounds nesting: one guard per nested object, nested image, fix-up or embedded type. Going
// deeper than MAX_NESTING_DEPTH raises the stack-overflow error (62) before any work is done
// at the new level, so hostile input fails cleanly instead of exhausting the stack.
#pragma once

#include <cstdint>

#include "driver/ErrorRaiser.h"
#include "lang/NestingGuard.h"

namespace kelvor::jdbc::kelcore {

inline constexpr int32_t MAX_NESTING_DEPTH = 100;

using DepthGuard = lang::NestingGuard<MAX_NESTING_DEPTH, &ErrorRaiser::raiseStackOverflow>;

}  // namespace kelvor::jdbc::kelcore
