// The settings record shared with Tidewell, kept in the current user's
// registry key "Software\Brightmoor\Tidewell" as eleven REG_DWORD values. The
// program only carries the values; their meaning is Tidewell's.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

class TOptions {
 public:
  // Fills the fields with their defaults; touches no registry.
  TOptions() = default;
  TOptions(const TOptions&) = delete;
  TOptions& operator=(const TOptions&) = delete;

  // Reads the values in load order, adding each missing one with its
  // default. The first error (the key cannot be opened, a value cannot be
  // read or is not a 4-byte REG_DWORD, a default cannot be added) ends the
  // load: the fields not reached keep their defaults and the later values
  // are neither read nor added. True when all eleven were handled.
  bool Load();

  // Writes the fields back in save order, each as REG_DWORD (Booleans as 1
  // or 0), after reading the key again. A value is written only where the
  // load read or added it and the key still holds what the load saw there:
  // values that another program changed meanwhile, values the load never
  // reached and 8-bit values stored above 255 stay as they are. A failed
  // write does not stop the others. True when every value due was written.
  bool Save();

  std::uint8_t SecLevel = 2;
  std::uint8_t HistoryRemoveSecLevel = 2;
  std::int32_t IEDetectPeriod = 5;
  bool AutoStart = true;
  bool ShowConfirms = true;
  bool IEAutoDetection = false;
  bool ClearOnStartUp = false;
  bool RemoveAll = false;
  bool AutoCleanOnProgStartUp = false;
  bool RemoveHistory = true;
  bool UnloadShell = false;

 private:
  static constexpr std::size_t kValueCount = 11;

  bool LoadValue(HKEY key, std::size_t value);

  // By field, in declaration order: the number the key held for it when
  // last read or written by this record; empty when this record does not
  // own it (never reached, or not held exactly enough to be written back).
  std::array<std::optional<DWORD>, kValueCount> seen_;
};

// The one record of the process, from OptionsStartHook to OptionsEndHook.
extern TOptions* Options;

// At program start, before any window: creates Options and loads it; the
// result of the load is ignored.
void OptionsStartHook();

// At program end, after the windows are gone: saves Options, ignoring the
// result, then destroys it and sets it to null. Never throws and shows
// nothing, whatever the store does.
void OptionsEndHook() noexcept;
