// Two objects in one allocation, freed when the later of them is deleted: a value and the
// byte array it holds, made together so that reading a value costs one allocation, not two.
// Each object keeps its own reference count and identity; either may outlive the other.
//
// block := header(16) first second      header: the live count, then (in its last 8 bytes)
//                                       the first object's back pointer to the header
// second is preceded by its own back pointer (8 bytes, inside 16 of padding), so that a
// deleted object finds the header from its own address alone.
//
// An object placed in a block carries Object::IN_SHARED_BLOCK, and its class's destroying
// delete calls leave() instead of freeing the object.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace kelvor::lang {

class SharedBlock {
 public:
  // A block for objects of firstSize and secondSize bytes, with both places; nothing is
  // constructed in them. Each object that is made must later leave(); one that is not made
  // (its constructor threw) must leave() in its stead.
  static SharedBlock* allocate(size_t firstSize, size_t secondSize, void** first, void** second) {
    const size_t secondAt = HEADER + roundUp(firstSize) + HEADER;
    void* memory = ::operator new(secondAt + secondSize);
    auto* block = new (memory) SharedBlock();
    *first = static_cast<char*>(memory) + HEADER;
    *second = static_cast<char*>(memory) + secondAt;
    setBackPointer(*first, block);
    setBackPointer(*second, block);
    return block;
  }

  // One object of the block is gone (destroyed, or never made); the last frees the block.
  static void leave(void* object) noexcept {
    SharedBlock* block;
    std::memcpy(&block, static_cast<char*>(object) - sizeof(SharedBlock*), sizeof block);
    if (block->live_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      block->~SharedBlock();
      ::operator delete(block);
    }
  }

 private:
  static constexpr size_t HEADER = 16;  // room for the count and a back pointer, aligned

  SharedBlock() noexcept = default;
  static size_t roundUp(size_t n) noexcept { return (n + HEADER - 1) / HEADER * HEADER; }
  static void setBackPointer(void* object, SharedBlock* block) noexcept {
    std::memcpy(static_cast<char*>(object) - sizeof block, &block, sizeof block);
  }

  std::atomic<int32_t> live_{2};
};

static_assert(sizeof(SharedBlock) + sizeof(SharedBlock*) <= 16);

}  // namespace kelvor::lang
