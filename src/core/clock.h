// A reading of the local clock, field by field, as the system gives it.
#pragma once

namespace pixtrel {

struct ClockReading {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

}  // namespace pixtrel
