#include "capture/capture_stamp.h"

#include <gtest/gtest.h>

namespace pixtrel {
namespace {

TEST(CaptureStamp, PadsEveryFieldAndTakesDateAndTimeFromTheirOwnReadings) {
  struct Case {
    ClockReading date, time;
    const char* stamp;
  };
  const Case cases[] = {
      {{2026, 3, 7, 9, 5, 3, 42}, {2026, 3, 7, 9, 5, 3, 42}, "07.03.2026 à 09h 05m 03s 042'"},
      {{2027, 1, 1, 0, 0, 0, 5}, {2027, 1, 1, 0, 0, 0, 5}, "01.01.2027 à 00h 00m 00s 005'"},
      {{2026, 12, 31, 23, 59, 59, 7},
       {2026, 12, 31, 23, 59, 59, 7},
       "31.12.2026 à 23h 59m 59s 007'"},
      {{2026, 10, 25, 14, 30, 45, 999},
       {2026, 10, 25, 14, 30, 45, 999},
       "25.10.2026 à 14h 30m 45s 999'"},
      // Midnight falls between the two readings: the date is the earlier one's.
      {{2026, 12, 31, 23, 59, 59, 999}, {2027, 1, 1, 0, 0, 0, 0}, "31.12.2026 à 00h 00m 00s 000'"},
      {{5, 1, 1, 0, 0, 0, 0}, {5, 1, 1, 0, 0, 0, 0}, "01.01.05 à 00h 00m 00s 000'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CaptureStamp(c.date, c.time), c.stamp);
  }
}

}  // namespace
}  // namespace pixtrel
