// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The lesson kept in its database: back after a killed program with every change (a run's range
// among them), a run or a database that cannot be read set aside by itself, the lesson last changed
// brought back whatever was made after it, two copies of the program at once, the lessons kept, a
// folder that cannot be written, and the lessons of earlier versions read in once.

#include "converter/simulated_stamps.h"
#include "lesson/lesson.h"
#include "lesson/lesson_store.h"
#include "lesson_runs.h"
#include "storage/csv_fields.h"
#include "storage/file_io.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using test_support::simulated_run;

namespace {

const QString kDatabase = QStringLiteral("lessons.sqlite");

// A statement on the database as another program would run it; the first value of its first row.
QVariant on_database(const QString &folder, const QString &statement)
{
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("test"));
        db.setDatabaseName(QDir(folder).filePath(kDatabase));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(statement) && query.next())
                value = query.value(0);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("test"));
    return value;
}

// A run of 80 cm/s² from a board that stamped its edges.
LessonRun stamped_run()
{
    LessonRun run = simulated_run(80);
    run.recording.stamps.stamped = true;
    run.recording.stamps.edges
        = converter::simulated_stamps(converter::SimulatedCart(converter::CartMotion{20, 80, 0.05}), 0, 1'000'000);
    return run;
}

// The program that is killed after its changes: each is on disk once made, nothing more.
void killed_program(const QString &folder)
{
    Lesson lesson;
    LessonStore keeper(lesson, folder);
    keeper.restore();
    lesson.add(simulated_run(40));
    lesson.add(stamped_run());
    lesson.set_range(0, common::TimeRange{0.2, 0.6});
    lesson.set_value(0, 1.0);
    lesson.set_memo(1, QStringLiteral("2 個, 速い"));
    lesson.set_group(1, QStringLiteral("3班"));
    lesson.set_condition(QStringLiteral("おもりの数"), QStringLiteral("個"));
    // The last change before the kill: 穴数 typed in the table.
    lesson.set_holes(1, 3);
}

}  // namespace

class TestLessonStore : public QObject {
    Q_OBJECT

private slots:
    void kept_lesson_comes_back_data();
    void kept_lesson_comes_back();
    void two_copies_at_once();
    void lessons_kept_data();
    void lessons_kept();
    void a_folder_that_cannot_be_written();
    void earlier_folders_read_once();
};

void TestLessonStore::kept_lesson_comes_back_data()
{
    QTest::addColumn<QString>("spoil");  // a statement on the database, or what happens to its file
    QTest::addColumn<int>("runs");       // the runs the new start has
    QTest::addColumn<QList<int>>("notes");

    const int back = static_cast<int>(KeeperNote::Kind::BroughtBack);
    const int run_aside = static_cast<int>(KeeperNote::Kind::RunSetAside);
    const int aside = static_cast<int>(KeeperNote::Kind::DatabaseSetAside);
    QTest::newRow("as the killed program left it") << QString() << 2 << QList<int>{back};
    QTest::newRow("one run that cannot be read")
        << QStringLiteral("UPDATE runs SET file = x'00ff' WHERE place = 0") << 1 << QList<int>{back, run_aside};
    QTest::newRow("a run with no holes") << QStringLiteral("UPDATE runs SET holes = 0 WHERE place = 0") << 1
                                         << QList<int>{back, run_aside};
    // The range kept in its file ends after the 1 s of its readings.
    QTest::newRow("a run whose range lies past its readings") << QStringLiteral(
        "UPDATE runs SET file = CAST(replace(CAST(file AS TEXT), '範囲(s),0.2,0.6', "
        "'範囲(s),0.2,1.5') AS BLOB) WHERE place = 0") << 1 << QList<int>{back, run_aside};
    // Stamps no board sends: a fall after a fall.
    QTest::newRow("a run whose edges do not alternate") << QStringLiteral(
        "UPDATE runs SET file = CAST(replace(CAST(file AS TEXT), ',上がり,', ',下がり,') AS BLOB) "
        "WHERE place = 1") << 1 << QList<int>{back, run_aside};
    QTest::newRow("a database of a newer layout")
        << QStringLiteral("PRAGMA user_version = 2") << 0 << QList<int>{aside};
    QTest::newRow("a database of another program")
        << QStringLiteral("PRAGMA application_id = 7") << 0 << QList<int>{aside};
    QTest::newRow("a file that is no database") << QStringLiteral("garbage") << 0 << QList<int>{aside};
}

