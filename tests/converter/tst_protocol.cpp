// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The converter protocol on the recording fake: the exact line sequence of a reading, the way the
// two inputs become a reading, the bounded waits, and the port's open and close.

#include "converter/converter.h"
#include "recording_lines.h"

#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

using converter::LineOp;
using converter::ModemStatus;

namespace converter {

// A log in short form for the failure messages of QCOMPARE: O open, C close, R/r RTS asserted or
// de-asserted, D/d the same for DTR, ? a status query.
char *toString(const std::vector<LineOp> &log)
{
    QByteArray text;
    for (LineOp op : log) {
        switch (op) {
        case LineOp::Open:
            text += 'O';
            break;
        case LineOp::Close:
            text += 'C';
            break;
        case LineOp::SetRts:
            text += 'R';
            break;
        case LineOp::ClearRts:
            text += 'r';
            break;
        case LineOp::SetDtr:
            text += 'D';
            break;
        case LineOp::ClearDtr:
            text += 'd';
            break;
        case LineOp::QueryStatus:
            text += '?';
            break;
        }
    }
    return qstrdup(text.constData());
}

}  // namespace converter

namespace {

constexpr int kNeverReady = 0;  // a status that never comes: every wait runs its 21 pulses

// The status answers of one conversion: CTS stays de-asserted until the `ready_after`-th wait
// query (kNeverReady: never), then the eight data bits of `value`, most significant first, on DSR
// (not asserted = 1).
std::vector<ModemStatus> conversion_answers(int ready_after, int value)
{
    std::vector<ModemStatus> answers;
    const int wait_queries = ready_after == kNeverReady ? 21 : ready_after;
    for (int query = 1; query <= wait_queries; ++query)
        answers.push_back({query == ready_after, false});
    for (int bit = 7; bit >= 0; --bit)
        answers.push_back({false, ((value >> bit) & 1) == 0});
    return answers;
}

// The line operations that one conversion must make, written out from the protocol: the wait
// (pulse, query) k times, four header bits each put on DTR and clocked, eight data bits each
// clocked and then queried, three trailer pulses.
std::vector<LineOp> conversion_ops(int wait_pulses, bool polarity_asserted, bool channel_asserted)
{
    const std::vector<LineOp> pulse = {LineOp::ClearRts, LineOp::SetRts};
    std::vector<LineOp> ops;
    auto add = [&ops](std::initializer_list<LineOp> more) { ops.insert(ops.end(), more); };
    auto add_pulse = [&] { ops.insert(ops.end(), pulse.begin(), pulse.end()); };
    for (int k = 0; k < wait_pulses; ++k) {
        add_pulse();
        add({LineOp::QueryStatus});
    }
    add({LineOp::ClearDtr});
    add_pulse();
    add({LineOp::SetDtr});
    add_pulse();
    add({polarity_asserted ? LineOp::SetDtr : LineOp::ClearDtr});
    add_pulse();
    add({channel_asserted ? LineOp::SetDtr : LineOp::ClearDtr});
    add_pulse();
    for (int bit = 0; bit < 8; ++bit) {
        add_pulse();
        add({LineOp::QueryStatus});
    }
    for (int k = 0; k < 3; ++k)
        add_pulse();
    return ops;
}

// DTR's level at every rising clock edge (the moment the converter takes a header bit), replayed
// from the log. DTR counts as de-asserted before it is first set.
std::vector<bool> dtr_at_clock_edges(const std::vector<LineOp> &log)
{
    std::vector<bool> levels;
    bool dtr = false;
    for (LineOp op : log) {
        if (op == LineOp::SetDtr || op == LineOp::ClearDtr)
            dtr = op == LineOp::SetDtr;
        else if (op == LineOp::SetRts)
            levels.push_back(dtr);
    }
    return levels;
}

int count(const std::vector<LineOp> &log, LineOp wanted)
{
    return static_cast<int>(std::count(log.begin(), log.end(), wanted));
}

// Clock pulses in a log: each is a de-assertion of RTS followed by its assertion.
int clock_pulses(const std::vector<LineOp> &log)
{
    int pulses = 0;
    for (std::size_t i = 0; i + 1 < log.size(); ++i)
        if (log[i] == LineOp::ClearRts && log[i + 1] == LineOp::SetRts)
            ++pulses;
    return pulses;
}

// Operations on the output lines (each pulse is two).
int output_line_ops(const std::vector<LineOp> &log)
{
    return count(log, LineOp::SetRts) + count(log, LineOp::ClearRts) + count(log, LineOp::SetDtr)
        + count(log, LineOp::ClearDtr);
}

}  // namespace

