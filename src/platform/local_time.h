// The local time as ISO 8601 text, from the clock reading each system gives:
// portable, so that the zone's sign and the padding are the same on every
// system and testable anywhere.
#ifndef QUORVEL_PLATFORM_LOCAL_TIME_H_
#define QUORVEL_PLATFORM_LOCAL_TIME_H_

#include <string>

// A reading of the local wall clock and the zone it is in.
struct LocalTimeReading {
  int year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;  // 0 to 60 (a leap second)
  int millisecond = 0;
  int utcOffsetMinutes = 0;  // local time minus UTC: +60 for Central European Time
};

// "2026-12-09T18:40:02.123+01:00": the offset always as a sign and hours
// and minutes ("+00:00" for UTC, never "Z").
std::string FormatLocalTime(const LocalTimeReading& reading);

#endif  // QUORVEL_PLATFORM_LOCAL_TIME_H_
