// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Qt's own texts in Japanese: the translation is found beside the program or in Qt's folder, and
// once loaded, Qt's dialogs and buttons answer in Japanese.

#include "qt_translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QTest>

class TestQtTranslation : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void found_beside_the_program_first();
    void qt_speaks_japanese_data();
    void qt_speaks_japanese();

private:
    QString installed_;
};

void TestQtTranslation::initTestCase()
{
    installed_ = QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath)).filePath(QStringLiteral("qtbase_ja.qm"));
    if (!QFile::exists(installed_))
        QSKIP("Qt's Japanese translation is not installed (Debian: qt6-translations-l10n)");
}

void TestQtTranslation::found_beside_the_program_first()
{
    QTemporaryDir program;
    QVERIFY(program.isValid());
    // Without a folder of its own, Qt's folder serves.
    QCOMPARE(find_qt_translation(program.path()), QFileInfo(installed_).absoluteFilePath());
    QVERIFY(QDir(program.path()).mkdir(QStringLiteral("translations")));
    const QString beside = program.filePath(QStringLiteral("translations/qtbase_ja.qm"));
    QVERIFY(QFile::copy(installed_, beside));
    QCOMPARE(find_qt_translation(program.path()), QFileInfo(beside).absoluteFilePath());
}

void TestQtTranslation::qt_speaks_japanese_data()
{
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("english");
    QTest::addColumn<QString>("japanese");
    QTest::newRow("file dialog") << QByteArray("QFileDialog") << QByteArray("Look in:") << "アドレス:";
    QTest::newRow("its save button") << QByteArray("QFileDialog") << QByteArray("&Save") << "保存(&S)";
    QTest::newRow("its replace prompt") << QByteArray("QFileDialog")
                                        << QByteArray("%1 already exists.\nDo you want to replace it?")
                                        << "%1 は既に存在します。\n置き換えますか?";
    QTest::newRow("print dialog") << QByteArray("QPrintDialog") << QByteArray("Print") << "印刷";
    QTest::newRow("standard button") << QByteArray("QPlatformTheme") << QByteArray("Cancel") << "キャンセル";
}

void TestQtTranslation::qt_speaks_japanese()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, english);
    QFETCH(QString, japanese);
    static const bool installed = install_qt_translation(QCoreApplication::applicationDirPath());
    QVERIFY(installed);
    QCOMPARE(QCoreApplication::translate(context.constData(), english.constData()), japanese);
}

QTEST_GUILESS_MAIN(TestQtTranslation)
#include "tst_qt_translation.moc"
