#include "storage/measurement_csv.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <string>

namespace storage {

namespace {

// The first field of the first line names the kind of file, the second the layout of its rows; a
// later layout would get a new number and this reader would refuse it.
const QString kFileTitle = QStringLiteral("運動の解析 計測データ");
const QString kLayout = QStringLiteral("1");
const QString kProgramKey = QStringLiteral("プログラム");
const QString kSavedKey = QStringLiteral("保存日時");
const QString kSourceKey = QStringLiteral("入力");
const QString kPeriodKey = QStringLiteral("計測周期(ms)");
const QString kTimeKey = QStringLiteral("計測時間(s)");
const QString kRateKey = QStringLiteral("サンプル毎秒");
const QString kCountKey = QStringLiteral("N");
const QString kHolesKey = QStringLiteral("1区間の穴数");
const QString kSamplesTitle = QStringLiteral("サンプル");
const QStringList kSampleColumns = {QStringLiteral("番号"), QStringLiteral("時刻(s)"), QStringLiteral("読み値")};
const QString kSectionsTitle = QStringLiteral("区間");
const QStringList kSectionColumns
    = {QStringLiteral("k"), QStringLiteral("中央時刻(s)"), QStringLiteral("時間(s)"), QStringLiteral("速度(cm/s)")};
const QString kBoundariesTitle = QStringLiteral("境界");
const QStringList kBoundaryColumns = {QStringLiteral("k"), QStringLiteral("時刻(s)"), QStringLiteral("距離(cm)")};
const QString kFitTitle = QStringLiteral("最小２乗法");
// 値 is the window's single-precision fit; 倍精度 the same line in double precision, whose
// standard error follows.
const QStringList kFitColumns = {QStringLiteral("量"), QStringLiteral("表示"), QStringLiteral("値"),
    QStringLiteral("倍精度"), QStringLiteral("標準誤差")};
const QString kInitialVelocityKey = QStringLiteral("初速度(cm/s)");
const QString kAccelerationKey = QStringLiteral("加速度(cm/s²)");
const QString kRSquaredKey = QStringLiteral("r²");
const QString kPointsKey = QStringLiteral("点の数");
const QString kEndMark = QStringLiteral("終わり");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QByteArray kByteOrderMark("\xEF\xBB\xBF");

QString single_text(float value) { return QString::number(static_cast<double>(value), 'g', 9); }
QString double_text(double value) { return QString::number(value, 'g', QLocale::FloatingPointShortest); }
QString optional_text(const std::optional<double> &value) { return value ? double_text(*value) : QString(); }

QString quoted(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\n'))
        && !field.contains(QLatin1Char('\r')))
        return field;
    QString text = field;
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void add_row(QByteArray &out, const QStringList &fields)
{
    QStringList texts;
    for (const QString &field : fields)
        texts << quoted(field);
    out += texts.join(QLatin1Char(',')).toUtf8();
    out += "\r\n";
}

// --- reading ------------------------------------------------------------------------------------

struct Line {
    std::int32_t number = 0;
    QStringList fields;   // trailing empty fields dropped: a spreadsheet pads rows to one width
    bool broken = false;  // not UTF-8, or a quote left open
};

// Splits one line into fields; a field in double quotes may hold commas and doubled quotes.
// Returns nothing when a quote is left open.
std::optional<QStringList> split_fields(const QString &text)
{
    QStringList fields;
    QString field;
    bool in_quotes = false;
    bool was_quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (in_quotes) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    in_quotes = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
            was_quoted = false;
        } else if (c == QLatin1Char('"') && field.isEmpty() && !was_quoted) {
            in_quotes = true;
            was_quoted = true;
        } else {
            field += c;
        }
    }
    if (in_quotes)
        return std::nullopt;
    fields << field;
    while (!fields.isEmpty() && fields.last().isEmpty())
        fields.removeLast();
    return fields;
}

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

class Reader {
public:
    explicit Reader(std::vector<Line> lines) : lines_(std::move(lines)) { }

