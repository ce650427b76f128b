// Counts the bytes that operator new hands out in this program (the
// benchmark replaces the global operator new and delete), to measure the
// memory that a scan holds and its peak without the process's other pages.
#pragma once

#include <cstddef>

namespace bench {

// Bytes allocated through operator new and not yet freed, as the allocator
// rounds them (malloc_usable_size).
std::size_t LiveBytes();

// The highest LiveBytes() since the last ResetPeak().
std::size_t PeakBytes();

// Starts a new peak at the current LiveBytes().
void ResetPeak();

}  // namespace bench
