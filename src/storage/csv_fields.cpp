// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/csv_fields.h"

#include "storage/cp932.h"
#include "storage/csv_layout.h"

#include <QIODevice>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace storage {

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;
// Our widest row has a dozen fields and a spreadsheet pads rows with empty ones, which are dropped;
// a row with a field this far out is none of ours, and its fields are not kept.
constexpr std::size_t kMostFields = 64;

bool is_ascii(const QByteArray &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

// --- records --------------------------------------------------------------------------------------

CsvRecordReader::CsvRecordReader(QIODevice &device, qint64 max_bytes) : device_(device), max_bytes_(max_bytes) { }

bool CsvRecordReader::fill()
{
    buffer_.remove(0, position_);
    position_ = 0;
    // One byte past the bound tells data that goes on.
    const qint64 wanted = std::min(kChunkBytes, max_bytes_ + 1 - bytes_read_);
    const qsizetype kept = buffer_.size();
    buffer_.resize(kept + wanted);
    const qint64 got = device_.read(buffer_.data() + kept, wanted);
    buffer_.resize(kept + std::max<qint64>(got, 0));
    if (got < 0) {
        status_ = Next::ReadError;
        error_string_ = device_.errorString();
        return false;
    }
    bytes_read_ += got;
    if (bytes_read_ > max_bytes_) {
        status_ = Next::TooLarge;
        return false;
    }
    return got > 0;
}

int CsvRecordReader::next_byte()
{
    if (position_ == buffer_.size() && (status_ != Next::Record || !fill()))
        return -1;
    return static_cast<unsigned char>(buffer_.constData()[position_++]);
}

CsvRecordReader::Next CsvRecordReader::next(CsvRecord &record)
{
    record.fields.clear();
    record.ended = false;
    record.broken = false;
    if (!started_) {
        started_ = true;
        while (buffer_.size() < layout::kByteOrderMark.size() && fill()) { }
        if (buffer_.startsWith(layout::kByteOrderMark)) {
            position_ = layout::kByteOrderMark.size();
            had_byte_order_mark_ = true;
        }
    }
    int c = next_byte();
    if (skip_line_feed_) {
        skip_line_feed_ = false;
        if (c == '\n')
            c = next_byte();
    }
    if (c < 0)
        return status_ == Next::Record ? Next::End : status_;
    record.line = lines_ended_ + 1;
    // An empty line, of which a spreadsheet may leave many, takes the short way.
    if (c == '\r' || c == '\n') {
        last_line_ = ++lines_ended_;
        record.ended = true;
        skip_line_feed_ = c == '\r';
        return Next::Record;
    }

    enum class State { Plain, Quoted, QuoteInQuoted } state = State::Plain;
    std::string field;
    bool was_quoted = false;        // the field has had its quoted part
    bool carriage_return = false;   // inside quotes: the last byte was CR
    std::size_t pending_empty = 0;  // empty fields kept back: dropped if nothing follows them
    auto end_field = [&] {
        if (field.empty()) {
            ++pending_empty;
        } else if (record.fields.size() + pending_empty >= kMostFields) {
            record.broken = true;
        } else {
            record.fields.insert(record.fields.end(), pending_empty, QByteArray());
            pending_empty = 0;
            record.fields.emplace_back(field.data(), static_cast<qsizetype>(field.size()));
        }
        field.clear();
        was_quoted = false;
    };
    for (;; c = next_byte()) {
        if (c < 0) {
            if (status_ != Next::Record)
                return status_;
            // The data ends inside the record: a quote left open breaks it.
            record.broken = record.broken || state == State::Quoted;
            end_field();
            break;
        }
        const char byte = static_cast<char>(c);
        if (state == State::Quoted) {
            if (byte == '"') {
                state = State::QuoteInQuoted;
                continue;
            }
            // Line ends inside quotes belong to the field, and still count as lines.
            if (byte == '\r' || (byte == '\n' && !carriage_return))
                ++lines_ended_;
            carriage_return = byte == '\r';
            field += byte;
            continue;
        }
        if (state == State::QuoteInQuoted) {
            state = State::Plain;
            if (byte == '"') {
                state = State::Quoted;
                field += byte;
                continue;
            }
        }
        if (byte == ',') {
            end_field();
        } else if (byte == '\r' || byte == '\n') {
            end_field();
            ++lines_ended_;
            record.ended = true;
            skip_line_feed_ = byte == '\r';
            break;
        } else if (byte == '"' && field.empty() && !was_quoted) {
            state = State::Quoted;
            was_quoted = true;
            carriage_return = false;
        } else {
            // A quote inside a field, or after its quoted part, is taken as it stands.
            field += byte;
        }
    }
    last_line_ = record.ended ? lines_ended_ : lines_ended_ + 1;
    return Next::Record;
}

void CsvRecordReader::skip_empty_lines()
{
    for (;; ++position_) {
        if (position_ == buffer_.size() && (status_ != Next::Record || !fill()))
            return;
        const char byte = buffer_.constData()[position_];
        if (byte == '\n' && skip_line_feed_) {
            skip_line_feed_ = false;
        } else if (byte == '\r' || byte == '\n') {
            last_line_ = ++lines_ended_;
            skip_line_feed_ = byte == '\r';
        } else if (byte == ',') {
            skip_line_feed_ = false;
        } else {
            return;
        }
    }
}

// --- text -------------------------------------------------------------------------------------------

std::optional<QString> decode_field(const QByteArray &bytes, TextEncoding encoding)
{
    // ASCII is the same in both encodings.
    if (is_ascii(bytes))
        return QString::fromLatin1(bytes);
    if (encoding == TextEncoding::Utf8) {
        // Bytes that are not UTF-8 do not come back as themselves.
        QString text = QString::fromUtf8(bytes);
        if (text.toUtf8() != bytes)
            return std::nullopt;
        return text;
    }
    const std::optional<std::u16string> text = decode_cp932(std::string_view(bytes.constData(), bytes.size()));
    if (!text)
        return std::nullopt;
    return QString::fromStdU16String(*text);
}

std::optional<TextEncoding> encoding_of_title(const QByteArray &field, bool had_byte_order_mark, const QString &title)
{
    if (decode_field(field, TextEncoding::Utf8) == title)
        return TextEncoding::Utf8;
    if (!had_byte_order_mark && decode_field(field, TextEncoding::Cp932) == title)
        return TextEncoding::Cp932;
    return std::nullopt;
}

bool same_key(const QString &field, const QString &expected)
{
    if (field.size() != expected.size())
        return false;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const bool lost_superscript = expected[i] == QChar(0x00B2) && field[i] == QLatin1Char('?');
        if (field[i] != expected[i] && !lost_superscript)
            return false;
    }
    return true;
}

