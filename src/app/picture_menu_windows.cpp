// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The windows the picture menu opens beside the main one: 結果の詳細, 授業 and グラフを調べる.

#include "form1.h"
#include "lesson_desk.h"
#include "picture_menu.h"

void PictureMenu::show_lesson()
{
    if (!lesson_desk_)
        return;
    if (!lesson_view_) {
        lesson_view_ = new LessonView(*lesson_desk_, &form_);
        lesson_view_->set_inspector([this] { show_inspector(); });
    }
    lesson_view_->refresh();
    lesson_view_->show();
    lesson_view_->raise();
    lesson_view_->activateWindow();
}

void PictureMenu::show_results()
{
    if (!can_show_results())
        return;
    // Shown beside the window, not over a loop of its own: the window's buttons stay live.
    if (!results_view_)
        results_view_ = new ResultsView(document_, &form_);
    results_view_->refresh();
    results_view_->show();
    results_view_->raise();
    results_view_->activateWindow();
}

void PictureMenu::show_inspector()
{
    if (!can_ask())
        return;
    if (!inspector_view_)
        inspector_view_ = new GraphInspector(
            document_, [this] { return form_.holes_setting(); }, [this] { return form_.measuring(); }, &form_);
    inspector_view_->refresh();
    inspector_view_->show();
    inspector_view_->raise();
    inspector_view_->activateWindow();
}