class TestProtocol : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void line_sequence_of_one_reading_data();
    void line_sequence_of_one_reading();
    void reading_from_the_two_passes_data();
    void reading_from_the_two_passes();
    void header_bits_at_the_clock_edges_data();
    void header_bits_at_the_clock_edges();
    void channel_level_during_the_data_bits_data();
    void channel_level_during_the_data_bits();
    void wait_for_the_status_data();
    void wait_for_the_status();
    void init_converter_waits_data();
    void init_converter_waits();
    void missing_converter_reads_255_data();
    void missing_converter_reads_255();
    void output_levels_persist_between_readings();
    void open_port_twice_leaves_one_port_open();
    void open_port_after_a_failed_open();
    void open_port_reports_a_refused_open();
    void close_port_when_nothing_is_open();
    void use_lines_closes_the_port_on_the_old_lines();

private:
    std::unique_ptr<converter::RecordingLines> fake_;
    std::unique_ptr<converter::LineConverter> converter_;
};

void TestProtocol::init()
{
    fake_ = std::make_unique<converter::RecordingLines>();
    converter_ = std::make_unique<converter::LineConverter>(*fake_);
}

void TestProtocol::cleanup()
{
    // The converter closes a port still open on the fake before the fake goes.
    converter_.reset();
    fake_.reset();
}

void TestProtocol::line_sequence_of_one_reading_data()
{
    QTest::addColumn<int>("ready_after");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("wait_pulses");

    QTest::newRow("ready at the first wait pulse, channel 0") << 1 << 0 << 1;
    QTest::newRow("ready at the fifth wait pulse, channel 0") << 5 << 0 << 5;
    QTest::newRow("ready at the 21st wait pulse, channel 1") << 21 << 1 << 21;
    QTest::newRow("never ready, channel 0") << kNeverReady << 0 << 21;
}

void TestProtocol::line_sequence_of_one_reading()
{
    QFETCH(int, ready_after);
    QFETCH(int, channel);
    QFETCH(int, wait_pulses);

    QVERIFY(converter_->open_port("COM1"));
    const auto answers = conversion_answers(ready_after, 200);
    fake_->answers.assign(answers.begin(), answers.end());
    fake_->log.clear();

    QCOMPARE(converter_->read_converter(static_cast<std::int16_t>(channel)), std::int16_t{200});
    QCOMPARE(fake_->log, conversion_ops(wait_pulses, true, channel == 0));
    QVERIFY(fake_->answers.empty());
}

void TestProtocol::reading_from_the_two_passes_data()
{
    QTest::addColumn<int>("pass0");
    QTest::addColumn<int>("pass1");
    QTest::addColumn<int>("reading");
    QTest::addColumn<int>("passes");

    QTest::newRow("200 in pass 0 gives 200, no second pass") << 200 << 99 << 200 << 1;
    QTest::newRow("1 in pass 0 gives 1") << 1 << 99 << 1 << 1;
    QTest::newRow("255 in pass 0 gives 255") << 255 << 99 << 255 << 1;
    QTest::newRow("128 in pass 0 gives 128 (top bit)") << 128 << 99 << 128 << 1;
    QTest::newRow("0 then 37 gives -37") << 0 << 37 << -37 << 2;
    QTest::newRow("0 then 255 gives -255") << 0 << 255 << -255 << 2;
    QTest::newRow("0 then 1 gives -1") << 0 << 1 << -1 << 2;
    QTest::newRow("0 then 0 gives 0") << 0 << 0 << 0 << 2;
}

void TestProtocol::reading_from_the_two_passes()
{
    QFETCH(int, pass0);
    QFETCH(int, pass1);
    QFETCH(int, reading);
    QFETCH(int, passes);

    QVERIFY(converter_->open_port("COM1"));
    // Both conversions are scripted; a reading that stops after pass 0 leaves pass 1's answers.
    for (const auto &answers : {conversion_answers(1, pass0), conversion_answers(1, pass1)})
        fake_->answers.insert(fake_->answers.end(), answers.begin(), answers.end());
    fake_->log.clear();

    QCOMPARE(converter_->read_converter(0), static_cast<std::int16_t>(reading));
    QCOMPARE(count(fake_->log, LineOp::QueryStatus), 9 * passes);
    QCOMPARE(fake_->answers.size(), std::size_t(9 * (2 - passes)));
    std::vector<LineOp> expected = conversion_ops(1, true, true);
    if (passes == 2) {
        const std::vector<LineOp> second = conversion_ops(1, false, true);
        expected.insert(expected.end(), second.begin(), second.end());
    }
    QCOMPARE(fake_->log, expected);
}

