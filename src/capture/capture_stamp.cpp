#include "capture/capture_stamp.h"

#include <cstdio>

namespace pixtrel {

std::string CaptureStamp(const ClockReading& date, const ClockReading& time) {
  char text[96];
  std::snprintf(text, sizeof text, "%02d.%02d.%02d \xC3\xA0 %02dh %02dm %02ds %03d'", date.day,
                date.month, date.year, time.hour, time.minute, time.second, time.millisecond);
  return text;
}

}  // namespace pixtrel
