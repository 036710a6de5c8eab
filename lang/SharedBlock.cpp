#include "lang/SharedBlock.h"

namespace kelvor::lang {

namespace {
thread_local BlockArena* currentArena = nullptr;
}  // namespace

std::atomic<int32_t> BlockArena::installed_{0};

BlockArena* BlockArena::installedHere() noexcept { return currentArena; }

void BlockArena::install(BlockArena* arena) noexcept {
  installed_.fetch_add(arena != nullptr ? 1 : -1, std::memory_order_relaxed);
  currentArena = arena;
}

}  // namespace kelvor::lang
