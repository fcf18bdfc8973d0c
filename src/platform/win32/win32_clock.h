// The local time, as the capture stamp reads it.
#pragma once

#include "core/clock.h"

namespace pixtrel::win32 {

ClockReading LocalNow();

}  // namespace pixtrel::win32
