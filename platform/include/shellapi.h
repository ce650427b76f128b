// Stand-in for <shellapi.h>: the shell's "open" action, with Windows' types,
// flags and results. Behind it the desktop's default application is started
// through the launcher of platform/shell/Launcher.h (xdg-open by default).
#pragma once

#include <windows.h>

#define SEE_MASK_DEFAULT 0x00000000
#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SEE_MASK_FLAG_DDEWAIT 0x00000100
#define SEE_MASK_FLAG_NO_UI 0x00000400

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOW 5

// ShellExecuteA's results: above 32 means success, these mean failure.
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

typedef struct _SHELLEXECUTEINFOA {
  DWORD cbSize;  // sizeof(SHELLEXECUTEINFOA)
  ULONG fMask;
  HWND hwnd;
  LPCSTR lpVerb;
  LPCSTR lpFile;
  LPCSTR lpParameters;
  LPCSTR lpDirectory;
  INT nShow;
  HINSTANCE hInstApp;  // out: above 32 on success, an SE_ERR_ code otherwise
  LPVOID lpIDList;
  LPCSTR lpClass;
  struct HKEY__* hkeyClass;
  DWORD dwHotKey;
  union {
    HANDLE hIcon;
    HANDLE hMonitor;
  };
  HANDLE hProcess;  // out
} SHELLEXECUTEINFOA, *LPSHELLEXECUTEINFOA;

// Opens `lpFile` with the desktop's default application: a local file (a
// relative one is taken from `lpDirectory`) or an address such as
// "http://...". Only the verbs "open" and none (null or "") are known; the
// file reaches the launcher as one argument, never through a command shell.
// `lpDirectory` (null or "": the caller's) becomes the started program's
// working directory. `hwnd`, `lpParameters` and `nShowCmd` are accepted and
// not used: the desktop decides how its applications show themselves.
// A local file that the URL cache writes out on demand (a browser trace,
// see urlcache::RetrieveLocalFile) is written before it is handed on; one
// that cannot be written is a missing file.
// Returns once the application has been started, never waiting for it: a
// value above 32 on success; SE_ERR_FNF for an empty target or a missing
// file, SE_ERR_PNF for a missing directory, SE_ERR_NOASSOC for an unknown
// verb or when the desktop has no launcher, SE_ERR_ACCESSDENIED.
HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                               LPCSTR lpDirectory, INT nShowCmd);

// ShellExecuteA with a request record. Returns TRUE on success; otherwise
// FALSE with the reason in GetLastError (ERROR_FILE_NOT_FOUND,
// ERROR_PATH_NOT_FOUND, ERROR_NO_ASSOCIATION, ERROR_ACCESS_DENIED, or
// ERROR_INVALID_PARAMETER for a missing record or a wrong cbSize). Sets
// `hInstApp` as ShellExecuteA's result. `hProcess` is always set to null: the
// started program runs detached, so there is no process handle to give out
// even with SEE_MASK_NOCLOSEPROCESS. There is no DDE here, so
// SEE_MASK_FLAG_DDEWAIT changes nothing. Class, item-list, hot-key and icon
// fields are not used.
BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* pExecInfo);
