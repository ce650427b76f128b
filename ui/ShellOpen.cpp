#include "ui/ShellOpen.h"

#include <shellapi.h>
#include <windows.h>

bool ShellOpen(const std::string& target) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT;
  info.hwnd = nullptr;  // the toolkit has no window handle to give the shell here
  info.lpVerb = "open";
  info.lpFile = target.c_str();
  info.nShow = SW_SHOWNORMAL;
  ShellExecuteExA(&info);
  if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  return true;
}
