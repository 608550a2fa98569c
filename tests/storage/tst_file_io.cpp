// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Files written whole or not at all, and the bound on what is read.

#include "file_contents.h"
#include "special_files.h"
#include "storage/file_io.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using storage::ReadProblem;
using storage::SaveProblem;
using test_support::contents;
using test_support::put;

// Sets or clears the immutable flag of a folder: nothing can be created in it or renamed into it,
// not even by root, who ignores the permission bits. False where the file system or the process's
// privileges do not allow it.
bool set_immutable(const QString &folder, bool immutable)
{
#ifdef _WIN32
    (void)folder;
    (void)immutable;
    return false;
#else
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
#endif
}

#ifndef _WIN32
// A bound on the size of any file this process writes, as a full disk would set one; put back
// when it goes out of scope. Writing past it fails with EFBIG instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        set_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
    bool set() const { return set_; }

private:
    rlimit saved_{};
    bool set_ = false;
};
#endif

}  // namespace

Q_DECLARE_METATYPE(storage::SaveProblem)

class TestFileIo : public QObject {
    Q_OBJECT

private slots:
    void a_new_file_replaces_the_earlier_one();
    void failed_writes_keep_the_earlier_file_data();
    void failed_writes_keep_the_earlier_file();
    void files_larger_than_ours_are_refused_unread();
    void a_missing_file_cannot_be_opened();
    void only_regular_files_are_read_data();
    void only_regular_files_are_read();
};

void TestFileIo::a_new_file_replaces_the_earlier_one()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.csv"));
    QVERIFY(put(path, "earlier"));
    QVERIFY(!storage::save_whole_file(path, QByteArray("later")));
    QCOMPARE(contents(path), QByteArray("later"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("data.csv")});
}

void TestFileIo::failed_writes_keep_the_earlier_file_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("earlier");  // a file of that name is there before
    QTest::addColumn<SaveProblem>("problem");
    QTest::newRow("the folder is a plain file")
        << QStringLiteral("not a folder") << false << SaveProblem::FolderMissing;
    QTest::newRow("the folder is gone") << QStringLiteral("no folder") << false << SaveProblem::FolderMissing;
    QTest::newRow("a read-only folder") << QStringLiteral("immutable") << true << SaveProblem::NoPermission;
    // The file size limit stops a write part-way, as a full disk does, and the system says why.
    QTest::newRow("the limit is reached part-way") << QStringLiteral("size limit") << true << SaveProblem::Other;
    QTest::newRow("the limit is reached by a new file") << QStringLiteral("size limit") << false << SaveProblem::Other;
    // Small enough to wait in a write buffer until the file is committed.
    QTest::newRow("a small file past the limit") << QStringLiteral("small size limit") << true << SaveProblem::Other;
    QTest::newRow("written in pieces, failures unread")
        << QStringLiteral("pieces past the limit") << true << SaveProblem::Other;
}

void TestFileIo::failed_writes_keep_the_earlier_file()
{
    QFETCH(QString, how);
    QFETCH(bool, earlier);
    QFETCH(SaveProblem, problem);
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("lesson"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = QDir(folder).filePath(QStringLiteral("data.csv"));
    if (earlier)
        QVERIFY(put(path, "earlier measurement"));
    const QByteArray large(256 * 1024, 'x');

    std::optional<storage::SaveFailure> failure;
    if (how == QStringLiteral("not a folder")) {
        QVERIFY(put(path, "earlier measurement"));
        failure = storage::save_whole_file(path + QStringLiteral("/data.csv"), large);
    } else if (how == QStringLiteral("no folder")) {
        failure = storage::save_whole_file(dir.filePath(QStringLiteral("gone/data.csv")), large);
    } else if (how == QStringLiteral("immutable")) {
        if (!set_immutable(folder, true))
            QSKIP("this file system or process cannot make a folder read-only for root");
        failure = storage::save_whole_file(path, large);
        QVERIFY(set_immutable(folder, false));
    } else {
#ifdef _WIN32
        QSKIP("Windows sets no bound on the size of the files a process writes");
#else
        const bool small = how == QStringLiteral("small size limit");
        FileSizeLimit limit(small ? 4096 : 64 * 1024);
        QVERIFY(limit.set());
        if (how.endsWith(QStringLiteral("size limit"))) {
            failure = storage::save_whole_file(path, small ? large.left(8192) : large);
        } else {
            // A writer that looks at no result, as an image writer might: the failure still counts.
            failure = storage::save_whole_file(path, [&large](QIODevice &device) {
                for (qsizetype at = 0; at < large.size(); at += 4096)
                    device.write(large.constData() + at, 4096);
                return true;
            });
        }
#endif
    }
    QVERIFY(failure);
    QCOMPARE(failure->problem, problem);
    QCOMPARE(failure->earlier_file, earlier);
    if (problem == SaveProblem::Other)
        QVERIFY2(failure->system_reason.size() > 3, qPrintable(failure->system_reason));
    const bool kept = earlier || how == QStringLiteral("not a folder");
    QCOMPARE(contents(path), kept ? QByteArray("earlier measurement") : QByteArray());
    // No half-written file is left beside it.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), kept ? QStringList{"data.csv"} : QStringList());
}

void TestFileIo::files_larger_than_ours_are_refused_unread()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.csv"));
    QVERIFY(put(path, QByteArray(storage::kMaxFileBytes + 1, '\n')));
    const storage::ReadResult read = storage::read_measurement_file(path);
    QVERIFY(!read.record);
    QCOMPARE(read.failure.problem, ReadProblem::TooLarge);
    QCOMPARE(read.failure.line, 0);
}

void TestFileIo::a_missing_file_cannot_be_opened()
{
    QTemporaryDir dir;
    const storage::ReadResult read = storage::read_measurement_file(dir.filePath(QStringLiteral("absent.csv")));
    QVERIFY(!read.record);
    QCOMPARE(read.failure.problem, ReadProblem::CannotOpen);
    QVERIFY(!read.failure.system_reason.isEmpty());
}

void TestFileIo::only_regular_files_are_read_data()
{
    // Opening a pipe for reading would wait for a writer; none of these may hold the program.
    QTest::addColumn<QString>("kind");
    QTest::newRow("a pipe") << QStringLiteral("pipe");
    QTest::newRow("a folder") << QStringLiteral("folder");
    QTest::newRow("a device") << test_support::null_device();
}

void TestFileIo::only_regular_files_are_read()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("data.csv"));
    std::optional<test_support::NamedPipe> pipe;
    if (kind == QStringLiteral("pipe"))
        QVERIFY(pipe.emplace(path).made());
    else if (kind == QStringLiteral("folder"))
        QVERIFY(QDir().mkpath(path));
    else
        path = kind;
    const storage::ReadResult read = storage::read_measurement_file(path);
    QVERIFY(!read.record);
    QCOMPARE(read.failure.problem, ReadProblem::NotAFile);
    QCOMPARE(read.failure.line, 0);
}

QTEST_GUILESS_MAIN(TestFileIo)
#include "tst_file_io.moc"