// --- numbers and dates ------------------------------------------------------------------------------

template <typename Number> std::optional<Number> number_of(const QString &text)
{
    const std::string bytes = text.toStdString();
    Number value{};
    const char *const end = bytes.data() + bytes.size();
    const auto [stop, error] = std::from_chars(bytes.data(), end, value);
    if (bytes.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    if constexpr (std::is_floating_point_v<Number>) {
        if (!std::isfinite(value))
            return std::nullopt;
    }
    return value;
}

template std::optional<std::int32_t> number_of<std::int32_t>(const QString &);
template std::optional<std::int64_t> number_of<std::int64_t>(const QString &);
template std::optional<float> number_of<float>(const QString &);
template std::optional<double> number_of<double>(const QString &);

QString reading_spans_text(const std::vector<common::ReadingSpan> &spans)
{
    QStringList texts;
    for (const common::ReadingSpan &span : spans)
        texts << QStringLiteral("%1-%2").arg(span.first).arg(span.last);
    return texts.join(QLatin1Char(' '));
}

bool read_reading_spans(const QString &text, std::int32_t last_sample, std::vector<common::ReadingSpan> &spans)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9]+)-([0-9]+)$"));
    std::vector<common::ReadingSpan> read;
    for (const QString &part : text.split(QLatin1Char(' '))) {
        const QRegularExpressionMatch match = pattern.match(part);
        const std::optional<std::int32_t> first = number_of<std::int32_t>(match.captured(1));
        const std::optional<std::int32_t> last = number_of<std::int32_t>(match.captured(2));
        if (!first || !last || *first > *last || *last > last_sample || (!read.empty() && *first <= read.back().last))
            return false;
        read.push_back({*first, *last});
    }
    spans = std::move(read);
    return true;
}

QByteArray csv_row(const QStringList &fields)
{
    QStringList texts;
    for (const QString &field : fields) {
        if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\n'))
            && !field.contains(QLatin1Char('\r'))) {
            texts << field;
            continue;
        }
        QString text = field;
        text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        texts << QLatin1Char('"') + text + QLatin1Char('"');
    }
    return texts.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

QDateTime date_time_of(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^([0-9]{4})([-/])([0-9]{1,2})\2([0-9]{1,2})(?:[ T]([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?)?$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    const QDate date(match.captured(1).toInt(), match.captured(3).toInt(), match.captured(4).toInt());
    const QTime time(match.captured(5).toInt(), match.captured(6).toInt(), match.captured(7).toInt());
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

}  // namespace storage