    ReadResult read();

private:
    struct Refusal {
        ReadFailure failure;
    };
    [[noreturn]] void refuse(ReadProblem problem, std::int32_t line) { throw Refusal{{problem, line, {}}}; }
    [[noreturn]] void broken(const Line &line) { refuse(ReadProblem::BrokenLine, line.number); }

    const Line &next()
    {
        // The last line is the end mark, checked before anything else: every table ends before it.
        if (position_ >= lines_.size())
            refuse(ReadProblem::Truncated, lines_.empty() ? 1 : lines_.back().number);
        const Line &line = lines_[position_++];
        if (line.broken)
            broken(line);
        return line;
    }
    const Line &peek() const { return lines_[position_]; }
    bool next_is(const QString &first) const
    {
        return position_ < lines_.size() && !peek().fields.isEmpty() && peek().fields.first() == first;
    }
    // A header row: the key and exactly `values` values, or at least one when `values` is 0.
    const Line &row(const QString &key, qsizetype values)
    {
        const Line &line = next();
        if (line.fields.isEmpty() || line.fields.first() != key)
            broken(line);
        if (values > 0 ? line.fields.size() != values + 1 : line.fields.size() < 2)
            broken(line);
        return line;
    }
    template <typename Number> Number value(const Line &line, qsizetype field)
    {
        if (field >= line.fields.size())
            broken(line);
        const std::optional<Number> number = number_of<Number>(line.fields[field]);
        if (!number)
            broken(line);
        return *number;
    }
    void blank()
    {
        const Line &line = next();
        if (!line.fields.isEmpty())
            broken(line);
    }
    void table_head(const QString &title, const QStringList &columns)
    {
        const Line &title_line = next();
        if (title_line.fields != QStringList{title})
            broken(title_line);
        const Line &column_line = next();
        if (column_line.fields != columns)
            broken(column_line);
    }
    // The rows of a table up to the empty line that ends it, each with an index counting from
    // `first_index` in its first field and exactly `fields` fields.
    std::vector<const Line *> table_rows(qsizetype fields, std::int32_t first_index)
    {
        std::vector<const Line *> rows;
        for (;;) {
            const Line &line = next();
            if (line.fields.isEmpty())
                return rows;
            if (line.fields.size() != fields
                || value<std::int32_t>(line, 0) != first_index + static_cast<std::int32_t>(rows.size()))
                broken(line);
            rows.push_back(&line);
        }
    }

    void read_header(MeasurementRecord &record, ReadResult &result);
    void read_samples(MeasurementRecord &record);
    void read_analysis(MeasurementRecord &record);
    void read_fit(MeasurementRecord &record);

    std::vector<Line> lines_;
    std::size_t position_ = 0;
};

ReadResult Reader::read()
{
    ReadResult result;
    try {
        if (lines_.empty() || lines_.front().broken || lines_.front().fields.size() != 2
            || lines_.front().fields[0] != kFileTitle || lines_.front().fields[1] != kLayout)
            refuse(ReadProblem::NotOurs, 1);
        // A file cut short, at a line's end or inside it, lacks the end mark.
        if (lines_.back().broken || lines_.back().fields != QStringList{kEndMark})
            refuse(ReadProblem::Truncated, lines_.back().number);
        lines_.pop_back();
        ++position_;
        MeasurementRecord record;
        read_header(record, result);
        read_samples(record);
        if (record.holes_per_section)
            read_analysis(record);
        if (position_ != lines_.size())
            broken(peek());
        result.record = std::move(record);
    } catch (const Refusal &refusal) {
        result.record.reset();
        result.failure = refusal.failure;
    }
    return result;
}

