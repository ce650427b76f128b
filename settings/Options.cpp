#include "settings/Options.h"

TOptions* Options = nullptr;

namespace {

constexpr char kKeyPath[] = "Software\\Brightmoor\\Tidewell";

// How one field is stored: its value name, the number it is written as, and
// how a number read is put into it.
struct ValueInfo {
  const char* name;
  DWORD (*stored)(const TOptions&);
  // False when the field cannot hold the number (an 8-bit field above 255,
  // which keeps the low 8 bits): writing the field back would change it.
  bool (*take)(TOptions&, DWORD);
};

template <std::uint8_t TOptions::*Field>
constexpr ValueInfo Byte(const char* name) {
  return {name, [](const TOptions& o) { return DWORD(o.*Field); },
          [](TOptions& o, DWORD n) {
            o.*Field = std::uint8_t(n);
            return n <= 0xFF;
          }};
}

template <std::int32_t TOptions::*Field>
constexpr ValueInfo Number(const char* name) {
  return {name, [](const TOptions& o) { return DWORD(o.*Field); },
          [](TOptions& o, DWORD n) {
            o.*Field = std::int32_t(n);
            return true;
          }};
}

template <bool TOptions::*Field>
constexpr ValueInfo Flag(const char* name) {
  return {name, [](const TOptions& o) { return DWORD(o.*Field ? 1 : 0); },
          [](TOptions& o, DWORD n) {
            o.*Field = n != 0;
            return true;
          }};
}

// Fields in declaration order: indices into kValues and seen_.
enum : std::size_t {
  kSecLevel,
  kHistoryRemoveSecLevel,
  kIEDetectPeriod,
  kAutoStart,
  kShowConfirms,
  kIEAutoDetection,
  kClearOnStartUp,
  kRemoveAll,
  kAutoCleanOnProgStartUp,
  kRemoveHistory,
  kUnloadShell,
};

// The names are the registry's.
constexpr ValueInfo kValues[] = {
    Byte<&TOptions::SecLevel>("SecLevel"),
    Byte<&TOptions::HistoryRemoveSecLevel>("HistoryRemoveSecLevel"),
    Number<&TOptions::IEDetectPeriod>("IEDetectPeriod"),
    Flag<&TOptions::AutoStart>("AutoStart"),
    Flag<&TOptions::ShowConfirms>("ShowConfirms"),
    Flag<&TOptions::IEAutoDetection>("IEAutoDetection"),
    Flag<&TOptions::ClearOnStartUp>("ClearOnStartUp"),
    Flag<&TOptions::RemoveAll>("RemoveAll"),
    Flag<&TOptions::AutoCleanOnProgStartUp>("AutoCleanOnProgStartUp"),
    Flag<&TOptions::RemoveHistory>("RemoveHistory"),
    Flag<&TOptions::UnloadShell>("UnloadShell"),
};

// The orders of access are part of the shared record's contract (a first
// start adds the values in load order); keep them.
constexpr std::size_t kLoadOrder[] = {
    kHistoryRemoveSecLevel, kSecLevel,     kIEDetectPeriod, kAutoCleanOnProgStartUp, kRemoveAll,
    kIEAutoDetection,       kShowConfirms, kAutoStart,      kClearOnStartUp,         kRemoveHistory,
    kUnloadShell,
};
constexpr std::size_t kSaveOrder[] = {
    kHistoryRemoveSecLevel,  kSecLevel,      kIEDetectPeriod, kIEAutoDetection,
    kShowConfirms,           kAutoStart,     kClearOnStartUp, kRemoveAll,
    kAutoCleanOnProgStartUp, kRemoveHistory, kUnloadShell,
};

HKEY OpenKey() {
  HKEY key = nullptr;
  LSTATUS result = RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return result == ERROR_SUCCESS ? key : nullptr;
}

// The value's number; null when it cannot be read or is not a 4-byte
// REG_DWORD.
std::optional<DWORD> ReadNumber(HKEY key, const char* name) {
  DWORD type = REG_NONE;
  BYTE data[4] = {};
  DWORD size = sizeof data;
  if (RegQueryValueExA(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof data) {
    return std::nullopt;
  }
  return DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
}

bool WriteNumber(HKEY key, const char* name, DWORD number) {
  const BYTE data[4] = {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)};
  return RegSetValueExA(key, name, 0, REG_DWORD, data, sizeof data) == ERROR_SUCCESS;
}

}  // namespace

static_assert(std::size(kValues) == 11 && std::size(kLoadOrder) == 11 &&
              std::size(kSaveOrder) == 11);

bool TOptions::Load() {
  HKEY key = OpenKey();
  if (!key) return false;
  bool loaded = true;
  for (std::size_t value : kLoadOrder) {
    if (!LoadValue(key, value)) {
      loaded = false;
      break;
    }
  }
  RegCloseKey(key);
  return loaded;
}

bool TOptions::LoadValue(HKEY key, std::size_t value) {
  const ValueInfo& info = kValues[value];
  LSTATUS exists = RegQueryValueExA(key, info.name, nullptr, nullptr, nullptr, nullptr);
  if (exists == ERROR_FILE_NOT_FOUND) {
    DWORD number = info.stored(*this);
    if (!WriteNumber(key, info.name, number)) return false;
    seen_[value] = number;
    return true;
  }
  if (exists != ERROR_SUCCESS) return false;
  std::optional<DWORD> number = ReadNumber(key, info.name);
  if (!number) return false;
  if (info.take(*this, *number)) seen_[value] = *number;
  return true;
}

bool TOptions::Save() {
  bool due = false;
  for (const auto& seen : seen_) due = due || seen.has_value();
  if (!due) return true;
  HKEY key = OpenKey();
  if (!key) return false;
  bool saved = true;
  for (std::size_t value : kSaveOrder) {
    const ValueInfo& info = kValues[value];
    if (!seen_[value] || ReadNumber(key, info.name) != seen_[value]) continue;
    DWORD number = info.stored(*this);
    if (WriteNumber(key, info.name, number)) {
      seen_[value] = number;
    } else {
      saved = false;
    }
  }
  RegCloseKey(key);
  return saved;
}

void OptionsStartHook() {
  delete Options;
  Options = new TOptions;
  Options->Load();
}

void OptionsEndHook() noexcept {
  if (!Options) return;
  try {
    Options->Save();
  } catch (...) {
    // The program ends normally whatever the store does.
  }
  delete Options;
  Options = nullptr;
}
