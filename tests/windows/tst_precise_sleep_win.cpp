// The precise sleep of the sampling wait on Windows, without Qt, run under Wine: the program's
// clock reads QueryPerformanceCounter (GetTickCount would count in steps of 10 to 16 ms), and
// every system timer the sleep can use, the high-resolution one and its fallbacks, ends every
// sleep at or after its moment, never before. For each it also prints how late a run of sleeps
// 1 ms apart ended and the processor time it took: under Wine these figures say nothing about
// Windows itself. Prints one line per check; the exit code is the number of failed checks.

#include "acquisition/precise_sleep.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using acquisition::PreciseSleep;
using acquisition::SleepTimer;

namespace {

int failures = 0;

void check(bool passed, const std::string &what)
{
    std::printf("%s: %s\n", passed ? "PASS" : "FAIL", what.c_str());
    if (!passed)
        ++failures;
}

const char *name_of(SleepTimer timer)
{
    switch (timer) {
    case SleepTimer::Monotonic:
        return "monotonic clock_nanosleep";
    case SleepTimer::HighResolution:
        return "high-resolution waitable timer";
    case SleepTimer::Millisecond:
        return "waitable timer at 1 ms";
    case SleepTimer::SleepCall:
        return "Sleep at 1 ms";
    }
    return "?";
}

std::int64_t counter_now_ns()
{
    LARGE_INTEGER frequency{};
    LARGE_INTEGER count{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&count);
    const std::int64_t whole_s = count.QuadPart / frequency.QuadPart;
    const std::int64_t rest = count.QuadPart % frequency.QuadPart;
    return whole_s * 1'000'000'000 + rest * 1'000'000'000 / frequency.QuadPart;
}

std::int64_t process_cpu_ns()
{
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ns = [](const FILETIME &time) {
        return ((static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) * 100;
    };
    return ns(kernel) + ns(user);
}

void the_clock_is_the_performance_counter()
{
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    check(frequency.QuadPart >= 1'000'000, "the performance counter counts at least every microsecond");

    const std::int64_t counter_ns = counter_now_ns();
    const std::int64_t clock_ns = acquisition::monotonic_now_ns();
    check(clock_ns - counter_ns >= 0 && clock_ns - counter_ns < 1'000'000,
        "steady_clock reads the performance counter (" + std::to_string(clock_ns - counter_ns) + " ns apart)");

    // GetTickCount would move in steps of 10 to 16 ms, timeGetTime in steps of 1 ms.
    std::int64_t largest_step_ns = 0;
    std::int64_t previous_ns = acquisition::monotonic_now_ns();
    for (int steps = 0; steps < 1000;) {
        const std::int64_t now_ns = acquisition::monotonic_now_ns();
        if (now_ns != previous_ns) {
            largest_step_ns = std::max(largest_step_ns, now_ns - previous_ns);
            previous_ns = now_ns;
            ++steps;
        }
    }
    check(largest_step_ns < 1'000'000,
        "steady_clock moves in steps of less than 1 ms (largest " + std::to_string(largest_step_ns) + " ns)");
}

std::int64_t percentile(std::vector<std::int64_t> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

void sleeps_end_at_their_moment(SleepTimer preferred, bool may_fall_back)
{
    PreciseSleep sleep(preferred);
    const std::string got = name_of(sleep.timer());
    if (may_fall_back)
        check(sleep.timer() >= preferred, std::string("asked for a ") + name_of(preferred) + ", got a " + got);
    else
        check(sleep.timer() == preferred, std::string("the fallback to a ") + name_of(preferred) + " works");

    bool never_early = true;
    for (const std::int64_t ahead_ns : {std::int64_t{-1'000'000}, std::int64_t{0}, std::int64_t{30'000},
             std::int64_t{1'500'000}, std::int64_t{20'000'000}}) {
        const std::int64_t until_ns = acquisition::monotonic_now_ns() + ahead_ns;
        sleep.sleep_until(until_ns);
        never_early = never_early && acquisition::monotonic_now_ns() >= until_ns;
    }
    check(never_early, got + ": single sleeps of -1 ms to 20 ms end at or after their moment");

    // Deadlines 1 ms apart on an absolute schedule, as the sampling loop sets them.
    constexpr int kSleeps = 1000;
    std::vector<std::int64_t> late_ns;
    late_ns.reserve(kSleeps);
    const std::int64_t cpu_before_ns = process_cpu_ns();
    const std::int64_t start_ns = acquisition::monotonic_now_ns();
    for (int i = 1; i <= kSleeps; ++i) {
        const std::int64_t until_ns = start_ns + std::int64_t{i} * 1'000'000;
        sleep.sleep_until(until_ns);
        late_ns.push_back(acquisition::monotonic_now_ns() - until_ns);
    }
    const std::int64_t wall_ns = acquisition::monotonic_now_ns() - start_ns;
    const double cpu_share = static_cast<double>(process_cpu_ns() - cpu_before_ns) / static_cast<double>(wall_ns);
    check(*std::min_element(late_ns.begin(), late_ns.end()) >= 0,
        got + ": 1000 sleeps 1 ms apart end at or after their moment");
    std::printf("Wine, not Windows: %s, 1 ms apart: late by %.1f µs (median), %.1f µs (p99), %.1f µs (max); "
                "%.0f %% of a core; lead at the end %.1f µs\n",
        got.c_str(), percentile(late_ns, 0.5) * 1e-3, percentile(late_ns, 0.99) * 1e-3, percentile(late_ns, 1.0) * 1e-3,
        cpu_share * 100, static_cast<double>(sleep.spin_lead_ns()) * 1e-3);
}

}  // namespace

int main()
{
    the_clock_is_the_performance_counter();
    sleeps_end_at_their_moment(SleepTimer::HighResolution, true);
    sleeps_end_at_their_moment(SleepTimer::Millisecond, false);
    sleeps_end_at_their_moment(SleepTimer::SleepCall, false);
    std::printf("%d failed\n", failures);
    return failures;
}