void TestLessonStore::kept_lesson_comes_back()
{
    QFETCH(QString, spoil);
    QFETCH(int, runs);
    QFETCH(QList<int>, notes);

    QTemporaryDir data;
    killed_program(data.path());
    const QString path = QDir(data.path()).filePath(kDatabase);
    if (spoil == QStringLiteral("garbage")) {
        for (const QString &file : {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")})
            QFile::remove(file);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    } else if (!spoil.isEmpty()) {
        on_database(data.path(), spoil);
    }

    Lesson lesson;
    LessonStore keeper(lesson, data.path());
    keeper.restore();
    QList<int> kinds;
    for (const KeeperNote &note : keeper.notes())
        kinds << static_cast<int>(note.kind);
    QCOMPARE(kinds, notes);
    QCOMPARE(static_cast<int>(lesson.runs().size()), runs);
    if (runs == 2) {
        QCOMPARE(keeper.notes().front().count, 2);
        QCOMPARE(lesson.runs()[0].value, std::optional<double>(1.0));
        QCOMPARE(lesson.runs()[1].memo, QStringLiteral("2 個, 速い"));
        QCOMPARE(lesson.runs()[1].group, QStringLiteral("3班"));
        QCOMPARE(lesson.runs()[1].holes, std::int16_t{3});
        QCOMPARE(lesson.runs()[1].recording.stamps.edges, stamped_run().recording.stamps.edges);
        QVERIFY(lesson.runs()[0].recording.stamps.edges.empty() && !lesson.runs()[0].recording.stamps.stamped);
        QCOMPARE(lesson.runs()[0].range, (std::optional<common::TimeRange>{{0.2, 0.6}}));
        QCOMPARE(lesson.runs()[1].range, std::nullopt);
        QCOMPARE(lesson.condition_name(), QStringLiteral("おもりの数"));
    } else if (runs == 1 && lesson.runs()[0].memo.isEmpty()) {
        // The run that can be read is the first; the note names the second.
        QCOMPARE(lesson.runs()[0].value, std::optional<double>(1.0));
        QCOMPARE(keeper.notes()[1].count, 2);
    } else if (runs == 1) {
        // The run that can be read is the second; the note names the first.
        QCOMPARE(lesson.runs()[0].memo, QStringLiteral("2 個, 速い"));
        QCOMPARE(keeper.notes()[1].count, 1);
    } else {
        // Set aside under another name, never deleted, and a new database in its place.
        QVERIFY(QFileInfo::exists(path + QStringLiteral(".読めない")));
        QCOMPARE(keeper.notes().front().path, QDir::toNativeSeparators(path + QStringLiteral(".読めない")));
        lesson.add(simulated_run(40));
        QCOMPARE(on_database(data.path(), QStringLiteral("SELECT count(*) FROM runs")).toInt(), 1);
    }
}

void TestLessonStore::two_copies_at_once()
{
    QTemporaryDir data;
    killed_program(data.path());
    Lesson first_lesson;
    LessonStore first(first_lesson, data.path());
    first.restore();
    QVERIFY(!first.read_only());

    // The second copy shows the same lesson, read-only, and says so.
    Lesson second_lesson;
    LessonStore second(second_lesson, data.path());
    second.restore();
    QVERIFY(second.read_only());
    QCOMPARE(second_lesson.runs().size(), std::size_t{2});
    QCOMPARE(second.notes().back().kind, KeeperNote::Kind::ReadOnly);
    // What it measures goes into a lesson of its own.
    second.make_writable();
    QVERIFY(!second.read_only());
    QVERIFY(second.lesson_key() != first.lesson_key());
    second_lesson.add(simulated_run(120));
    // The first copy goes on with its own: its change comes last.
    first_lesson.set_value(1, 2.0);

    Lesson next_lesson;
    LessonStore next(next_lesson, data.path());
    QCOMPARE(on_database(data.path(), QStringLiteral("SELECT count(*) FROM runs")).toInt(), 3);
    // Both copies still run: the lesson last changed is brought back, read-only.
    next.restore();
    QVERIFY(next.read_only());
    QCOMPARE(next_lesson.runs().size(), std::size_t{2});
    QCOMPARE(next_lesson.runs()[1].value, std::optional<double>(2.0));
}

void TestLessonStore::lessons_kept_data()
{
    QTest::addColumn<int>("lessons");
    QTest::addColumn<int>("kept");

    QTest::newRow("as many as are kept") << 20 << 20;
    QTest::newRow("one more than are kept") << 21 << 20;
}

void TestLessonStore::lessons_kept()
{
    QFETCH(int, lessons);
    QFETCH(int, kept);
    QTemporaryDir data;
    Lesson lesson;
    LessonStore keeper(lesson, data.path());
    keeper.restore();
    std::int64_t first = keeper.lesson_key();
    lesson.add(simulated_run(40));
    // The first lesson was changed last of all before the others began: the oldest to be made is not
    // the one to go when it is not the least recently changed.
    for (int n = 1; n < lessons; ++n)
        keeper.start_new();
    QCOMPARE(on_database(data.path(), QStringLiteral("SELECT count(*) FROM lessons")).toInt(), kept);
    const bool first_kept
        = on_database(data.path(), QStringLiteral("SELECT count(*) FROM lessons WHERE id = %1").arg(first)).toInt()
        == 1;
    QCOMPARE(first_kept, lessons == kept);
    // The lesson in use is never pruned.
    QCOMPARE(
        on_database(data.path(), QStringLiteral("SELECT count(*) FROM lessons WHERE id = %1").arg(keeper.lesson_key()))
            .toInt(),
        1);
}

void TestLessonStore::a_folder_that_cannot_be_written()
{
    // A file where the data folder should be: nothing can be kept under it.
    QTemporaryDir data;
    const QString blocked = QDir(data.path()).filePath(QStringLiteral("not-a-folder"));
    QFile file(blocked);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    Lesson lesson;
    LessonStore keeper(lesson, blocked);
    QSignalSpy told(&keeper, &LessonStore::keeping_failed);
    keeper.restore();
    lesson.add(simulated_run(40));
    lesson.set_value(0, 2.0);
    // Said once, and the lesson goes on in memory.
    QCOMPARE(told.count(), 1);
    QCOMPARE(lesson.runs().size(), std::size_t{1});
    QCOMPARE(lesson.runs()[0].value, std::optional<double>(2.0));
}

void TestLessonStore::earlier_folders_read_once()
{
    QTemporaryDir data;
    const QDir folder(QDir(data.path()).filePath(QStringLiteral("lessons/20261208-101500-000")));
    QVERIFY(folder.mkpath(QStringLiteral(".")));
    const LessonRun run = simulated_run(80);
    QVERIFY(!storage::save_whole_file(folder.filePath(QStringLiteral("run-1.csv")),
        storage::write_measurement_csv(
            record_of_recording(run.recording, run.origin, QDateTime(QDate(2026, 12, 8), QTime(10, 15)), 2))));
    QByteArray index("\xEF\xBB\xBF");
    for (const QStringList &row :
        std::vector<QStringList>{{QStringLiteral("運動の解析 授業の控え"), QStringLiteral("1")},
            {QStringLiteral("条件の名前"), QStringLiteral("台車の質量")},
            {QStringLiteral("単位"), QStringLiteral("kg")}, {QStringLiteral("横軸"), QStringLiteral("1/x")},
            {QStringLiteral("原点を通る"), QStringLiteral("いいえ")},
            {QStringLiteral("計測"), QStringLiteral("run-1.csv"), QStringLiteral("1"), QStringLiteral("重い"),
                QStringLiteral("0.5")},
            {QStringLiteral("終わり")}})
        index += storage::csv_row(row);
    QVERIFY(!storage::save_whole_file(folder.filePath(QStringLiteral("lesson.csv")), index));

    for (int start = 0; start < 2; ++start) {
        Lesson lesson;
        LessonStore keeper(lesson, data.path());
        keeper.restore();
        QCOMPARE(lesson.runs().size(), std::size_t{1});
        QCOMPARE(lesson.runs()[0].value, std::optional<double>(0.5));
        QCOMPARE(lesson.runs()[0].holes, std::int16_t{2});
        QVERIFY(lesson.runs()[0].late);
        QVERIFY(lesson.inverse());
    }
    // Read in once; the folder is left where it was.
    QCOMPARE(on_database(data.path(), QStringLiteral("SELECT count(*) FROM lessons")).toInt(), 1);
    QVERIFY(folder.exists(QStringLiteral("lesson.csv")));
}

QTEST_GUILESS_MAIN(TestLessonStore)
#include "tst_lesson_store.moc"
