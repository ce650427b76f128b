#include "platform/common/LargeBuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr std::size_t kSmallPage = 4096;

std::atomic<bool> hugePagesPreferred{false};

std::size_t RoundUp(std::size_t size, std::size_t unit) {
  return (size + unit - 1) / unit * unit;
}

// Maps `length` bytes (a multiple of the huge page) at a huge-page boundary:
// maps one huge page more and gives back the unaligned head and tail.
char* MapAligned(std::size_t length) {
  const std::size_t padded = length + LargeBuffer::kHugePage;
  void* raw = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  char* const start = static_cast<char*>(raw);
  const auto address = reinterpret_cast<std::uintptr_t>(start);
  char* const aligned = start + (RoundUp(address, LargeBuffer::kHugePage) - address);
  const std::size_t head = static_cast<std::size_t>(aligned - start);
  if (head > 0) munmap(start, head);
  const std::size_t tail = padded - head - length;
  if (tail > 0) munmap(aligned + length, tail);
  // Only advice: where huge pages are off, the mapping works with small ones.
  madvise(aligned, length, MADV_HUGEPAGE);
  return aligned;
}

// Maps `length` bytes of small pages.
char* MapSmallPages(std::size_t length) {
  void* raw = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  return static_cast<char*>(raw);
}

// The buffers from 64 KiB up to a huge page, in power-of-two sizes, carved
// from huge pages that the process keeps: a freed buffer waits for the next
// of its size. Shared by every thread. It also keeps the huge pages of freed
// large buffers while huge pages are preferred: a later buffer then reuses
// pages already present instead of having the kernel clear fresh ones, which
// costs about as much as filling them.
class SmallBufferPool {
 public:
  static std::size_t RoundedSize(std::size_t size) {
    std::size_t rounded = LargeBuffer::kSmallPagesFrom;
    while (rounded < size) rounded *= 2;
    return rounded;
  }

  char* Take(std::size_t rounded) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<char*>& free = free_[ClassOf(rounded)];
    if (!free.empty()) {
      char* const buffer = free.back();
      free.pop_back();
      return buffer;
    }
    if (kHugePage - slabUsed_ < rounded) {
      // The rest of the old huge page is left to the sizes that still fit.
      for (std::size_t size = rounded / 2; size >= LargeBuffer::kSmallPagesFrom; size /= 2) {
        if (kHugePage - slabUsed_ >= size) {
          free_[ClassOf(size)].push_back(slab_ + slabUsed_);
          slabUsed_ += size;
        }
      }
      slab_ = TakeHugeLocked(kHugePage);
      slabUsed_ = 0;
    }
    char* const buffer = slab_ + slabUsed_;
    slabUsed_ += rounded;
    return buffer;
  }

  void Give(char* buffer, std::size_t rounded) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_[ClassOf(rounded)].push_back(buffer);
  }

  // `length` bytes (a multiple of the huge page) at a huge-page boundary:
  // kept pages where a kept run is long enough, else a new mapping.
  char* TakeHuge(std::size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    return TakeHugeLocked(length);
  }

  // Keeps the huge pages [pages, pages + length) of a freed buffer; false
  // where there is no room to note them.
  bool KeepHuge(char* pages, std::size_t length) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    try {
      kept_.push_back({pages, length});
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

 private:
  static constexpr std::size_t kHugePage = LargeBuffer::kHugePage;
  static constexpr std::size_t kClasses = 6;  // 64 KiB to a whole huge page
  static_assert(LargeBuffer::kSmallPagesFrom << (kClasses - 1) == kHugePage);

  static std::size_t ClassOf(std::size_t rounded) {
    std::size_t index = 0;
    while ((LargeBuffer::kSmallPagesFrom << index) < rounded) ++index;
    return index;
  }

  struct Run {
    char* pages;
    std::size_t length;
  };

  // The shortest kept run that holds `length` gives its head.
  char* TakeHugeLocked(std::size_t length) {
    Run* best = nullptr;
    for (Run& run : kept_)
      if (run.length >= length && (best == nullptr || run.length < best->length)) best = &run;
    if (best == nullptr) return MapAligned(length);
    char* const pages = best->pages;
    best->pages += length;
    best->length -= length;
    if (best->length == 0) {
      *best = kept_.back();
      kept_.pop_back();
    }
    return pages;
  }

  std::mutex mutex_;
  std::vector<Run> kept_;
  std::array<std::vector<char*>, kClasses> free_;
  char* slab_ = nullptr;
  std::size_t slabUsed_ = kHugePage;  // no slab yet
};

