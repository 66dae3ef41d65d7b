#include "platform/local_time.h"

#include <cstdio>

std::string FormatLocalTime(const LocalTimeReading& r) {
  const int offset = r.utcOffsetMinutes < 0 ? -r.utcOffsetMinutes : r.utcOffsetMinutes;
  char text[48];
  snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", r.year, r.month,
           r.day, r.hour, r.minute, r.second, r.millisecond, r.utcOffsetMinutes < 0 ? '-' : '+',
           offset / 60, offset % 60);
  return text;
}
