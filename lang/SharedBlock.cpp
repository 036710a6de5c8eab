#include "lang/SharedBlock.h"

namespace kelvor::lang {

constinit thread_local BlockArena* BlockArena::current_ = nullptr;

}  // namespace kelvor::lang
