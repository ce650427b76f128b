// Uninitialised memory for large byte images that are filled once and read
// many times: a container's copy, the blocks of a text arena. From 2 MiB up
// it is an anonymous mapping aligned to 2 MiB and offered to the kernel for
// transparent huge pages, so filling 16 MB costs eight page faults rather
// than four thousand (on a virtual machine each fault is dear). From 64 KiB
// it is a mapping of small pages that can be made present many at a time;
// smaller buffers come from the heap.
#pragma once

#include <cstddef>

namespace platform {

class LargeBuffer {
 public:
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;
  // From here up to a huge page: a mapping of small pages, which can be made
  // present many at a time rather than by a fault each.
  static constexpr std::size_t kSmallPagesFrom = std::size_t{64} << 10;

  LargeBuffer() = default;
  // For a mapping of small pages: whether its pages are made present at
  // once (a buffer that will be filled) or only as used or asked for.
  enum class Pages { kAtOnce, kAsUsed };

  // Throws std::bad_alloc when the memory cannot be had.
  explicit LargeBuffer(std::size_t size, Pages pages = Pages::kAtOnce);
  ~LargeBuffer();
  LargeBuffer(LargeBuffer&& other) noexcept;
  LargeBuffer& operator=(LargeBuffer&& other) noexcept;
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;

  char* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // Makes the pages of [from, to) present with one call, where that saves
  // faults (a mapping of small pages); elsewhere nothing.
  void MakePresent(std::size_t from, std::size_t to) const;

 private:
  void Release() noexcept;

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_ = 0;  // bytes mapped; 0 when the heap or the pool holds it
  bool pooled_ = false;     // carved from the shared huge pages
};

// Whether the buffers below a huge page are carved from huge pages shared by
// all of them instead of being mappings of small pages: far fewer faults for
// a process that fills many lists once and exits, while the huge pages,
// once taken, stay with the process (a freed buffer is reused by the next
// of its size, never given back). Meanwhile the huge pages of a freed large
// buffer are kept too, for the next buffers, which then need no fresh pages.
// Off by default, which keeps a long-lived window's footprint small.
void PreferHugePages(bool prefer) noexcept;
bool HugePagesPreferred() noexcept;

// Offers the whole huge pages inside [data, data + size) of memory that is
// already ours (a reserved vector or string) to the kernel for transparent
// huge pages, so that first touching a large heap block costs a few faults
// rather than one per 4 KiB page. Only advice: nothing changes where the
// kernel declines, and smaller ranges are left alone.
void OfferHugePages(void* data, std::size_t size) noexcept;

// Memory for a block of `bytes`: from a huge page up, huge pages (kept ones
// where huge pages are preferred and a kept run holds it), below that the
// heap's. Throws std::bad_alloc when the memory cannot be had.
void* AllocateBlock(std::size_t bytes);
// Frees what AllocateBlock(bytes) gave.
void FreeBlock(void* block, std::size_t bytes) noexcept;

// An allocator for a large growing string or vector: its large blocks are
// huge pages, kept ones where they can be had, so that filling them needs no
// fresh pages.
template <typename T>
struct HugePageAllocator {
  using value_type = T;
  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}
  T* allocate(std::size_t count) { return static_cast<T*>(AllocateBlock(count * sizeof(T))); }
  void deallocate(T* block, std::size_t count) noexcept { FreeBlock(block, count * sizeof(T)); }
  template <typename U>
  bool operator==(const HugePageAllocator<U>&) const noexcept {
    return true;
  }
};

// Reserves room for `count` elements of a vector or string and offers that
// room huge pages.
template <typename Container>
void ReserveOnHugePages(Container& items, std::size_t count) {
  items.reserve(count);
  OfferHugePages(items.data(), items.capacity() * sizeof(*items.data()));
}

}  // namespace platform