void TestProtocol::header_bits_at_the_clock_edges_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("pass0");
    // DTR at the four header edges of each pass, as 0/1 (start, select, polarity, channel).
    QTest::addColumn<QList<int>>("pass0_header");
    QTest::addColumn<QList<int>>("pass1_header");

    QTest::newRow("channel 0, one pass") << 0 << 200 << QList<int>{0, 1, 1, 1} << QList<int>{};
    QTest::newRow("channel 0, second pass with inverted polarity")
        << 0 << 0 << QList<int>{0, 1, 1, 1} << QList<int>{0, 1, 0, 1};
    QTest::newRow("channel 1, one pass") << 1 << 17 << QList<int>{0, 1, 1, 0} << QList<int>{};
    QTest::newRow("channel 1, second pass with inverted polarity")
        << 1 << 0 << QList<int>{0, 1, 1, 0} << QList<int>{0, 1, 0, 0};
}

void TestProtocol::header_bits_at_the_clock_edges()
{
    QFETCH(int, channel);
    QFETCH(int, pass0);
    QFETCH(QList<int>, pass0_header);
    QFETCH(QList<int>, pass1_header);

    QVERIFY(converter_->open_port("COM1"));
    // Three wait pulses in each pass, so the header edges are 4..7 and, in pass 1, 23..26.
    for (const auto &answers : {conversion_answers(3, pass0), conversion_answers(3, 5)})
        fake_->answers.insert(fake_->answers.end(), answers.begin(), answers.end());
    fake_->log.clear();
    converter_->read_converter(static_cast<std::int16_t>(channel));

    const std::vector<bool> edges = dtr_at_clock_edges(fake_->log);
    const int pass_pulses = 3 + 15;
    QCOMPARE(edges.size(), std::size_t(pass_pulses * (pass1_header.empty() ? 1 : 2)));
    auto header = [&edges](int first_edge) {
        QList<int> bits;
        for (int edge = first_edge; edge < first_edge + 4; ++edge)
            bits.push_back(edges[static_cast<std::size_t>(edge)] ? 1 : 0);
        return bits;
    };
    QCOMPARE(header(3), pass0_header);
    if (!pass1_header.empty())
        QCOMPARE(header(pass_pulses + 3), pass1_header);
}

void TestProtocol::channel_level_during_the_data_bits_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("pass0");
    QTest::addColumn<bool>("dtr_asserted");

    QTest::newRow("channel 0 leaves DTR asserted") << 0 << 200 << true;
    QTest::newRow("channel 0, two passes, leaves DTR asserted") << 0 << 0 << true;
    QTest::newRow("channel 1 leaves DTR de-asserted") << 1 << 200 << false;
    QTest::newRow("channel 1, two passes, leaves DTR de-asserted") << 1 << 0 << false;
    QTest::newRow("channel 7 counts as not 0") << 7 << 200 << false;
    QTest::newRow("channel -1 counts as not 0") << -1 << 200 << false;
}

void TestProtocol::channel_level_during_the_data_bits()
{
    QFETCH(int, channel);
    QFETCH(int, pass0);
    QFETCH(bool, dtr_asserted);

    QVERIFY(converter_->open_port("COM1"));
    for (const auto &answers : {conversion_answers(1, pass0), conversion_answers(1, 3)})
        fake_->answers.insert(fake_->answers.end(), answers.begin(), answers.end());
    converter_->read_converter(static_cast<std::int16_t>(channel));

    // Queries 0 and 9 are the waits; 1..8 and 10..17 the data bits.
    const std::vector<bool> &levels = fake_->dtr_at_query;
    QCOMPARE(levels.size(), std::size_t(pass0 == 0 ? 18 : 9));
    for (std::size_t query = 0; query < levels.size(); ++query) {
        if (query % 9 != 0)
            QCOMPARE(levels[query], dtr_asserted);
    }
    QCOMPARE(fake_->dtr_asserted, dtr_asserted);
}

