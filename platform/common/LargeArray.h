// A growing array of plain values (offsets, indexes) kept in LargeBuffers:
// a list of a hundred thousand offsets grows through a few buffers made
// present many pages at a time, or carved from huge pages where those are
// preferred, instead of through heap blocks that fault in page by page.
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

#include "platform/common/LargeBuffer.h"

namespace platform {

template <typename T>
class LargeArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  void push_back(const T& value) {
    if (size_ == capacity_) Grow();
    std::memcpy(buffer_.data() + size_ * sizeof(T), &value, sizeof(T));
    ++size_;
  }

  // Room for `count` values in all, so that pushing up to there moves none.
  void reserve(std::size_t count) {
    if (count > capacity_) MoveTo(count);
  }

  // `count` values; those past the old size are left unset, for the caller
  // to write.
  void resize(std::size_t count) {
    reserve(count);
    size_ = count;
  }

  void clear() {
    buffer_ = LargeBuffer();
    size_ = capacity_ = 0;
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return reinterpret_cast<T*>(buffer_.data()); }
  const T* data() const { return reinterpret_cast<const T*>(buffer_.data()); }
  T& operator[](std::size_t index) { return data()[index]; }
  const T& operator[](std::size_t index) const { return data()[index]; }
  const T& back() const { return data()[size_ - 1]; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size_; }

 private:
  // Buffers from the size where LargeBuffer maps them, doubling.
  static constexpr std::size_t kFirstCapacity = LargeBuffer::kSmallPagesFrom / sizeof(T);

  void Grow() { MoveTo(capacity_ == 0 ? kFirstCapacity : 2 * capacity_); }

  // At least half of a new buffer is filled at once: its pages are made
  // present together.
  void MoveTo(std::size_t capacity) {
    LargeBuffer bigger(capacity * sizeof(T), LargeBuffer::Pages::kAtOnce);
    if (size_ > 0) std::memcpy(bigger.data(), buffer_.data(), size_ * sizeof(T));
    buffer_ = std::move(bigger);
    capacity_ = capacity;
  }

  LargeBuffer buffer_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace platform
