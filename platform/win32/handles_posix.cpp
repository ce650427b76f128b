// Kernel object handles. No stand-in creates kernel objects (the shell's
// "open" starts its programs detached and hands out no process handle), so
// there is nothing a handle could name.
#include <windows.h>

BOOL WINAPI CloseHandle(HANDLE /*hObject*/) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
