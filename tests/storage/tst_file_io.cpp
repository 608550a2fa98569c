// Files written whole or not at all, and the bound on what is read.

#include "file_contents.h"
#include "storage/file_io.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using test_support::contents;
using test_support::put;

// Sets or clears the immutable flag of a folder: nothing can be created in it or renamed into it,
// not even by root, who ignores the permission bits. False where the file system or the process's
// privileges do not allow it.
bool set_immutable(const QString &folder, bool immutable)
{
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
}

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

}  // namespace

class TestFileIo : public QObject {
    Q_OBJECT

private slots:
    void a_new_file_replaces_the_earlier_one();
    void failed_writes_keep_the_earlier_file_data();
    void failed_writes_keep_the_earlier_file();
    void files_larger_than_ours_are_refused_unread();
    void a_missing_file_cannot_be_opened();
};

void TestFileIo::a_new_file_replaces_the_earlier_one()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.csv"));
    QVERIFY(put(path, "earlier"));
    QCOMPARE(storage::save_whole_file(path, QByteArray("later")), std::optional<QString>());
    QCOMPARE(contents(path), QByteArray("later"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("data.csv")});
}

void TestFileIo::failed_writes_keep_the_earlier_file_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("the folder is a plain file") << QStringLiteral("not a folder");
    QTest::newRow("a read-only folder") << QStringLiteral("immutable");
    QTest::newRow("the disk fills up while writing") << QStringLiteral("size limit");
}

void TestFileIo::failed_writes_keep_the_earlier_file()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("lesson"));
    QVERIFY(QDir().mkpath(folder));
    const QString earlier = QDir(folder).filePath(QStringLiteral("data.csv"));
    QVERIFY(put(earlier, "earlier measurement"));
    const QByteArray large(256 * 1024, 'x');

    std::optional<QString> failure;
    if (how == QStringLiteral("not a folder")) {
        failure = storage::save_whole_file(earlier + QStringLiteral("/data.csv"), large);
    } else if (how == QStringLiteral("immutable")) {
        if (!set_immutable(folder, true))
            QSKIP("this file system or process cannot make a folder read-only for root");
        failure = storage::save_whole_file(earlier, large);
        QVERIFY(set_immutable(folder, false));
    } else {
        FileSizeLimit limit(64 * 1024);
        QVERIFY(limit.set());
        failure = storage::save_whole_file(earlier, large);
    }
    QVERIFY(failure);
    QVERIFY(!failure->isEmpty());
    QCOMPARE(contents(earlier), QByteArray("earlier measurement"));
    // No half-written file is left beside it.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("data.csv")});
}

void TestFileIo::files_larger_than_ours_are_refused_unread()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.csv"));
    QVERIFY(put(path, QByteArray(storage::kMaxFileBytes + 1, '\n')));
    const storage::ReadResult read = storage::read_measurement_file(path);
    QVERIFY(!read.record);
    QCOMPARE(static_cast<int>(read.failure.problem), static_cast<int>(storage::ReadProblem::TooLarge));
    QCOMPARE(read.failure.line, 0);
}

void TestFileIo::a_missing_file_cannot_be_opened()
{
    QTemporaryDir dir;
    const storage::ReadResult read = storage::read_measurement_file(dir.filePath(QStringLiteral("absent.csv")));
    QVERIFY(!read.record);
    QCOMPARE(static_cast<int>(read.failure.problem), static_cast<int>(storage::ReadProblem::CannotOpen));
    QVERIFY(!read.failure.system_reason.isEmpty());
}

QTEST_GUILESS_MAIN(TestFileIo)
#include "tst_file_io.moc"
