#pragma once

// The loop host of the running program: the system's monotonic clock as tick counter, and Qt's
// event processing as the pump.

#include "acquisition/loop_host.h"

namespace acquisition {

class QtLoopHost final : public LoopHost {
public:
    explicit QtLoopHost(const common::Clock &clock);
    void pump_events() override;
};

}  // namespace acquisition
