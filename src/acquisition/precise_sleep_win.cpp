// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// On Windows the thread waits on a high-resolution waitable timer where the system offers one
// (Windows 10 1803 and later). Elsewhere the system timer is set to 1 ms for as long as the sleep
// lives, and the thread waits on an ordinary waitable timer or, failing that, in Sleep. The timer
// is set relative to now: its absolute times are wall-clock times, which the user may change.
// The last stretch is polled on steady_clock, which MinGW's runtime reads from
// QueryPerformanceCounter; GetTickCount counts in steps of 10 to 16 ms and is never used.
//
// Under Wine (its ntdll exports wine_get_version) a waitable timer is a request to Wine's server,
// which wakes the thread a few milliseconds late whenever the server is busy; ntdll's own
// non-alertable delay sleeps on the host's clock instead, to the microsecond. On Windows itself the
// delay keeps to the system timer's tick, so the waitable timer stays the choice there.

#include "acquisition/precise_sleep.h"

#include <windows.h>

#include <mmsystem.h>

namespace acquisition {
namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

constexpr UINT kSystemTimerMs = 1;

struct LeadBounds {
    std::int64_t start_ns;
    std::int64_t min_ns;
    std::int64_t max_ns;
};

// A high-resolution timer fires on the next 0.5 ms interrupt after its time; one that counts
// milliseconds up to a millisecond or two late. The lead starts low: it grows within a few dozen
// late wake-ups, while a lead too long for the wait is only worked off slowly.
LeadBounds lead_bounds(SleepTimer timer)
{
    // The host's sleep under Wine wakes within tens of microseconds, as on Linux.
    if (timer == SleepTimer::HostDelay)
        return {50'000, 20'000, 500'000};
    if (timer == SleepTimer::HighResolution)
        return {500'000, 50'000, 2'000'000};
    return {1'000'000, 50'000, 3'000'000};
}

SpinLead lead_for(SleepTimer timer)
{
    const LeadBounds bounds = lead_bounds(timer);
    return SpinLead(bounds.start_ns, bounds.min_ns, bounds.max_ns);
}

using DelayExecution = LONG(WINAPI *)(BOOLEAN alertable, const LARGE_INTEGER *interval);

// ntdll's delay where the program runs under Wine; none on Windows itself.
DelayExecution wine_delay()
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll || !::GetProcAddress(ntdll, "wine_get_version"))
        return nullptr;
    return reinterpret_cast<DelayExecution>(reinterpret_cast<void *>(::GetProcAddress(ntdll, "NtDelayExecution")));
}

}  // namespace

struct PreciseSleep::System {
    HANDLE timer_handle = nullptr;
    DelayExecution delay = nullptr;
    SleepTimer timer = SleepTimer::SleepCall;
    bool system_timer_raised = false;

    explicit System(SleepTimer preferred)
    {
        if (preferred <= SleepTimer::HighResolution || preferred == SleepTimer::HostDelay) {
            delay = wine_delay();
            if (delay) {
                timer = SleepTimer::HostDelay;
                return;
            }
        }
        if (preferred <= SleepTimer::HighResolution) {
            timer_handle = ::CreateWaitableTimerExW(
                nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_MODIFY_STATE | SYNCHRONIZE);
            if (timer_handle) {
                timer = SleepTimer::HighResolution;
                return;
            }
        }
        system_timer_raised = ::timeBeginPeriod(kSystemTimerMs) == TIMERR_NOERROR;
        if (preferred <= SleepTimer::Millisecond) {
            timer_handle = ::CreateWaitableTimerW(nullptr, TRUE, nullptr);
            if (timer_handle) {
                timer = SleepTimer::Millisecond;
                return;
            }
        }
        timer = SleepTimer::SleepCall;
    }

    ~System()
    {
        if (timer_handle)
            ::CloseHandle(timer_handle);
        if (system_timer_raised)
            ::timeEndPeriod(kSystemTimerMs);
    }

    System(const System &) = delete;
    System &operator=(const System &) = delete;
};

PreciseSleep::PreciseSleep(SleepTimer preferred)
    : system_(std::make_unique<System>(preferred)), timer_(system_->timer), lead_(lead_for(timer_))
{ }

PreciseSleep::~PreciseSleep() = default;

void PreciseSleep::system_sleep_until(std::int64_t wake_ns, std::int64_t now_ns)
{
    const std::int64_t delay_ns = wake_ns - now_ns;
    if (system_->delay) {
        // Negative: relative to now, in units of 100 ns, rounded down so as not to end late.
        LARGE_INTEGER interval{};
        interval.QuadPart = -(delay_ns / 100);
        if (interval.QuadPart < 0)
            system_->delay(FALSE, &interval);
        return;
    }
    if (system_->timer_handle) {
        // Negative: relative to now, in units of 100 ns.
        LARGE_INTEGER due{};
        due.QuadPart = -((delay_ns + 99) / 100);
        if (::SetWaitableTimer(system_->timer_handle, &due, 0, nullptr, nullptr, FALSE)) {
            ::WaitForSingleObject(system_->timer_handle, INFINITE);
            return;
        }
    }
    // Sleep counts whole milliseconds; rounding down keeps it from ending much after the moment.
    const DWORD whole_ms = static_cast<DWORD>(delay_ns / 1'000'000);
    if (whole_ms > 0)
        ::Sleep(whole_ms);
}

}  // namespace acquisition