SmallBufferPool& Pool() {
  // Never destroyed: its huge pages serve buffers up to the process's end.
  static SmallBufferPool* const pool = new SmallBufferPool;
  return *pool;
}

}  // namespace

void PreferHugePages(bool prefer) noexcept {
  hugePagesPreferred.store(prefer, std::memory_order_relaxed);
}

bool HugePagesPreferred() noexcept {
  return hugePagesPreferred.load(std::memory_order_relaxed);
}

void OfferHugePages(void* data, std::size_t size) noexcept {
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = RoundUp(begin, LargeBuffer::kHugePage);
  const std::uintptr_t end = (begin + size) / LargeBuffer::kHugePage * LargeBuffer::kHugePage;
  if (data == nullptr || first >= end) return;
  madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

namespace {

// A mapping of whole huge pages; kept ones where huge pages are preferred.
char* TakeHugePages(std::size_t length) {
  return HugePagesPreferred() ? Pool().TakeHuge(length) : MapAligned(length);
}

void GiveHugePages(char* pages, std::size_t length) noexcept {
  // While huge pages are preferred, they stay for the next buffers.
  const bool kept = HugePagesPreferred() && Pool().KeepHuge(pages, length);
  if (!kept) munmap(pages, length);
}

}  // namespace

void* AllocateBlock(std::size_t bytes) {
  if (bytes < LargeBuffer::kHugePage) return ::operator new(bytes);
  return TakeHugePages(RoundUp(bytes, LargeBuffer::kHugePage));
}

void FreeBlock(void* block, std::size_t bytes) noexcept {
  if (bytes < LargeBuffer::kHugePage)
    ::operator delete(block);
  else
    GiveHugePages(static_cast<char*>(block), RoundUp(bytes, LargeBuffer::kHugePage));
}

LargeBuffer::LargeBuffer(std::size_t size, Pages pages) : size_(size) {
  if (size < kSmallPagesFrom) {
    data_ = size == 0 ? nullptr : new char[size];
    return;
  }
  if (size < kHugePage && HugePagesPreferred()) {
    pooled_ = true;
    data_ = Pool().Take(SmallBufferPool::RoundedSize(size));
    return;
  }
  if (size < kHugePage) {
    mapped_ = RoundUp(size, kSmallPage);
    data_ = MapSmallPages(mapped_);
    if (pages == Pages::kAtOnce) MakePresent(0, size);
    return;
  }
  mapped_ = RoundUp(size, kHugePage);
  data_ = TakeHugePages(mapped_);
}

void LargeBuffer::MakePresent(std::size_t from, std::size_t to) const {
  if (mapped_ == 0 || size_ >= kHugePage) return;
  from = from / kSmallPage * kSmallPage;
  to = std::min(RoundUp(to, kSmallPage), mapped_);
  // Only a saving: where the kernel lacks it, the pages fault in as used.
  if (from < to) madvise(data_ + from, to - from, MADV_POPULATE_WRITE);
}

LargeBuffer::~LargeBuffer() {
  Release();
}

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)),
      pooled_(std::exchange(other.pooled_, false)) {}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
    pooled_ = std::exchange(other.pooled_, false);
  }
  return *this;
}

void LargeBuffer::Release() noexcept {
  if (pooled_) {
    Pool().Give(data_, SmallBufferPool::RoundedSize(size_));
  } else if (size_ >= kHugePage) {
    GiveHugePages(data_, mapped_);
  } else if (mapped_ > 0) {
    munmap(data_, mapped_);
  } else {
    delete[] data_;
  }
  data_ = nullptr;
  size_ = 0;
  mapped_ = 0;
  pooled_ = false;
}

}  // namespace platform
