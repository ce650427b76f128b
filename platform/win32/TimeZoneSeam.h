// The local-time conversion caches the zone's current bias for speed (it is
// asked four times for every cache entry). Tests that change TZ call this.
#pragma once

namespace platform {

// Forgets the cached bias; the next conversion reads the zone again.
void FlushTimeZoneCache();

}  // namespace platform
