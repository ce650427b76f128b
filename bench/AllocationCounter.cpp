#include "bench/AllocationCounter.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<long long> live{0};
std::atomic<long long> peak{0};

void Count(long long bytes) {
  const long long now = live.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  long long high = peak.load(std::memory_order_relaxed);
  while (now > high && !peak.compare_exchange_weak(high, now, std::memory_order_relaxed)) {
  }
}

long long PageRounded(std::size_t length) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return static_cast<long long>((length + page - 1) / page * page);
}

void* Allocate(std::size_t size, std::size_t alignment = 0) {
  void* p = nullptr;
  if (alignment > alignof(std::max_align_t)) {
    if (posix_memalign(&p, alignment, size ? size : 1) != 0) p = nullptr;
  } else {
    p = std::malloc(size ? size : 1);
  }
  if (!p) throw std::bad_alloc();
  if (!counting.load(std::memory_order_relaxed)) return p;
  Count(static_cast<long long>(malloc_usable_size(p)));
  return p;
}

void Free(void* p) {
  if (!p) return;
  if (counting.load(std::memory_order_relaxed))
    live.fetch_sub(static_cast<long long>(malloc_usable_size(p)), std::memory_order_relaxed);
  std::free(p);
}

void* AllocateNoThrow(std::size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

namespace bench {

void StartCounting() {
  live.store(0);
  peak.store(0);
  counting.store(true);
}

void StopCounting() {
  counting.store(false);
}

long long LiveBytes() {
  return live.load();
}

long long PeakBytes() {
  return peak.load();
}

}  // namespace bench

// Large buffers (the container copies, the arenas' big blocks) are anonymous
// mappings rather than operator new: they count at their mapped size, as
// long as they are mapped. The calls themselves go straight to the kernel.
extern "C" void* mmap(void* address, std::size_t length, int protection, int flags, int fd,
                      off_t offset) noexcept {
  void* p =
      reinterpret_cast<void*>(syscall(SYS_mmap, address, length, protection, flags, fd, offset));
  if (p != MAP_FAILED && (flags & MAP_ANONYMOUS) && counting.load(std::memory_order_relaxed))
    Count(PageRounded(length));
  return p;
}

extern "C" int munmap(void* address, std::size_t length) noexcept {
  const int result = static_cast<int>(syscall(SYS_munmap, address, length));
  if (result == 0 && counting.load(std::memory_order_relaxed)) Count(-PageRounded(length));
  return result;
}

// clang-format off
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t a) { return Allocate(size, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return Allocate(size, static_cast<std::size_t>(a)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateNoThrow(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateNoThrow(size); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, std::size_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t) noexcept { Free(p); }
void operator delete(void* p, std::align_val_t) noexcept { Free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Free(p); }
// clang-format on
