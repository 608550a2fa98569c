// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The tape's pieces on paper at their true size, 1 cm of strip to 1 cm of paper: side by side on
// a common base, as many to a page as fit, over as many pages as they need. A piece taller than
// the page goes on in the next column, each part marked. Every measure here is in mm on the
// paper, from its top left corner.

#include <QString>

#include <cstdint>
#include <vector>

class QPainter;

namespace graph {

struct TapePaper {
    double width_mm = 210;  // A4, upright
    double height_mm = 297;
    double margin_mm = 12;  // kept clear on every side
    double header_mm = 16;  // the run's date and settings
    double footer_mm = 12;  // the 10 cm check line and the page number
    double label_mm = 12;   // under the base: each piece's number and length
    double strip_mm = 16;   // the width of a piece
    double column_mm = 24;  // from one piece to the next

    // The longest part of a piece a column holds, in mm.
    double column_height_mm() const { return height_mm - 2 * margin_mm - header_mm - footer_mm - label_mm; }
    // Where the pieces stand.
    double base_mm() const { return margin_mm + header_mm + column_height_mm(); }
    std::int32_t columns_per_page() const;
};

// One part of a piece on a page.
struct PlacedPart {
    std::int32_t piece = 0;  // the index of the piece
    std::int32_t part = 0;   // 0.. from its start
    std::int32_t parts = 1;
    std::int32_t page = 0;
    double left_mm = 0;  // the strip's left edge
    double from_mm = 0;  // the stretch of the piece it shows, from the piece's start
    double to_mm = 0;
};

struct TapeLayout {
    TapePaper paper;
    std::vector<PlacedPart> parts;  // in order of piece and part
    std::int32_t pages = 0;
};

// Lays out pieces of `lengths_cm` (a negative length: the piece is left off the paper).
TapeLayout lay_out_tape(const std::vector<double> &lengths_cm, const TapePaper &paper = {});

// A piece as the paper shows it.
struct PrintedPiece {
    double length_cm = 0;
    std::vector<double> holes_cm;  // the holes' trailing edges, from its start
    QString label;                 // under it: its number and length
    bool greyed = false;           // outside the run's range
};

// Paints page `page` of `layout` with `painter` on a device whose origin is the paper's corner,
// at the device's resolution: `caption` at the top, the page number at the foot.
void paint_tape_page(QPainter &painter, const TapeLayout &layout, const std::vector<PrintedPiece> &pieces,
    std::int32_t page, const QString &caption);

}  // namespace graph
