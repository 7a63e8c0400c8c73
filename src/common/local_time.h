#pragma once
// Local time of a moment from the C library's zone data as already loaded. glibc's tzset,
// which Qt runs for every local QDateTime, stats /etc/localtime on each call: thousands of
// times a second in a run far faster than real time. Here the zone is looked at again at
// most once a second of wall time, so a changed system zone still shows within a second.

#include <cstdint>

namespace corvane {

// Seconds east of UTC at that moment (3600 for CET, 7200 for CEST).
int UtcOffsetAt(int64_t unixSeconds);

// Looks at the zone (TZ, /etc/localtime) now rather than within the next second.
void ReloadLocalZone();

}  // namespace corvane
