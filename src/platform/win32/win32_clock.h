// The local time, as the capture stamp reads it.
#pragma once

#include "capture/capture_stamp.h"

namespace pixtrel::win32 {

ClockReading LocalNow();

}  // namespace pixtrel::win32
