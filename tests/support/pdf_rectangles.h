// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What a PDF written by Qt's own PDF engine paints, read back from the file: the filled
// rectangles of each page, measured in the PDF's coordinates and given in mm.

#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QSizeF>
#include <QString>

namespace support {

// Width and height in mm of every filled rectangle, page by page in order; nothing when the file
// cannot be read. Each size is the rectangle's own times the matrix last set before it times the
// page's matrix (the first of its content), in points of 1/72 inch.
inline QList<QSizeF> pdf_filled_rectangles_mm(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray pdf = file.readAll();
    const QRegularExpression matrix(QStringLiteral(R"(([\d.]+) 0 0 -?[\d.]+ [\d.]+ [\d.]+ cm)"));
    const QRegularExpression rect(QStringLiteral(R"([\d.-]+ [\d.-]+ ([\d.]+) ([\d.]+) re\nf)"));
    QList<QSizeF> sizes;
    for (qsizetype at = pdf.indexOf("stream\n"); at >= 0; at = pdf.indexOf("stream\n", at)) {
        at += 7;
        const qsizetype end = pdf.indexOf("endstream", at);
        const QByteArray dictionary = pdf.mid(pdf.lastIndexOf("<<", at), 200);
        const QByteArray data = pdf.mid(at, end - at);
        at = end + 9;
        // Page contents are compressed streams; fonts carry their own lengths.
        if (!dictionary.contains("/FlateDecode") || dictionary.contains("/Length1"))
            continue;
        // A zlib stream as qUncompress takes it: its expected size first.
        const QString content = QString::fromLatin1(qUncompress(QByteArray::fromHex("00100000") + data));
        const QRegularExpressionMatch page = matrix.match(content);
        if (!page.hasMatch())
            continue;
        for (auto it = rect.globalMatch(content); it.hasNext();) {
            const QRegularExpressionMatch shape = it.next();
            const qsizetype before = content.lastIndexOf(QStringLiteral(" cm"), shape.capturedStart());
            const QRegularExpressionMatch own
                = matrix.match(content.left(before + 3), content.lastIndexOf(QLatin1Char('\n'), before) + 1);
            const double scale = page.captured(1).toDouble() * (own.hasMatch() ? own.captured(1).toDouble() : 1.0);
            const double mm = scale * 25.4 / 72;
            sizes << QSizeF(shape.captured(1).toDouble() * mm, shape.captured(2).toDouble() * mm);
        }
    }
    return sizes;
}

}  // namespace support