void Reader::read_header(MeasurementRecord &record, ReadResult &result)
{
    const Line &program = row(kProgramKey, 2);
    record.program_name = program.fields[1];
    record.program_version = program.fields[2];
    const Line &saved = row(kSavedKey, 1);
    record.saved_at = QDateTime::fromString(saved.fields[1], kDateFormat);
    if (!record.saved_at.isValid())
        broken(saved);
    record.source = row(kSourceKey, 0).fields.mid(1);

    const Line &period = row(kPeriodKey, 1);
    record.period_ms = value<std::int32_t>(period, 1);
    if (record.period_ms < kMinPeriodMs || record.period_ms > kMaxPeriodMs)
        refuse(ReadProblem::PeriodOutOfRange, period.number);
    const Line &time = row(kTimeKey, 1);
    record.meas_time_s = value<float>(time, 1);
    if (!(record.meas_time_s >= kMinTimeS && record.meas_time_s <= kMaxTimeS)
        || record.meas_time_s != std::floor(record.meas_time_s))
        refuse(ReadProblem::TimeOutOfRange, time.number);
    const Line &rate = row(kRateKey, 1);
    record.sample_rate = value<float>(rate, 1);
    if (!(record.sample_rate > 0))
        broken(rate);
    result.sample_rate_line = rate.number;
    const Line &count = row(kCountKey, 1);
    record.last_sample = value<std::int32_t>(count, 1);
    if (record.last_sample < 1 || record.last_sample > kMaxLastSample)
        refuse(ReadProblem::CountOutOfRange, count.number);
    result.last_sample_line = count.number;
    if (next_is(kHolesKey)) {
        const Line &holes = row(kHolesKey, 1);
        record.holes_per_section = value<std::int32_t>(holes, 1);
        if (*record.holes_per_section < 1 || *record.holes_per_section > 32767)
            broken(holes);
    }
    blank();
}

void Reader::read_samples(MeasurementRecord &record)
{
    table_head(kSamplesTitle, kSampleColumns);
    const std::size_t expected = static_cast<std::size_t>(record.last_sample) + 1;
    for (;;) {
        const Line &line = next();
        if (line.fields.isEmpty()) {
            if (record.samples.size() != expected)
                refuse(ReadProblem::SampleCountMismatch, line.number);
            return;
        }
        if (line.fields.size() != 3 || value<std::int32_t>(line, 0) != static_cast<std::int32_t>(record.samples.size()))
            broken(line);
        value<double>(line, 1);
        const std::int32_t reading = value<std::int32_t>(line, 2);
        if (reading < -kMaxReading || reading > kMaxReading)
            refuse(ReadProblem::SampleOutOfRange, line.number);
        if (record.samples.size() == expected)
            refuse(ReadProblem::SampleCountMismatch, line.number);
        record.samples.push_back(static_cast<std::int16_t>(reading));
    }
}

void Reader::read_analysis(MeasurementRecord &record)
{
    table_head(kSectionsTitle, kSectionColumns);
    for (const Line *line : table_rows(4, 1))
        record.sections.push_back({value<float>(*line, 1), value<float>(*line, 2), value<float>(*line, 3)});
    table_head(kBoundariesTitle, kBoundaryColumns);
    for (const Line *line : table_rows(3, 0))
        record.boundaries.push_back({value<double>(*line, 1), value<double>(*line, 2)});
    if (next_is(kFitTitle))
        read_fit(record);
}

void Reader::read_fit(MeasurementRecord &record)
{
    table_head(kFitTitle, kFitColumns);
    FitRecord fit;
    auto optional_value = [this](const Line &line, qsizetype field) -> std::optional<double> {
        if (field >= line.fields.size())
            return std::nullopt;
        return value<double>(line, field);
    };
    // A coefficient's row: its key, the text as printed, the float the window printed, the
    // double-precision value and, where there is one, its standard error.
    auto read_coefficient
        = [&](const auto &key, QString &text, float &printed, double &full, std::optional<double> &error) {
              const Line &line = next();
              if (line.fields.value(0) != key || line.fields.size() < 4 || line.fields.size() > 5)
                  broken(line);
              text = line.fields[1];
              printed = value<float>(line, 2);
              full = value<double>(line, 3);
              error = optional_value(line, 4);
          };
    read_coefficient(kInitialVelocityKey, fit.initial_velocity_text, fit.initial_velocity, fit.statistics.intercept,
        fit.statistics.intercept_error);
    read_coefficient(
        kAccelerationKey, fit.acceleration_text, fit.acceleration, fit.statistics.slope, fit.statistics.slope_error);
    const Line &r2 = next();
    if (r2.fields.value(0) != kRSquaredKey || r2.fields.size() > 3 || !r2.fields.value(1).isEmpty())
        broken(r2);
    fit.statistics.r_squared = optional_value(r2, 2);
    const Line &points = next();
    if (points.fields.value(0) != kPointsKey || points.fields.size() != 3 || !points.fields[1].isEmpty())
        broken(points);
    fit.statistics.points = value<std::int32_t>(points, 2);
    blank();
    record.fit = fit;
}

}  // namespace

