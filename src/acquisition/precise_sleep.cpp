// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/precise_sleep.h"

#include "common/clock.h"

#include <algorithm>

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#endif

namespace acquisition {
namespace {

// Tells the processor that this is a polling loop, so that it spends less power on it and yields
// to a sibling thread of the same core.
inline void relax()
{
#if defined(__x86_64__) || defined(_M_X64)
    _mm_pause();
#endif
}

}  // namespace

std::int64_t monotonic_now_ns() { return common::SteadyClock().now_ns(); }

SpinLead::SpinLead(std::int64_t start_ns, std::int64_t min_ns, std::int64_t max_ns)
    : lead_ns_(std::clamp(start_ns, min_ns, max_ns)), min_ns_(min_ns), max_ns_(max_ns), limit_ns_(kNoSpinLimit)
{ }

void SpinLead::limit(std::int64_t limit_ns) { limit_ns_ = std::max(limit_ns, min_ns_); }

void SpinLead::observe(std::int64_t late_ns)
{
    const std::int64_t step = late_ns > lead_ns_ ? kUpStepNs : -kDownStepNs;
    lead_ns_ = std::clamp(lead_ns_ + step, min_ns_, max_ns_);
}

void PreciseSleep::sleep_until(std::int64_t until_ns)
{
    std::int64_t now_ns = monotonic_now_ns();
    const std::int64_t wake_ns = until_ns - lead_.ns();
    if (now_ns < wake_ns) {
        system_sleep_until(wake_ns, now_ns);
        now_ns = monotonic_now_ns();
        lead_.observe(now_ns - wake_ns);
    } else if (now_ns < until_ns) {
        // A wait shorter than the lead is polled throughout. It counts as a wake-up in time, so
        // that a lead that has grown as long as the period still shrinks and the sleeps resume.
        lead_.observe(0);
    }
    while (now_ns < until_ns) {
        relax();
        now_ns = monotonic_now_ns();
    }
}

}  // namespace acquisition
