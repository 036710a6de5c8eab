#include "lang/SharedBlock.h"

namespace kelvor::lang {

namespace {
// Initial-exec: one load from the thread pointer per object placed (the library is loaded with
// its host, whose own thread slot is initial-exec too).
thread_local BlockArena* currentArena [[gnu::tls_model("initial-exec")]] = nullptr;
}  // namespace

BlockArena* BlockArena::current() noexcept { return currentArena; }

void BlockArena::install(BlockArena* arena) noexcept { currentArena = arena; }

}  // namespace kelvor::lang