QByteArray write_measurement_csv(const MeasurementRecord &record)
{
    QByteArray out = kByteOrderMark;
    add_row(out, {kFileTitle, kLayout});
    add_row(out, {kProgramKey, record.program_name, record.program_version});
    add_row(out, {kSavedKey, record.saved_at.toString(kDateFormat)});
    add_row(out, QStringList{kSourceKey} + record.source);
    add_row(out, {kPeriodKey, QString::number(record.period_ms)});
    add_row(out, {kTimeKey, single_text(record.meas_time_s)});
    add_row(out, {kRateKey, single_text(record.sample_rate)});
    add_row(out, {kCountKey, QString::number(record.last_sample)});
    if (record.holes_per_section)
        add_row(out, {kHolesKey, QString::number(*record.holes_per_section)});
    add_row(out, {});

    add_row(out, {kSamplesTitle});
    add_row(out, kSampleColumns);
    for (std::size_t i = 0; i < record.samples.size(); ++i)
        add_row(out,
            {QString::number(i), double_text(static_cast<double>(i) / record.sample_rate),
                QString::number(record.samples[i])});
    add_row(out, {});

    if (record.holes_per_section) {
        add_row(out, {kSectionsTitle});
        add_row(out, kSectionColumns);
        for (std::size_t k = 0; k < record.sections.size(); ++k) {
            const SectionRow &section = record.sections[k];
            add_row(out,
                {QString::number(k + 1), single_text(section.mid_time_s), single_text(section.duration_s),
                    single_text(section.velocity_cm_s)});
        }
        add_row(out, {});
        add_row(out, {kBoundariesTitle});
        add_row(out, kBoundaryColumns);
        for (std::size_t k = 0; k < record.boundaries.size(); ++k)
            add_row(out,
                {QString::number(k), double_text(record.boundaries[k].time_s),
                    double_text(record.boundaries[k].distance_cm)});
        add_row(out, {});
        if (record.fit) {
            const FitRecord &fit = *record.fit;
            add_row(out, {kFitTitle});
            add_row(out, kFitColumns);
            add_row(out,
                {kInitialVelocityKey, fit.initial_velocity_text, single_text(fit.initial_velocity),
                    double_text(fit.statistics.intercept), optional_text(fit.statistics.intercept_error)});
            add_row(out,
                {kAccelerationKey, fit.acceleration_text, single_text(fit.acceleration),
                    double_text(fit.statistics.slope), optional_text(fit.statistics.slope_error)});
            add_row(out, {kRSquaredKey, QString(), optional_text(fit.statistics.r_squared)});
            add_row(out, {kPointsKey, QString(), QString::number(fit.statistics.points)});
            add_row(out, {});
        }
    }
    add_row(out, {kEndMark});
    return out;
}

ReadResult parse_measurement_csv(const QByteArray &bytes)
{
    QByteArray text = bytes;
    if (text.startsWith(kByteOrderMark))
        text.remove(0, kByteOrderMark.size());
    std::vector<Line> lines;
    QList<QByteArray> raw_lines = text.split('\n');
    if (!raw_lines.isEmpty() && raw_lines.last().isEmpty())
        raw_lines.removeLast();
    std::int32_t number = 0;
    for (QByteArray raw : raw_lines) {
        ++number;
        if (raw.endsWith('\r'))
            raw.chop(1);
        const QString decoded = QString::fromUtf8(raw);
        std::optional<QStringList> fields = split_fields(decoded);
        const bool broken = decoded.toUtf8() != raw || !fields;
        lines.push_back({number, fields.value_or(QStringList()), broken});
    }
    return Reader(std::move(lines)).read();
}

}  // namespace storage
