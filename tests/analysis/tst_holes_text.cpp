// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The holes per section as typed into its text box.

#include "analysis/holes_text.h"

#include <QTest>

#include <string>

class TestHolesText : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestHolesText::parse_data()
{
    QTest::addColumn<QByteArray>("text");  // UTF-8
    QTest::addColumn<int>("holes");        // 0: rejected

    // Accepted forms.
    QTest::newRow("plain digit") << QByteArray("3") << 3;
    QTest::newRow("blanks around") << QByteArray(" 3 ") << 3;
    QTest::newRow("tabs around") << QByteArray("\t10\t") << 10;
    QTest::newRow("full-width digit") << QByteArray("３") << 3;
    QTest::newRow("full-width digits in ideographic spaces") << QByteArray("\u3000１２\u3000") << 12;
    QTest::newRow("full-width sign and point") << QByteArray("＋３．５") << 4;
    QTest::newRow("plus sign") << QByteArray("+7") << 7;
    QTest::newRow("leading zeros") << QByteArray("007") << 7;
    QTest::newRow("point without decimals") << QByteArray("3.") << 3;
    QTest::newRow("decimals without whole part") << QByteArray(".7") << 1;
    QTest::newRow("largest") << QByteArray("32767") << 32767;

    // Rounding to the nearest integer, halves to even.
    QTest::newRow("1.4 rounds down") << QByteArray("1.4") << 1;
    QTest::newRow("1.5 rounds to even 2") << QByteArray("1.5") << 2;
    QTest::newRow("2.5 rounds to even 2") << QByteArray("2.5") << 2;
    QTest::newRow("3.5 rounds to even 4") << QByteArray("3.5") << 4;
    QTest::newRow("2.51 rounds up") << QByteArray("2.51") << 3;
    QTest::newRow("32766.5 rounds to even 32766") << QByteArray("32766.5") << 32766;
    QTest::newRow("32767.4 rounds into range") << QByteArray("32767.4") << 32767;

    // Rejected.
    QTest::newRow("empty") << QByteArray("") << 0;
    QTest::newRow("blanks only") << QByteArray(" \t\u3000") << 0;
    QTest::newRow("letters") << QByteArray("abc") << 0;
    QTest::newRow("digit then letter") << QByteArray("3a") << 0;
    QTest::newRow("letter then digit") << QByteArray("a3") << 0;
    QTest::newRow("full-width letter") << QByteArray("３ｘ") << 0;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("0.5 rounds to even 0") << QByteArray("0.5") << 0;
    QTest::newRow("negative") << QByteArray("-1") << 0;
    QTest::newRow("full-width negative") << QByteArray("－１") << 0;
    QTest::newRow("small negative rounds to 0") << QByteArray("-0.4") << 0;
    QTest::newRow("one too many") << QByteArray("32768") << 0;
    QTest::newRow("32767.5 rounds to even 32768") << QByteArray("32767.5") << 0;
    QTest::newRow("beyond a double") << QByteArray(std::string(400, '9').c_str()) << 0;
    QTest::newRow("exponent") << QByteArray("1e1") << 0;
    QTest::newRow("infinity word") << QByteArray("inf") << 0;
    QTest::newRow("not-a-number word") << QByteArray("nan") << 0;
    QTest::newRow("hexadecimal") << QByteArray("0x10") << 0;
    QTest::newRow("blank inside") << QByteArray("3 4") << 0;
    QTest::newRow("blank after sign") << QByteArray("- 3") << 0;
    QTest::newRow("two signs") << QByteArray("+-3") << 0;
    QTest::newRow("two points") << QByteArray("1.2.3") << 0;
    QTest::newRow("point only") << QByteArray(".") << 0;
    QTest::newRow("sign only") << QByteArray("+") << 0;
    QTest::newRow("comma as decimal point") << QByteArray("2,5") << 0;
    QTest::newRow("invalid UTF-8 byte") << QByteArray("\xff"
                                                      "3")
                                        << 0;
    QTest::newRow("truncated UTF-8 sequence") << QByteArray("3\xef\xbc") << 0;
    QTest::newRow("overlong encoding of a digit") << QByteArray("\xc0\xb3") << 0;
}

void TestHolesText::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(int, holes);

    const std::optional<std::int16_t> parsed
        = analysis::parse_holes_per_section(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
    if (holes == 0) {
        QVERIFY2(!parsed, qPrintable(QStringLiteral("accepted as %1").arg(parsed.value_or(0))));
    } else {
        QVERIFY(parsed.has_value());
        QCOMPARE(*parsed, static_cast<std::int16_t>(holes));
    }
}

QTEST_GUILESS_MAIN(TestHolesText)
#include "tst_holes_text.moc"
