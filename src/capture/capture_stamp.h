// The date-and-time name auto-record gives each file.
#pragma once

#include <string>

#include "core/clock.h"

namespace pixtrel {

// The date fields come from `date`, the time fields from `time`, a second reading taken just
// after. 7 March 2026 at 09:05:03.042 gives "07.03.2026 à 09h 05m 03s 042'" (UTF-8 "à").
std::string CaptureStamp(const ClockReading& date, const ClockReading& time);

}  // namespace pixtrel
