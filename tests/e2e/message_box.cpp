// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "message_box.h"

#include "picture_analysis.h"

#include <QDeadlineTimer>
#include <QTest>

namespace e2e {

std::optional<SeenMessageBox> wait_for_message_box(
    const XSession &session, const ProgramWindow &program, const QString &caption, int wait_ms)
{
    SeenMessageBox box;
    QImage last_shot;
    const QDeadlineTimer deadline(wait_ms);
    while (!deadline.hasExpired()) {
        QTest::qWait(100);
        for (qulonglong window : session.windows_of(program.process_id(), caption))
            if (window != program.window())
                box.window = window;
        if (!box.window)
            continue;
        const std::optional<WindowPlace> place = session.place_of(box.window);
        if (!place)
            continue;
        box.place = *place;
        const QImage shot = session.grab(place->client);
        if (count_dark_pixels(shot, shot.rect()) > 0 && shot == last_shot) {
            box.shot = shot;
            return box;
        }
        last_shot = shot;
    }
    return std::nullopt;
}

bool dismiss_message_box(
    const XSession &session, const ProgramWindow &program, const QString &caption, const SeenMessageBox &box)
{
    if (!session.click_at(box.place.client.topLeft() + QPoint(4, 4)) || !session.press_key(QStringLiteral("Return")))
        return false;
    const QDeadlineTimer gone(kWaitMs);
    auto shown = [&] { return session.windows_of(program.process_id(), caption).contains(box.window); };
    while (shown() && !gone.hasExpired())
        QTest::qWait(100);
    return !shown();
}

}  // namespace e2e
