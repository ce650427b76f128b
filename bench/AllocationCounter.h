// Counts the bytes that operator new hands out in this program and those of
// the anonymous mappings it makes (the benchmark replaces the global operator
// new and delete, and mmap and munmap), to measure the memory that a scan
// holds and its peak without the process's other pages.
// Counting is off unless switched on, so that timed runs pay nothing for it.
#pragma once

#include <cstddef>

namespace bench {

// Starts counting from zero: LiveBytes() and PeakBytes() become 0.
void StartCounting();
// Stops counting; the counts keep their values.
void StopCounting();

// Bytes allocated through operator new or mapped while counting, less those
// freed or unmapped while counting, as the allocator rounds them
// (malloc_usable_size, whole pages). Frees of older blocks can make it
// negative.
long long LiveBytes();

// The highest LiveBytes() since StartCounting().
long long PeakBytes();

}  // namespace bench
