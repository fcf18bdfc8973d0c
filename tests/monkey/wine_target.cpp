#include "monkey/monkey.h"

namespace pixtrel::monkey {

std::unique_ptr<Target> WineTarget() {
  return nullptr;
}

}  // namespace pixtrel::monkey
