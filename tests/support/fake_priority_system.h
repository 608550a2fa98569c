// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The system's priority calls for tests: each request is granted unless its name is among the
// refused ones, and every call is written down in order.
//   "class", "audio", "rtkit" (RealtimeKit's real-time policy), "fifo", "nice", "rtkit-nice";
//   "no-rtkit": RealtimeKit does not answer at all.

#include "acquisition/run_priority.h"

#include <QStringList>

namespace test_support {

class FakePrioritySystem final : public acquisition::PrioritySystem {
public:
    explicit FakePrioritySystem(QStringList refused = {}, int start_nice = 0)
        : refused_(std::move(refused)), nice_(start_nice)
    { }

    QStringList calls;

    bool raise_priority_class() override { return ask(QStringLiteral("class")); }
    void restore_priority_class() override { calls << QStringLiteral("class back"); }
    bool join_pro_audio() override { return ask(QStringLiteral("audio")); }
    void leave_pro_audio() override { calls << QStringLiteral("audio back"); }
    std::optional<int> realtimekit_max_priority() override
    {
        return rtkit_answers() ? std::optional(20) : std::nullopt;
    }
    bool realtimekit_realtime(int priority) override { return ask(QStringLiteral("rtkit %1").arg(priority)); }
    bool set_fifo(int priority) override { return ask(QStringLiteral("fifo %1").arg(priority)); }
    void set_normal_policy() override { calls << QStringLiteral("normal policy"); }
    int nice() override { return nice_; }
    bool set_nice(int nice) override { return ask(QStringLiteral("nice %1").arg(nice)); }
    std::optional<int> realtimekit_min_nice() override { return rtkit_answers() ? std::optional(-15) : std::nullopt; }
    bool realtimekit_nice(int nice) override { return ask(QStringLiteral("rtkit-nice %1").arg(nice)); }
    void restore_nice(int nice) override { calls << QStringLiteral("nice back %1").arg(nice); }

private:
    bool rtkit_answers() const { return !refused_.contains(QStringLiteral("no-rtkit")); }
    bool ask(const QString &call)
    {
        calls << call;
        return !refused_.contains(call.section(QLatin1Char(' '), 0, 0));
    }

    QStringList refused_;
    int nice_;
};

}  // namespace test_support
