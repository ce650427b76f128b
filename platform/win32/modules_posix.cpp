// LoadLibraryA and GetProcAddress where there are no DLLs: the only modules
// are the stand-ins built into the program, found by name.
#include <wininet.h>

#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "platform/common/AsciiCase.h"
#include "platform/win32/ModuleSeam.h"

namespace {

struct Export {
  const char* name;
  FARPROC address;
};

template <typename F>
FARPROC AsFarProc(F* function) {
  // void (*)() converts to and from every function type without a warning.
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

constexpr const char* kWinInetName = "wininet.dll";

// The module handle of the stand-in WinINet; only ever compared, never used.
HMODULE WinInetHandle() {
  static char tag;
  return reinterpret_cast<HMODULE>(&tag);
}

const Export* WinInetExports(std::size_t& count) {
  static const Export exports[] = {
      {"FindFirstUrlCacheEntryExA", AsFarProc(&FindFirstUrlCacheEntryExA)},
      {"FindNextUrlCacheEntryExA", AsFarProc(&FindNextUrlCacheEntryExA)},
      {"FindCloseUrlCache", AsFarProc(&FindCloseUrlCache)},
      {"FindFirstUrlCacheGroup", AsFarProc(&FindFirstUrlCacheGroup)},
      {"FindNextUrlCacheGroup", AsFarProc(&FindNextUrlCacheGroup)},
      {"GetUrlCacheGroupAttributeA", AsFarProc(&GetUrlCacheGroupAttributeA)},
      {"SetUrlCacheGroupAttributeA", AsFarProc(&SetUrlCacheGroupAttributeA)},
  };
  count = sizeof exports / sizeof exports[0];
  return exports;
}

struct Seam {
  std::mutex mutex;
  std::set<std::string> missingModules;  // lower-cased
  std::set<std::string> missingProcs;
};

Seam& TheSeam() {
  static Seam seam;
  return seam;
}

}  // namespace

namespace platform {

void SetModuleMissing(const char* moduleName, bool missing) {
  Seam& seam = TheSeam();
  std::lock_guard<std::mutex> lock(seam.mutex);
  if (missing)
    seam.missingModules.insert(AsciiLower(moduleName));
  else
    seam.missingModules.erase(AsciiLower(moduleName));
}

void SetProcMissing(const char* procName, bool missing) {
  Seam& seam = TheSeam();
  std::lock_guard<std::mutex> lock(seam.mutex);
  if (missing)
    seam.missingProcs.insert(procName);
  else
    seam.missingProcs.erase(procName);
}

void ResetModuleSeam() {
  Seam& seam = TheSeam();
  std::lock_guard<std::mutex> lock(seam.mutex);
  seam.missingModules.clear();
  seam.missingProcs.clear();
}

}  // namespace platform

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (!lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string name = AsciiLower(lpLibFileName);
  Seam& seam = TheSeam();
  std::lock_guard<std::mutex> lock(seam.mutex);
  if (name != kWinInetName || seam.missingModules.count(name)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return WinInetHandle();
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (hModule != WinInetHandle() || !lpProcName) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  Seam& seam = TheSeam();
  std::lock_guard<std::mutex> lock(seam.mutex);
  if (!seam.missingProcs.count(lpProcName)) {
    std::size_t count = 0;
    const Export* exports = WinInetExports(count);
    for (std::size_t i = 0; i < count; ++i)
      if (std::string_view(exports[i].name) == lpProcName) return exports[i].address;
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  return hLibModule != nullptr;
}
