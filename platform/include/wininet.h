// Stand-in for <wininet.h>: the URL-cache part of WinINet, with Windows' types,
// flags and calls. The service behind it reads the WinINet cache files on disk
// (see platform/wininet/).
#pragma once

#include <windows.h>

typedef LONGLONG GROUPID;

#define NORMAL_CACHE_ENTRY 0x00000001
#define STABLE_CACHE_ENTRY 0x00000002
#define STICKY_CACHE_ENTRY 0x00000004
#define EDITED_CACHE_ENTRY 0x00000008
#define TRACK_OFFLINE_CACHE_ENTRY 0x00000010
#define TRACK_ONLINE_CACHE_ENTRY 0x00000020
#define SPARSE_CACHE_ENTRY 0x00010000
#define OCX_CACHE_ENTRY 0x00020000
#define COOKIE_CACHE_ENTRY 0x00100000
#define URLHISTORY_CACHE_ENTRY 0x00200000
#define PENDING_DELETE_CACHE_ENTRY 0x00400000

typedef struct _INTERNET_CACHE_ENTRY_INFOA {
  DWORD dwStructSize;
  LPSTR lpszSourceUrlName;
  LPSTR lpszLocalFileName;
  DWORD CacheEntryType;
  DWORD dwUseCount;
  DWORD dwHitRate;
  DWORD dwSizeLow;
  DWORD dwSizeHigh;
  FILETIME LastModifiedTime;
  FILETIME ExpireTime;
  FILETIME LastAccessTime;
  FILETIME LastSyncTime;
  LPSTR lpHeaderInfo;
  DWORD dwHeaderInfoSize;
  LPSTR lpszFileExtension;
  union {
    DWORD dwReserved;
    DWORD dwExemptDelta;
  };
} INTERNET_CACHE_ENTRY_INFOA, *LPINTERNET_CACHE_ENTRY_INFOA;

// Starts an enumeration of the containers that the search pattern selects
// ("Cookie:", "Visited:", "" for ordinary content, null for all three in that
// order), delivering entries whose type shares a bit with dwFilter.
// Without a buffer, or with one smaller than *lpcbEntryInfo needs: returns
// null, writes the needed size and sets ERROR_INSUFFICIENT_BUFFER. With a
// large enough buffer: fills it with the first entry (texts packed after the
// record) and returns the enumeration handle. No entry: null and
// ERROR_NO_MORE_ITEMS, *lpcbEntryInfo untouched.
HANDLE WINAPI FindFirstUrlCacheEntryExA(LPCSTR lpszUrlSearchPattern, DWORD dwFlags, DWORD dwFilter,
                                        GROUPID GroupId,
                                        LPINTERNET_CACHE_ENTRY_INFOA lpFirstCacheEntryInfo,
                                        LPDWORD lpcbEntryInfo, LPVOID lpGroupAttributes,
                                        LPDWORD lpcbGroupAttributes, LPVOID lpReserved);

// The next entry of an enumeration, with the buffer rules of the first; a
// too-small buffer does not move the enumeration on.
BOOL WINAPI FindNextUrlCacheEntryExA(HANDLE hEnumHandle,
                                     LPINTERNET_CACHE_ENTRY_INFOA lpNextCacheEntryInfo,
                                     LPDWORD lpcbEntryInfo, LPVOID lpGroupAttributes,
                                     LPDWORD lpcbGroupAttributes, LPVOID lpReserved);

// Ends an enumeration. A null handle is accepted and fails with
// ERROR_INVALID_HANDLE.
BOOL WINAPI FindCloseUrlCache(HANDLE hEnumHandle);

// Cache groups are not kept by the stand-in: the first group lookup reports
// ERROR_NO_MORE_ITEMS and the attribute calls ERROR_FILE_NOT_FOUND.
HANDLE WINAPI FindFirstUrlCacheGroup(DWORD dwFlags, DWORD dwFilter, LPVOID lpSearchCondition,
                                     DWORD dwSearchCondition, GROUPID* lpGroupId,
                                     LPVOID lpReserved);
BOOL WINAPI FindNextUrlCacheGroup(HANDLE hFind, GROUPID* lpGroupId, LPVOID lpReserved);
BOOL WINAPI GetUrlCacheGroupAttributeA(GROUPID gid, DWORD dwFlags, DWORD dwAttributes,
                                       LPVOID lpGroupInfo, LPDWORD lpcbGroupInfo,
                                       LPVOID lpReserved);
BOOL WINAPI SetUrlCacheGroupAttributeA(GROUPID gid, DWORD dwFlags, DWORD dwAttributes,
                                       LPVOID lpGroupInfo, LPVOID lpReserved);