void TestProtocol::wait_for_the_status_data()
{
    QTest::addColumn<int>("ready_after");
    QTest::addColumn<int>("wait_pulses");

    QTest::newRow("CTS asserted after the first pulse: one pulse") << 1 << 1;
    QTest::newRow("CTS asserted after the second pulse: two pulses") << 2 << 2;
    QTest::newRow("CTS asserted after the tenth pulse: ten pulses") << 10 << 10;
    QTest::newRow("CTS asserted after the 21st pulse: 21 pulses") << 21 << 21;
    QTest::newRow("CTS never asserted: 21 pulses") << kNeverReady << 21;
}

void TestProtocol::wait_for_the_status()
{
    QFETCH(int, ready_after);
    QFETCH(int, wait_pulses);

    QVERIFY(converter_->open_port("COM1"));
    const auto answers = conversion_answers(ready_after, 77);
    fake_->answers.assign(answers.begin(), answers.end());
    fake_->log.clear();
    QCOMPARE(converter_->read_converter(0), std::int16_t{77});

    const auto first_header_bit = std::find(fake_->log.begin(), fake_->log.end(), LineOp::ClearDtr);
    const std::vector<LineOp> wait(fake_->log.begin(), first_header_bit);
    QCOMPARE(clock_pulses(wait), wait_pulses);
    QCOMPARE(count(wait, LineOp::QueryStatus), wait_pulses);

    // A pass with k wait pulses: k + 15 clock pulses, 2k + 34 line operations, k + 8 queries.
    QCOMPARE(clock_pulses(fake_->log), wait_pulses + 15);
    QCOMPARE(output_line_ops(fake_->log), 2 * wait_pulses + 34);
    QCOMPARE(count(fake_->log, LineOp::QueryStatus), wait_pulses + 8);
}

void TestProtocol::init_converter_waits_data()
{
    QTest::addColumn<QList<int>>("cts_levels");  // CTS at each query, 0/1; idle CTS after them
    QTest::addColumn<bool>("idle_cts");
    QTest::addColumn<int>("first_loop");
    QTest::addColumn<int>("second_loop");
    QTest::addColumn<bool>("answered");  // both waits saw the level they waited for

    QTest::newRow("CTS asserted all the time: 1 then 21 pulses, never returns to busy")
        << QList<int>{} << true << 1 << 21 << false;
    QTest::newRow("CTS never asserted: 21 then 1 pulses, never ready") << QList<int>{} << false << 21 << 1 << false;
    QTest::newRow("CTS asserted at the 3rd query, dropped at the 4th after: 3 then 4 pulses")
        << QList<int>{0, 0, 1, 1, 1, 1, 0} << false << 3 << 4 << true;
    QList<int> late(20, 0);
    late << 1 << 1 << 1 << 1 << 1 << 1;
    QTest::newRow("CTS asserted at the 21st query, dropped 6 queries later: 21 then 6 pulses")
        << late << false << 21 << 6 << true;
    QList<int> too_late(21, 0);
    too_late << 1;
    QTest::newRow("CTS asserted only at the 22nd query: the first wait ran out")
        << too_late << false << 21 << 2 << false;
}

void TestProtocol::init_converter_waits()
{
    QFETCH(QList<int>, cts_levels);
    QFETCH(bool, idle_cts);
    QFETCH(int, first_loop);
    QFETCH(int, second_loop);
    QFETCH(bool, answered);

    QVERIFY(converter_->open_port("COM1"));
    for (int cts : cts_levels)
        fake_->answers.push_back({cts != 0, false});
    fake_->idle_answer = {idle_cts, false};
    fake_->log.clear();
    QCOMPARE(converter_->init_converter(), answered);
    QCOMPARE(converter_->line_failures(), std::uint64_t{0});

    // Each loop is (pulse, query) repeated; DTR is not touched.
    std::vector<LineOp> expected;
    for (int pulse = 0; pulse < first_loop + second_loop; ++pulse)
        expected.insert(expected.end(), {LineOp::ClearRts, LineOp::SetRts, LineOp::QueryStatus});
    QCOMPARE(fake_->log, expected);
    QCOMPARE(count(fake_->log, LineOp::QueryStatus), first_loop + second_loop);
}

void TestProtocol::missing_converter_reads_255_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("fail_open");
    QTest::addColumn<bool>("fail_lines");

    QTest::newRow("port never opened") << false << false << false;
    QTest::newRow("open refused") << true << true << false;
    QTest::newRow("every line operation fails") << true << false << true;
}

