// The base of the platform's small objects that a read makes (decimals, strings, timestamps):
// made while a read runs on this thread (a BlockArena installed), an object is placed in the
// read's shared block (see SharedBlock) instead of taking an allocation of its own, like the
// value objects; made at any other time, it takes one. The word before each object tells its
// class's delete which: the back pointer to its block (set by the arena), or null in front of an
// allocation of its own (8 bytes more per such object). An object whose constructor throws
// leaves its block as a deleted one does. For classes aligned to 8 bytes at most.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>

#include "lang/SharedBlock.h"

namespace kelvor::lang {

class Placeable {
 public:
  static void* operator new(std::size_t size) {
    if (BlockArena* arena = BlockArena::current()) {
      if (void* place = arena->place(size)) return place;
    }
    char* memory = static_cast<char*>(::operator new(size + OWN_HEADER));
    std::memset(memory, 0, OWN_HEADER);  // no block
    return memory + OWN_HEADER;
  }
  static void operator delete(void* object) noexcept {
    if (object == nullptr) return;
    if (SharedBlock::of(object) != nullptr) {
      SharedBlock::leave(object);
    } else {
      ::operator delete(static_cast<char*>(object) - OWN_HEADER);
    }
  }

 private:
  static constexpr std::size_t OWN_HEADER = sizeof(SharedBlock*);
};

}  // namespace kelvor::lang
