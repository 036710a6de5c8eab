// Objects that share one allocation, the block, which is freed when the last of them is
// deleted: the objects of one read (each value with its short byte form, object values and
// their attribute arrays, the platform's objects) are placed side by side instead of taking an
// allocation each. Each
// object keeps its own reference count and identity; any of them may outlive the others.
//
// block := header (objectBackPointer object)...
// header: the count of live objects; each object is preceded by a back pointer to the header,
// so that a deleted object finds its block from its own address alone. Objects are aligned to
// 8 bytes.
//
// Blocks are filled by a BlockArena, one per read on the reading thread (BlockArena::Scope
// installs it): objects are placed one after the other in blocks of BLOCK_BYTES, or, for a
// short image, in one block sized from the image (see BlockArena::Scope). While the arena fills
// a block, the block's count carries a bias that the leaves of its objects cannot use up; when
// the arena moves to a new block or ends, it takes the bias back less the objects it placed, so
// the block goes with the last of its objects, on whatever thread that one is released.
//
// Trade-off: a block is freed only when every object in it is gone, so one value kept from a
// large read pins the block it lies in: up to BLOCK_BYTES (8 KiB) for a value whose own size
// may be 60 bytes. Larger blocks would save allocations (8 KiB holds about a hundred small
// values) but let a few kept values hold more of a dropped read. Objects above MAX_PLACED bytes
// are never placed: they take an allocation of their own. An arena fills at most MAX_BLOCKS
// blocks (512 KiB); the rest of a larger read is allocated as outside a read: the allocator
// hands blocks freed at the top of its heap back to the system, and a read of many megabytes
// made of blocks then pays that much in fresh pages on every repetition (a million NUMBER
// values measured 30% slower in blocks than in allocations of their own).
//
// An object placed in a block carries Object::IN_SHARED_BLOCK (or, for a Placeable, the back
// pointer in front of it tells), and its class's delete calls leave() instead of freeing it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace kelvor::lang {

class SharedBlock {
 public:
  // The memory of a destroyed object: its block's share when it was placed in one (it carries
  // Object::IN_SHARED_BLOCK), else its own allocation.
  static void dispose(void* object, bool placed) noexcept {
    if (placed) {
      leave(object);
    } else {
      ::operator delete(object);
    }
  }

  // One object of the block is gone (destroyed, or never made); the last frees the block.
  static void leave(void* object) noexcept { of(object)->drop(1); }

 private:
  friend class BlockArena;
  friend class Placeable;

  explicit SharedBlock(int32_t live) noexcept : live_(live) {}
  static size_t roundUp(size_t n, size_t to) noexcept { return (n + to - 1) / to * to; }
  // The back pointer lies right before a placed object, inside its block. The address is
  // formed as a number: from a pointer, an optimizer that inlines a release into the code that
  // just allocated an object of its own (never placed, so never read here) warns of a read
  // before that allocation.
  static SharedBlock* of(const void* object) noexcept {
    SharedBlock* block;
    const auto at =
        reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(object) - sizeof block);
    std::memcpy(&block, at, sizeof block);
    return block;
  }
  static void setBackPointer(void* object, SharedBlock* block) noexcept {
    std::memcpy(static_cast<char*>(object) - sizeof block, &block, sizeof block);
  }
  // Takes n from the live count; the block goes when nothing is left.
  // The last drop needs no atomic subtraction (as Object::release).
  void drop(int32_t n) noexcept {
    if (live_.load(std::memory_order_acquire) == n ||
        live_.fetch_sub(n, std::memory_order_acq_rel) == n) {
      this->~SharedBlock();
      ::operator delete(this);
    }
  }

  std::atomic<int32_t> live_;
};

// Places the objects of one read in shared blocks (see SharedBlock). Used by the one thread
// that installed it; the blocks' counts are atomic, so the objects may go on any thread.
class BlockArena {
 public:
  static constexpr size_t BLOCK_BYTES = 8192;
  static constexpr size_t MAX_PLACED = 512;
  static constexpr int32_t MAX_BLOCKS = 64;

  BlockArena() noexcept = default;
  ~BlockArena() { close(); }
  BlockArena(const BlockArena&) = delete;
  BlockArena& operator=(const BlockArena&) = delete;

