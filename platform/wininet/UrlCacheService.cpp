#include "platform/wininet/UrlCacheService.h"

#include <atomic>

#include "platform/wininet/DiskUrlCache.h"

namespace urlcache {
namespace {

std::atomic<Service*> installed{nullptr};

Service& DiskService() {
  static DiskUrlCache disk;
  return disk;
}

}  // namespace

Service& CurrentService() {
  Service* service = installed.load();
  return service ? *service : DiskService();
}

void SetService(Service* service) {
  installed.store(service);
}

}  // namespace urlcache
