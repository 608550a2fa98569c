// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A run place for tests of the window: each job runs at once, on the caller's thread, on a fake
// loop host. A run then goes from start to end inside the press that started it, its pumps running
// the window's events and the test's scripted presses, in no real time.

#include "acquisition/sampling_thread.h"

namespace test_support {

class InlineRunPlace final : public acquisition::RunPlace {
public:
    explicit InlineRunPlace(acquisition::LoopHost &host) : host_(host) { }
    acquisition::LoopHost &host() override { return host_; }
    void post(std::function<void()> job) override { job(); }
    void wait_idle() override { }

private:
    acquisition::LoopHost &host_;
};

}  // namespace test_support
