// Which store file and section keep a key of HKEY_CURRENT_USER. Only keys at
// or below "Software\<vendor>\<product>" are kept; each product has a file of
// its own, holding the product's key and its subkeys as sections.
#pragma once

#include <windows.h>

#include <string>

namespace regstore {

struct KeyPlace {
  std::string vendor;
  std::string product;
  std::string section;  // "HKEY_CURRENT_USER\" followed by the key path
};

// Fills `place` for `subKey` and returns ERROR_SUCCESS; ERROR_INVALID_PARAMETER
// for a path no key can have (an empty part, a part longer than 255
// characters or holding a control character), ERROR_ACCESS_DENIED for keys
// that are not kept (outside Software\<vendor>\<product>, or a vendor or
// product that cannot name a file).
DWORD PlaceOfKey(LPCSTR subKey, KeyPlace& place);

}  // namespace regstore
