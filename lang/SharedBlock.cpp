#include "lang/SharedBlock.h"

namespace kelvor::lang {

namespace {
thread_local BlockArena* currentArena = nullptr;
}  // namespace

BlockArena* BlockArena::current() noexcept { return currentArena; }

void BlockArena::install(BlockArena* arena) noexcept { currentArena = arena; }

}  // namespace kelvor::lang
