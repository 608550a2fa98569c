// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// While a run records, the thread that takes the readings asks the system for the standing that
// time-critical work gets there, without a password or an administrator, and gives it back when
// the run ends, however it ends. On a busy PC a thread at normal priority that wakes while every
// processor is taken waits its turn: on Windows a whole time slice, 15 to 30 ms.
//
// What is asked for, in this order, each only where the system grants it:
//  - Windows: the high priority class for the process, and the multimedia class scheduler's
//    "Pro Audio" task for the thread;
//  - Linux: a real-time policy for the thread from RealtimeKit over D-Bus (as audio programs get
//    theirs), else SCHED_FIFO where the user's limits allow it, else a raised nice value, set
//    directly where the limits allow it or else from RealtimeKit.
// A system that refuses everything leaves the run as it always was, without a word.

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace acquisition {

// The calls to the system, one per request, faked in the tests. Each answers whether it was
// granted; a call the platform does not have refuses.
class PrioritySystem {
public:
    virtual ~PrioritySystem() = default;

    // Windows. The class the process had is kept until it is restored.
    virtual bool raise_priority_class() { return false; }
    virtual void restore_priority_class() { }
    virtual bool join_pro_audio() { return false; }
    virtual void leave_pro_audio() { }

    // Linux. The highest real-time priority RealtimeKit hands out, nothing when it does not answer.
    virtual std::optional<int> realtimekit_max_priority() { return std::nullopt; }
    virtual bool realtimekit_realtime(int priority)
    {
        (void)priority;
        return false;
    }
    virtual bool set_fifo(int priority)
    {
        (void)priority;
        return false;
    }
    // Back to the normal policy, from either real-time one.
    virtual void set_normal_policy() { }
    virtual int nice() { return 0; }
    virtual bool set_nice(int nice)
    {
        (void)nice;
        return false;
    }
    // The lowest nice value RealtimeKit hands out, nothing when it does not answer.
    virtual std::optional<int> realtimekit_min_nice() { return std::nullopt; }
    virtual bool realtimekit_nice(int nice)
    {
        (void)nice;
        return false;
    }
    // Lowering the standing again is always allowed.
    virtual void restore_nice(int nice) { (void)nice; }
};

// The real-time priority asked for: above what other programs of the desktop ask, below the
// system's own threads.
inline constexpr int kRunRealtimePriority = 10;
// The nice value asked for where no real-time policy is granted.
inline constexpr int kRunNice = -10;

struct PriorityGrant {
    enum class Kind {
        HighPriorityClass,
        ProAudio,
        RealtimeKit,  // a real-time policy from RealtimeKit
        Fifo,
        Nice,
        RealtimeKitNice,
    };
    std::vector<Kind> kinds;
    int realtime_priority = 0;
    int nice = 0;

    bool granted(Kind kind) const;
    // A real-time policy, under which the thread must not poll for long.
    bool realtime() const;
    // For the 入力 row and the results view: "SCHED_RR 10 (RealtimeKit)", "SCHED_FIFO 10",
    // "nice -10", "nice -10 (RealtimeKit)", "高い優先度クラス, Pro Audio", or "なし".
    QString text() const;
};

// Holds what was granted for as long as it lives, and gives it back when destroyed. A hold without
// a system asks for nothing.
class PriorityHold {
public:
    explicit PriorityHold(PrioritySystem *system);
    ~PriorityHold();
    PriorityHold(const PriorityHold &) = delete;
    PriorityHold &operator=(const PriorityHold &) = delete;

    const PriorityGrant &grant() const { return grant_; }

private:
    PrioritySystem *system_;
    PriorityGrant grant_;
    int previous_nice_ = 0;
};

// The key of the standing in the 入力 row.
inline const QString kPriorityKey = QStringLiteral("計測中の優先度");

// This platform's calls, for the thread that builds it (the sampling thread). None on a platform
// without any.
std::unique_ptr<PrioritySystem> make_system_priority();

}  // namespace acquisition