  // A place for an object of `size` bytes (aligned to 8 at most), counted in its block; the
  // object made there must leave() its block when it goes, or in its stead if it is never made.
  // Null when the object is above MAX_PLACED bytes or the arena has filled its MAX_BLOCKS.
  void* place(size_t size) {
    if (size > MAX_PLACED) return nullptr;
    const size_t need = sizeof(SharedBlock*) + SharedBlock::roundUp(size, 8);
    if (block_ == nullptr || static_cast<size_t>(end_ - next_) < need) {
      if (opened_ == maxBlocks_) return nullptr;
      open();
    }
    void* object = next_ + sizeof(SharedBlock*);
    SharedBlock::setBackPointer(object, block_);
    next_ += need;
    ++placed_;
    return object;
  }

  // The arena installed on this thread, or null outside a read (a thread-local load).
  static BlockArena* current() noexcept { return current_; }

  // Installs an arena on this thread for its lifetime (defined below).
  class Scope;

 private:
  static constexpr int32_t BIAS = 1 << 30;  // above any count of objects in one block
  static constexpr size_t HEADER = 8;       // the count, padded to the objects' alignment

  static void install(BlockArena* arena) noexcept { current_ = arena; }
  // Initial-exec: one load from the thread pointer (the library is loaded with its host, whose
  // own thread slot is initial-exec too); constinit: no initialization call on access.
  static constinit thread_local BlockArena* current_ __attribute__((tls_model("initial-exec")));
  // An arena of one block of `bytes` (a short read): what does not fit is allocated as outside
  // a read.
  void limitToOneBlock(size_t bytes) noexcept {
    blockBytes_ = bytes;
    maxBlocks_ = 1;
  }
  void open() {
    close();
    void* memory = ::operator new(blockBytes_);
    block_ = new (memory) SharedBlock(BIAS);
    ++opened_;
    next_ = static_cast<char*>(memory) + HEADER;
    end_ = static_cast<char*>(memory) + blockBytes_;
  }
  // Gives the block up: what stays counted is its placed objects that are still alive.
  void close() noexcept {
    if (block_ == nullptr) return;
    SharedBlock* block = block_;
    block_ = nullptr;
    block->drop(BIAS - placed_);
    placed_ = 0;
  }

  SharedBlock* block_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
  int32_t placed_ = 0;
  int32_t opened_ = 0;
  size_t blockBytes_ = BLOCK_BYTES;
  int32_t maxBlocks_ = MAX_BLOCKS;
};

static_assert(sizeof(SharedBlock) <= 8);

// Installs an arena on this thread for its lifetime, unless one is installed already (a read
// inside a read places into the outer read's blocks). A read of an image below MIN_IMAGE bytes
// that makes objects (values, or the platform's: see Placeable) gets one block sized from the
// image (SHORT_BYTES_PER_IMAGE_BYTE per
// image byte and SHORT_BASE_BYTES, at most SHORT_MAX_BYTES), and what does not fit in it takes an
// allocation of its own: the value objects of a short image take about 16 bytes per image byte (a
// 4-byte number makes a value, a byte array and their share of the attribute array), so an object
// of a few attributes is one allocation instead of one or two per attribute, while a value kept
// from it pins at most SHORT_MAX_BYTES. SHORT_MAX_BYTES stays within the sizes the allocator
// serves from its per-thread cache: a larger block measured slower than the allocations it
// replaced (an object of 10 scalars). Any other short read (to a primitive array) installs
// none: its few placed objects would not pay for the block.
class BlockArena::Scope {
 public:
  static constexpr int64_t MIN_IMAGE = 512;
  static constexpr int64_t SHORT_BYTES_PER_IMAGE_BYTE = 16;
  static constexpr int64_t SHORT_BASE_BYTES = 256;
  static constexpr int64_t SHORT_MAX_BYTES = 1024;

  Scope() noexcept : Scope(MIN_IMAGE, true) {}
  // For a read of imageBytes bytes; makesObjects: whether it makes an object per value.
  Scope(int64_t imageBytes, bool makesObjects) noexcept
      : installed_(current() == nullptr && (makesObjects || imageBytes >= MIN_IMAGE)) {
    if (!installed_) return;
    if (imageBytes < MIN_IMAGE) {
      const int64_t want =
          (imageBytes < 0 ? 0 : imageBytes) * SHORT_BYTES_PER_IMAGE_BYTE + SHORT_BASE_BYTES;
      arena_.limitToOneBlock(static_cast<size_t>(want < SHORT_MAX_BYTES ? want : SHORT_MAX_BYTES));
    }
    install(&arena_);
  }
  ~Scope() {
    if (installed_) install(nullptr);
  }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  BlockArena arena_;
  bool installed_;
};

}  // namespace kelvor::lang
