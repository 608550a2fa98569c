#pragma once

// The loop host of the running program: the system's monotonic clock as tick counter, and Qt's
// event processing as the pump. Waiting blocks in the event dispatcher until an event arrives or
// a precise wake-up fires.

#include "acquisition/loop_host.h"
#include "acquisition/precise_wake.h"

namespace acquisition {

class QtLoopHost final : public LoopHost {
public:
    explicit QtLoopHost(const common::Clock &clock);
    void pump_events() override;
    void wait_for_events(std::int64_t wake_ns) override;

private:
    PreciseWake wake_;
};

}  // namespace acquisition
