// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Where the runs take their readings: a thread of their own, apart from the window's, so that
// nothing the window waits for (a paint the display server is slow to take, a dialog, a screen
// capture by another program) can hold up a reading.

#include "acquisition/loop_host.h"

#include <QThread>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace acquisition {

// The place a window hands its runs to. Jobs run one after the other, in the order they were
// posted; a run's converter, its port and its loop host are touched only by jobs.
class RunPlace {
public:
    virtual ~RunPlace() = default;
    // The loop host of the runs: its clock, its waits and its priority.
    virtual LoopHost &host() = 0;
    // Runs `job` after every job posted before it.
    virtual void post(std::function<void()> job) = 0;
    // Returns once every job posted so far has finished.
    virtual void wait_idle() = 0;
    // Ends every run at its next test, for good: the window is going away.
    void cancel() { host().cancel_loops(); }
};

// The running program's place: a thread that takes the jobs in turn and sleeps between them.
// Its loop host (a ThreadLoopHost) is built on the thread, whose sleep settings it changes; a run
// there handles no event at all, neither the window's nor the next job.
class SamplingThread final : public RunPlace {
public:
    SamplingThread();
    // Cancels the runs, lets the jobs posted before finish and ends the thread.
    ~SamplingThread() override;
    SamplingThread(const SamplingThread &) = delete;
    SamplingThread &operator=(const SamplingThread &) = delete;

    // The host the runs use, built by a job before the first run and ended by the last one.
    void set_host(LoopHost *host) { host_ = host; }
    LoopHost &host() override { return *host_; }
    void post(std::function<void()> job) override;
    void wait_idle() override;
    // Runs `job` on the thread and returns once it has finished.
    void run_and_wait(const std::function<void()> &job);

private:
    class Worker;
    std::function<void()> next_job();

    std::mutex mutex_;
    std::condition_variable wanted_;
    std::condition_variable finished_;
    std::deque<std::function<void()>> jobs_;
    std::uint64_t posted_ = 0;
    std::uint64_t done_ = 0;
    bool ending_ = false;
    LoopHost *host_ = nullptr;
    QThread *thread_ = nullptr;
};

}  // namespace acquisition
