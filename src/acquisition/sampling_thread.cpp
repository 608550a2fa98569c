// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/sampling_thread.h"

namespace acquisition {

// The thread's body: its own loop of jobs rather than Qt's event loop, so that a job never runs
// inside another.
class SamplingThread::Worker final : public QThread {
public:
    explicit Worker(SamplingThread &owner) : owner_(owner) { setObjectName(QStringLiteral("sampling")); }

protected:
    void run() override
    {
        while (std::function<void()> job = owner_.next_job()) {
            job();
            const std::lock_guard lock(owner_.mutex_);
            ++owner_.done_;
            owner_.finished_.notify_all();
        }
    }

private:
    SamplingThread &owner_;
};

SamplingThread::SamplingThread() : thread_(new Worker(*this)) { thread_->start(); }

SamplingThread::~SamplingThread()
{
    if (host_)
        cancel();
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
        wanted_.notify_all();
    }
    thread_->wait();
    delete thread_;
}

std::function<void()> SamplingThread::next_job()
{
    std::unique_lock lock(mutex_);
    wanted_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
    if (jobs_.empty())
        return {};
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    return job;
}

void SamplingThread::post(std::function<void()> job)
{
    const std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    ++posted_;
    wanted_.notify_one();
}

void SamplingThread::wait_idle()
{
    std::unique_lock lock(mutex_);
    const std::uint64_t until = posted_;
    finished_.wait(lock, [this, until] { return done_ >= until; });
}

void SamplingThread::run_and_wait(const std::function<void()> &job)
{
    post(job);
    wait_idle();
}

}  // namespace acquisition
