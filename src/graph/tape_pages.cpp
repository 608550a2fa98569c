// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/tape_pages.h"

#include <QFont>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace graph {

namespace {

constexpr double kMmPerCm = 10;
constexpr double kCutMarkMm = 3;    // how far a cut mark reaches beside the strip
constexpr double kHoleWidthMm = 3;  // a hole as drawn, across and along the strip
constexpr double kHoleAcrossMm = 6;
constexpr double kCheckLineMm = 100;  // the line that shows the paper at its true size

}  // namespace

std::int32_t TapePaper::columns_per_page() const
{
    const double room = width_mm - 2 * margin_mm - strip_mm;
    return room < 0 ? 1 : static_cast<std::int32_t>(std::floor(room / column_mm)) + 1;
}

TapeLayout lay_out_tape(const std::vector<double> &lengths_cm, const TapePaper &paper)
{
    TapeLayout layout;
    layout.paper = paper;
    const double column = paper.column_height_mm();
    const std::int32_t per_page = paper.columns_per_page();
    std::int32_t slot = 0;
    for (std::size_t i = 0; i < lengths_cm.size(); ++i) {
        if (!(lengths_cm[i] >= 0) || !(column > 0))
            continue;
        const double length = lengths_cm[i] * kMmPerCm;
        // A piece as tall as a column fits it, whatever the rounding of its length.
        const auto parts = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::ceil(length / column - 1e-9)));
        for (std::int32_t p = 0; p < parts; ++p, ++slot) {
            PlacedPart part;
            part.piece = static_cast<std::int32_t>(i);
            part.part = p;
            part.parts = parts;
            part.page = slot / per_page;
            part.left_mm = paper.margin_mm + (slot % per_page) * paper.column_mm;
            part.from_mm = p * column;
            part.to_mm = std::min(length, (p + 1) * column);
            layout.parts.push_back(part);
        }
    }
    layout.pages = slot == 0 ? 0 : (slot - 1) / per_page + 1;
    return layout;
}

void paint_tape_page(QPainter &painter, const TapeLayout &layout, const std::vector<PrintedPiece> &pieces,
    std::int32_t page, const QString &caption)
{
    const TapePaper &paper = layout.paper;
    painter.save();
    // One unit a millimetre, whatever the device's resolution.
    const double dots_per_mm = painter.device()->logicalDpiX() / 25.4;
    painter.scale(dots_per_mm, painter.device()->logicalDpiY() / 25.4);
    QFont font = painter.font();
    font.setPointSizeF(9);
    // Point sizes go by the device's resolution; the painter's scale would enlarge them again.
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(3.2 * dots_per_mm))));
    painter.setFont(font);
    QPen thin(Qt::black, 0.2);
    painter.setPen(thin);

    const double text_width = paper.width_mm - 2 * paper.margin_mm;
    painter.save();
    painter.scale(1 / dots_per_mm, 1 / dots_per_mm);
    auto text_at = [&painter, dots_per_mm](const QRectF &mm, int flags, const QString &text) {
        painter.drawText(
            QRectF(mm.x() * dots_per_mm, mm.y() * dots_per_mm, mm.width() * dots_per_mm, mm.height() * dots_per_mm),
            flags, text);
    };
    text_at(QRectF(paper.margin_mm, paper.margin_mm, text_width, paper.header_mm), Qt::TextWordWrap, caption);
    const double foot = paper.height_mm - paper.margin_mm - paper.footer_mm;
    text_at(QRectF(paper.margin_mm, foot + 3, text_width, paper.footer_mm - 3), Qt::AlignRight | Qt::AlignBottom,
        QStringLiteral("%1 / %2").arg(page + 1).arg(layout.pages));
    text_at(QRectF(paper.margin_mm, foot + 4, text_width, paper.footer_mm - 4), Qt::AlignLeft | Qt::AlignBottom,
        QStringLiteral("この線が 10 cm なら実物大"));
    painter.restore();
    painter.drawLine(QLineF(paper.margin_mm, foot + 2, paper.margin_mm + kCheckLineMm, foot + 2));
    for (const double x : {paper.margin_mm, paper.margin_mm + kCheckLineMm})
        painter.drawLine(QLineF(x, foot + 0.5, x, foot + 3.5));

    const double base = paper.base_mm();
    for (const PlacedPart &part : layout.parts) {
        if (part.page != page || part.piece < 0 || static_cast<std::size_t>(part.piece) >= pieces.size())
            continue;
        const PrintedPiece &piece = pieces[static_cast<std::size_t>(part.piece)];
        const double left = part.left_mm;
        const double right = left + paper.strip_mm;
        const double top = base - (part.to_mm - part.from_mm);
        painter.fillRect(QRectF(left, top, paper.strip_mm, base - top),
            piece.greyed ? QColor(225, 225, 225) : QColor(250, 244, 222));
        painter.setPen(QPen(Qt::black, 0.15, Qt::DotLine));
        painter.drawLine(QLineF(left, top, left, base));
        painter.drawLine(QLineF(right, top, right, base));
        // Cut marks at each end: solid where the piece ends, dashed where a part goes on.
        for (const auto &[y, piece_end] :
            {std::pair{base, part.part == 0}, std::pair{top, part.part + 1 == part.parts}}) {
            painter.setPen(QPen(Qt::black, 0.25, piece_end ? Qt::SolidLine : Qt::DashLine));
            painter.drawLine(QLineF(left - kCutMarkMm, y, left, y));
            painter.drawLine(QLineF(right, y, right + kCutMarkMm, y));
            if (!piece_end)
                painter.drawLine(QLineF(left, y, right, y));
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(90, 90, 90));
        // A hole at a cut is cut with it.
        painter.setClipRect(QRectF(left, top, paper.strip_mm, base - top));
        for (const double hole_cm : piece.holes_cm) {
            const double at = hole_cm * kMmPerCm;
            if (at < part.from_mm || at > part.to_mm)
                continue;
            const double y = base - (at - part.from_mm);
            painter.drawEllipse(QRectF((left + right - kHoleAcrossMm) / 2, y, kHoleAcrossMm, kHoleWidthMm));
        }
        painter.setClipping(false);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(thin);
        painter.save();
        painter.scale(1 / dots_per_mm, 1 / dots_per_mm);
        const QString label = part.parts > 1
            ? QStringLiteral("%1\n(%2/%3)").arg(piece.label).arg(part.part + 1).arg(part.parts)
            : piece.label;
        text_at(QRectF(left - 3, base + 2, paper.strip_mm + 6, paper.label_mm), Qt::AlignHCenter | Qt::AlignTop, label);
        painter.restore();
    }
    painter.restore();
}

}  // namespace graph
