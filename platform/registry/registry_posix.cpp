// The registry calls over REGEDIT4 store files. A store is read when the
// first of its keys is opened in this process and kept, under its lock,
// until the last of them is closed; every change replaces the file at once.
#include <windows.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/registry/KeyPath.h"
#include "platform/registry/RegDocument.h"
#include "platform/registry/StoreFile.h"

namespace {

struct Store {
  std::unique_ptr<regstore::LockedStoreFile> file;
  regfile::RegDocument document;
};

struct OpenKey {
  std::shared_ptr<Store> store;
  std::string section;
};

class Registry {
 public:
  std::mutex mutex;

  // The store at `path`, shared with the keys already open on it, else read
  // afresh under its lock.
  DWORD AcquireStore(const regstore::StorePath& path, std::shared_ptr<Store>& result) {
    std::string full = path.Full();
    if (auto found = stores_.find(full); found != stores_.end()) {
      if ((result = found->second.lock())) return ERROR_SUCCESS;
    }
    auto store = std::make_shared<Store>();
    if (DWORD error = regstore::LockedStoreFile::Open(path, store->file)) return error;
    std::string text;
    bool exists;
    if (DWORD error = store->file->Read(text, exists)) return error;
    if (exists) {
      auto document = regfile::RegDocument::Parse(text);
      if (!document) return ERROR_BADDB;
      store->document = std::move(*document);
    } else {
      store->document = regfile::RegDocument::New();
    }
    stores_[full] = store;
    result = std::move(store);
    return ERROR_SUCCESS;
  }

  HKEY Add(std::unique_ptr<OpenKey> key) {
    HKEY handle = reinterpret_cast<HKEY>(key.get());
    keys_[handle] = std::move(key);
    return handle;
  }

  OpenKey* Find(HKEY handle) {
    auto found = keys_.find(handle);
    return found == keys_.end() ? nullptr : found->second.get();
  }

  bool Remove(HKEY handle) {
    if (!keys_.erase(handle)) return false;
    std::erase_if(stores_, [](const auto& entry) { return entry.second.expired(); });
    return true;
  }

 private:
  std::map<std::string, std::weak_ptr<Store>> stores_;  // by file path
  std::unordered_map<HKEY, std::unique_ptr<OpenKey>> keys_;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// The registry calls report failures as codes and never throw.
template <typename Call>
LSTATUS Guarded(Call call) {
  try {
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    return LSTATUS(call(TheRegistry()));
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return ERROR_GEN_FAILURE;
  }
}

}  // namespace

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                               DWORD dwOptions, REGSAM /*samDesired*/,
                               const LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                               PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (hKey != HKEY_CURRENT_USER || (dwOptions & REG_OPTION_VOLATILE)) return ERROR_ACCESS_DENIED;
  return Guarded([&](Registry& registry) -> DWORD {
    regstore::KeyPlace place;
    if (DWORD error = regstore::PlaceOfKey(lpSubKey, place)) return error;
    auto path = regstore::StorePathFor(place.vendor, place.product);
    if (!path) return ERROR_PATH_NOT_FOUND;
    std::shared_ptr<Store> store;
    if (DWORD error = registry.AcquireStore(*path, store)) return error;

    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (!store->document.HasKey(place.section)) {
      regfile::RegDocument next = store->document;
      next.AddKey(place.section);
      if (DWORD error = store->file->Replace(next.Text())) return error;
      store->document = std::move(next);
      disposition = REG_CREATED_NEW_KEY;
    }
    *phkResult = registry.Add(std::make_unique<OpenKey>(OpenKey{store, place.section}));
    if (lpdwDisposition) *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
  });
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  return Guarded([&](Registry& registry) -> DWORD {
    OpenKey* key = registry.Find(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    const regfile::RegValue* value =
        key->store->document.Find(key->section, lpValueName ? lpValueName : "");
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (lpType) *lpType = value->type;
    DWORD size = DWORD(value->data.size());
    DWORD room = lpcbData ? *lpcbData : 0;
    if (lpcbData) *lpcbData = size;
    if (!lpData) return ERROR_SUCCESS;
    if (room < size) return ERROR_MORE_DATA;
    if (size) std::memcpy(lpData, value->data.data(), size);
    return ERROR_SUCCESS;
  });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  return Guarded([&](Registry& registry) -> DWORD {
    OpenKey* key = registry.Find(hKey);
    if (!key) return ERROR_INVALID_HANDLE;
    regfile::RegValue value{dwType, {}};
    if (cbData) value.data.assign(lpData, lpData + cbData);
    Store& store = *key->store;
    regfile::RegDocument next = store.document;
    if (!next.Set(key->section, lpValueName ? lpValueName : "", value)) {
      return ERROR_INVALID_PARAMETER;
    }
    if (DWORD error = store.file->Replace(next.Text())) return error;
    store.document = std::move(next);
    return ERROR_SUCCESS;
  });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  return Guarded([&](Registry& registry) -> DWORD {
    return registry.Remove(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  });
}
