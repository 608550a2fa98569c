// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "message_box_watcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace test_support {

MessageBoxWatcher::MessageBoxWatcher()
{
    connect(&timer_, &QTimer::timeout, this, &MessageBoxWatcher::check);
    timer_.start(5);
}

void MessageBoxWatcher::check()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    SeenMessageBox seen_box;
    seen_box.title = box->windowTitle();
    seen_box.text = box->text();
    seen_box.has_icon = box->icon() != QMessageBox::NoIcon;
    for (QAbstractButton *button : box->buttons())
        seen_box.buttons << button->text();
    seen << seen_box;
    box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
}

}  // namespace test_support
