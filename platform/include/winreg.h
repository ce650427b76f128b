// Stand-in for <winreg.h>: the registry types, constants and the calls that
// Sitelore makes, with the shapes Windows gives them. Only HKEY_CURRENT_USER
// keys below "Software\<vendor>\<product>" can be opened; each such product
// keeps its keys in one REGEDIT4 text file (see platform/registry/).
#pragma once

#include <windows.h>

#include <cstdint>

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef LONG LSTATUS;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Predefined keys carry the values Windows gives them, sign-extended.
#define HKEY_CLASSES_ROOT ((HKEY)(std::intptr_t)(LONG)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(std::intptr_t)(LONG)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(std::intptr_t)(LONG)0x80000002)
#define HKEY_USERS ((HKEY)(std::intptr_t)(LONG)0x80000003)

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L

#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

// Opens the key `lpSubKey` of `hKey`, creating it when missing, and sets
// *lpdwDisposition (when given) to REG_CREATED_NEW_KEY or
// REG_OPENED_EXISTING_KEY. Only HKEY_CURRENT_USER and non-volatile keys are
// kept; other keys give ERROR_ACCESS_DENIED. A store file that cannot be
// parsed gives ERROR_BADDB and is left as it is. While any key of a store is
// open in this process, other processes wait to open keys of that store, so
// keep keys open briefly.
LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition);

// Reads the value `lpValueName` (null or "" for the key's default value):
// ERROR_FILE_NOT_FOUND when it does not exist; otherwise sets *lpType and,
// when lpData is given, copies the data if *lpcbData is large enough, else
// gives ERROR_MORE_DATA. *lpcbData receives the data's size either way.
LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData);

// Stores the value `lpValueName` with type `dwType` and `cbData` bytes of
// data, replacing the store file in one step: on failure the file is as it
// was.
LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData);

// Releases a key opened by RegCreateKeyExA.
LSTATUS WINAPI RegCloseKey(HKEY hKey);
