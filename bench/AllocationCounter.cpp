#include "bench/AllocationCounter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<long long> live{0};
std::atomic<long long> peak{0};

void* Allocate(std::size_t size, std::size_t alignment = 0) {
  void* p = nullptr;
  if (alignment > alignof(std::max_align_t)) {
    if (posix_memalign(&p, alignment, size ? size : 1) != 0) p = nullptr;
  } else {
    p = std::malloc(size ? size : 1);
  }
  if (!p) throw std::bad_alloc();
  if (!counting.load(std::memory_order_relaxed)) return p;
  const long long bytes = static_cast<long long>(malloc_usable_size(p));
  const long long now = live.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  long long high = peak.load(std::memory_order_relaxed);
  while (now > high && !peak.compare_exchange_weak(high, now, std::memory_order_relaxed)) {
  }
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
