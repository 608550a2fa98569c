// The window as a person first meets it, and the commands that record a measurement.

#include "acquisition/live_view.h"
#include "converter/converter.h"
#include "converter/recording_lines.h"
#include "converter/simulated_converter.h"
#include "fake_loop_host.h"
#include "form1.h"
#include "message_box_watcher.h"
#include "picture_box.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <memory>

using test_support::FakeLoopHost;

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void initialState();

private:
    std::unique_ptr<FakeLoopHost> host_;
    std::unique_ptr<converter::RecordingLines> fake_;
    std::unique_ptr<Form1> form_;
};

void TestForm1::init()
{
    host_ = std::make_unique<FakeLoopHost>();
    fake_ = std::make_unique<converter::RecordingLines>();
    converter::use_lines(*fake_);
    form_ = std::make_unique<Form1>(*host_, "COM1");
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void TestForm1::cleanup()
{
    form_.reset();
    static converter::NoLines none;
    converter::use_lines(none);
}

void TestForm1::initialState()
{
    form_->grab().save("/tmp/form1.png");
    QCOMPARE(form_->windowTitle(), QStringLiteral("ケルノアによる運動の解析"));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
