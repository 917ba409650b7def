#pragma once

#include "ports/local_clock.h"

namespace fotolyx::host {

// The local date and time of the machine.
class SystemLocalClock final : public LocalClock {
  public:
    LocalTime Now() const override;
};

}  // namespace fotolyx::host
