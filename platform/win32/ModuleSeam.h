// Test seam of the module loader stand-in: lets a test play a system whose
// "wininet.dll" is missing or incomplete, and later complete again.
#pragma once

namespace platform {

// While `missing` is true, LoadLibraryA fails for `moduleName` (any case).
void SetModuleMissing(const char* moduleName, bool missing);

// While `missing` is true, GetProcAddress finds no export named `procName`.
void SetProcMissing(const char* procName, bool missing);

// Undoes every SetModuleMissing and SetProcMissing.
void ResetModuleSeam();

}  // namespace platform
