// The shell's "open" action on a freedesktop.org desktop, through the
// current launcher.
#include <shellapi.h>

#include <cstdint>
#include <string>

#include "platform/common/AsciiCase.h"
#include "platform/shell/Launcher.h"
#include "platform/wininet/UrlCacheService.h"

namespace {

// What Windows hands back on success; any value above 32 means success.
constexpr std::intptr_t kSuccessInstance = 42;

struct OpenOutcome {
  std::intptr_t instance;  // ShellExecuteA's result
  DWORD error;             // ShellExecuteExA's last error
};

bool IsOpenVerb(LPCSTR verb) {
  return verb == nullptr || verb[0] == '\0' || AsciiEqualIgnoringCase(verb, "open");
}

OpenOutcome Execute(LPCSTR verb, LPCSTR file, LPCSTR directory) {
  if (!IsOpenVerb(verb)) return {SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION};
  if (file == nullptr || file[0] == '\0') return {SE_ERR_FNF, ERROR_FILE_NOT_FOUND};
  // A trace that the URL cache cannot write out is a file that is not there.
  if (!urlcache::RetrieveLocalFile(file)) return {SE_ERR_FNF, ERROR_FILE_NOT_FOUND};
  switch (shell::CurrentLauncher().Open(file, directory != nullptr ? directory : "")) {
    case shell::LaunchResult::kStarted:
      return {kSuccessInstance, ERROR_SUCCESS};
    case shell::LaunchResult::kFileNotFound:
      return {SE_ERR_FNF, ERROR_FILE_NOT_FOUND};
    case shell::LaunchResult::kPathNotFound:
      return {SE_ERR_PNF, ERROR_PATH_NOT_FOUND};
    case shell::LaunchResult::kNoHandler:
      return {SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION};
    case shell::LaunchResult::kAccessDenied:
      return {SE_ERR_ACCESSDENIED, ERROR_ACCESS_DENIED};
    case shell::LaunchResult::kFailed:
      break;
  }
  return {SE_ERR_OOM, ERROR_NOT_ENOUGH_MEMORY};
}

HINSTANCE AsInstance(std::intptr_t value) {
  return reinterpret_cast<HINSTANCE>(value);
}

}  // namespace

HINSTANCE WINAPI ShellExecuteA(HWND /*hwnd*/, LPCSTR lpOperation, LPCSTR lpFile,
                               LPCSTR /*lpParameters*/, LPCSTR lpDirectory, INT /*nShowCmd*/) {
  return AsInstance(Execute(lpOperation, lpFile, lpDirectory).instance);
}

BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* pExecInfo) {
  if (pExecInfo == nullptr || pExecInfo->cbSize != sizeof(SHELLEXECUTEINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  OpenOutcome outcome = Execute(pExecInfo->lpVerb, pExecInfo->lpFile, pExecInfo->lpDirectory);
  pExecInfo->hInstApp = AsInstance(outcome.instance);
  pExecInfo->hProcess = nullptr;
  if (outcome.error != ERROR_SUCCESS) {
    SetLastError(outcome.error);
    return FALSE;
  }
  return TRUE;
}
