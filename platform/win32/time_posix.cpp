// FILETIME conversions of kernel32 on POSIX.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>

#include "platform/common/Calendar.h"
#include "platform/win32/TimeZoneSeam.h"

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerDay = kTicksPerSecond * 86'400;
// Days from 1601-01-01 to 1970-01-01.

std::uint64_t ToTicks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME FromTicks(std::uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The bias is re-read at most once a second, so that a long scan does not ask
// the zone database for each of its millions of times. The second it was read
// and the bias share one word, so that the common case is one atomic load:
// the second above kOffsetBits, the bias plus kOffsetZero below; 0 is unset.
constexpr int kOffsetBits = 20;
constexpr long kOffsetZero = 1L << (kOffsetBits - 1);
std::atomic<std::uint64_t> cachedBias{0};
std::mutex zoneMutex;  // tzset and localtime_r run one at a time

long CurrentUtcOffsetSeconds() {
  const std::time_t now = std::time(nullptr);
  const std::uint64_t cached = cachedBias.load(std::memory_order_acquire);
  if (cached != 0 && static_cast<std::time_t>(cached >> kOffsetBits) == now)
    return static_cast<long>(cached & ((1u << kOffsetBits) - 1)) - kOffsetZero;
  std::lock_guard<std::mutex> lock(zoneMutex);
  tzset();
  std::tm local{};
  long offset = localtime_r(&now, &local) ? local.tm_gmtoff : 0;
  if (offset <= -kOffsetZero || offset >= kOffsetZero) offset = 0;  // beyond any zone
  if (now > 0)
    cachedBias.store((static_cast<std::uint64_t>(now) << kOffsetBits) |
                         static_cast<std::uint64_t>(offset + kOffsetZero),
                     std::memory_order_release);
  return offset;
}

}  // namespace

namespace platform {

void FlushTimeZoneCache() {
  cachedBias.store(0, std::memory_order_release);
}

}  // namespace platform

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
  if (!lpFileTime || !lpLocalFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::uint64_t utc = ToTicks(*lpFileTime);
  const std::int64_t bias = static_cast<std::int64_t>(CurrentUtcOffsetSeconds()) * kTicksPerSecond;
  std::uint64_t local = utc + static_cast<std::uint64_t>(bias);
  // Out of the representable range either way: no local time exists.
  if ((bias < 0 && utc < static_cast<std::uint64_t>(-bias)) || (bias > 0 && local < utc)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpLocalFileTime = FromTicks(local);
  return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::uint64_t ticks = ToTicks(*lpFileTime);
  if (ticks >= 0x8000000000000000ULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::int64_t days = static_cast<std::int64_t>(ticks / kTicksPerDay);
  // The times of one cache cluster on few days: the calendar date of the
  // last day asked for is kept.
  thread_local std::int64_t lastDays = -1;
  thread_local calendar::CivilDate date{};
  if (days != lastDays) {
    date = calendar::CivilFromDays(days - calendar::kDaysFrom1601To1970);
    lastDays = days;
  }
  // Milliseconds of the day fit in 32 bits.
  std::uint32_t ms = static_cast<std::uint32_t>((ticks % kTicksPerDay) / 10'000);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(date.year);
  st.wMonth = static_cast<WORD>(date.month);
  st.wDay = static_cast<WORD>(date.day);
  st.wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  st.wHour = static_cast<WORD>(ms / 3'600'000);
  ms %= 3'600'000;
  st.wMinute = static_cast<WORD>(ms / 60'000);
  ms %= 60'000;
  st.wSecond = static_cast<WORD>(ms / 1'000);
  st.wMilliseconds = static_cast<WORD>(ms % 1'000);
  *lpSystemTime = st;
  return TRUE;
}