void TestProtocol::missing_converter_reads_255()
{
    QFETCH(bool, open);
    QFETCH(bool, fail_open);
    QFETCH(bool, fail_lines);

    fake_->fail_open = fail_open;
    fake_->fail_lines = fail_lines;
    // Answers a converter would give: they must not be heard when the lines do not work.
    fake_->idle_answer = {true, true};
    if (open)
        converter_->open_port("COM1");
    QVERIFY(!converter_->init_converter());
    for (int reading = 0; reading < 3; ++reading) {
        fake_->log.clear();
        QCOMPARE(converter_->read_converter(0), std::int16_t{255});
        // One pass only, with its wait at the full 21 pulses: 36 pulses and 29 queries.
        QCOMPARE(clock_pulses(fake_->log), 36);
        QCOMPARE(count(fake_->log, LineOp::QueryStatus), 29);
        QCOMPARE(fake_->log, conversion_ops(21, true, true));
    }
    // Every operation on lines that fail is counted: the preparation's 21 pulses with their
    // queries and the one pulse of its second wait, then 72 line changes, 29 queries and 4 header
    // levels a reading.
    const std::uint64_t expected_failures = fail_lines ? 22 * 3 + 3 * (72 + 29 + 4) : 0;
    if (open && !fail_open)
        QCOMPARE(converter_->line_failures(), expected_failures);
}

void TestProtocol::output_levels_persist_between_readings()
{
    // The link keeps no record of the line levels: the next reading starts with a pulse, not by
    // setting DTR or RTS to a level first.
    QVERIFY(converter_->open_port("COM1"));
    fake_->idle_answer = {true, false};
    converter_->read_converter(0);
    fake_->log.clear();
    converter_->read_converter(1);
    QCOMPARE(fake_->log.front(), LineOp::ClearRts);
    QVERIFY(!fake_->dtr_asserted);
    fake_->log.clear();
    converter_->read_converter(0);
    QCOMPARE(fake_->log.front(), LineOp::ClearRts);
    QVERIFY(fake_->dtr_asserted);
    QCOMPARE(fake_->log.back(), LineOp::SetRts);
}

void TestProtocol::open_port_twice_leaves_one_port_open()
{
    QVERIFY(converter_->open_port("COM1"));
    const converter::PortHandle first = converter_->port_handle();
    QVERIFY(converter_->open_port("COM1"));
    QVERIFY(converter_->port_handle() != converter::kInvalidPort);
    QVERIFY(converter_->port_handle() != first);
    QCOMPARE(fake_->log, (std::vector<LineOp>{LineOp::Open, LineOp::Close, LineOp::Open}));
    QCOMPARE(fake_->opened_names, (std::vector<std::string>{"COM1", "COM1"}));
    QVERIFY(fake_->is_open);
}

void TestProtocol::open_port_after_a_failed_open()
{
    // A failed open leaves nothing open, so the next open has nothing to close.
    fake_->fail_open = true;
    QVERIFY(!converter_->open_port("COM1"));
    fake_->fail_open = false;
    QVERIFY(converter_->open_port("COM1"));
    QCOMPARE(fake_->log, (std::vector<LineOp>{LineOp::Open, LineOp::Open}));
}

void TestProtocol::open_port_reports_a_refused_open()
{
    QVERIFY(converter_->open_port("COM1"));
    fake_->fail_open = true;
    QVERIFY(!converter_->open_port("COM1"));
    QCOMPARE(converter_->port_handle(), converter::kInvalidPort);
    QCOMPARE(fake_->log, (std::vector<LineOp>{LineOp::Open, LineOp::Close, LineOp::Open}));
    QVERIFY(!fake_->is_open);
}

void TestProtocol::close_port_when_nothing_is_open()
{
    converter_->close_port();
    QVERIFY(fake_->log.empty());
    QCOMPARE(converter_->port_handle(), converter::kInvalidPort);

    QVERIFY(converter_->open_port("COM1"));
    converter_->close_port();
    converter_->close_port();
    QCOMPARE(fake_->log, (std::vector<LineOp>{LineOp::Open, LineOp::Close}));
    QCOMPARE(converter_->port_handle(), converter::kInvalidPort);
}

void TestProtocol::use_lines_closes_the_port_on_the_old_lines()
{
    QVERIFY(converter_->open_port("COM1"));
    converter::RecordingLines other;
    converter_->use_lines(other);
    QCOMPARE(fake_->log, (std::vector<LineOp>{LineOp::Open, LineOp::Close}));
    QCOMPARE(converter_->port_handle(), converter::kInvalidPort);
    QCOMPARE(&converter_->current_lines(), static_cast<converter::SerialLines *>(&other));
    converter_->use_lines(*fake_);
    QVERIFY(other.log.empty());
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
