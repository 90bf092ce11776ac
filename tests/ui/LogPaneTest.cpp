#include <atomic>
#include <string>
#include <vector>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QThread>

#include "tests/ui/TestSupport.h"
#include "ui/LogPane.h"
#include "ui/MessageBoxes.h"
#include "ui/core/RunBoxes.h"

using namespace quernfold;
using namespace quernfold::test_support;

namespace {

/** One step of a log's life: a clear, or the line to append. */
struct Step {
    bool clear;
    std::string line;
};

QString Shown(const std::string& logText) {
    return QString::fromStdString(logText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

Q_DECLARE_METATYPE(std::vector<Step>)
Q_DECLARE_METATYPE(std::string)

class LogPaneTest : public QObject {
    Q_OBJECT

private slots:
    void paneShowsTheLogTextLineForLine_data() {
        QTest::addColumn<std::vector<Step>>("steps");
        QTest::addColumn<bool>("flushEachStep");
        QTest::addColumn<std::string>("expected");
        const std::vector<Step> run = {{true, ""}, {false, "one"}, {false, "two"}, {false, "three"}};
        QTest::newRow("cleared then lines, one batch") << run << false << std::string("\r\none\r\ntwo\r\nthree");
        QTest::newRow("cleared then lines, batch per line") << run << true << std::string("\r\none\r\ntwo\r\nthree");
        const std::vector<Step> blanks = {{true, ""}, {false, ""}, {false, ""}, {false, "x"}};
        QTest::newRow("empty lines, one batch") << blanks << false << std::string("\r\n\r\n\r\nx");
        QTest::newRow("empty lines, batch per line") << blanks << true << std::string("\r\n\r\n\r\nx");
        QTest::newRow("no clear keeps the initial blank")
            << std::vector<Step>{{false, "a"}} << true << std::string(" \r\na");
        QTest::newRow("clear drops what came before it")
            << std::vector<Step>{{false, "old"}, {true, ""}, {false, "new"}} << false << std::string("\r\nnew");
        QTest::newRow("second run replaces the first")
            << std::vector<Step>{{true, ""}, {false, "r1"}, {true, ""}, {false, "r2"}} << true << std::string("\r\nr2");
        QTest::newRow("clear alone") << std::vector<Step>{{true, ""}} << true << std::string();
    }

    void paneShowsTheLogTextLineForLine() {
        QFETCH(std::vector<Step>, steps);
        QFETCH(bool, flushEachStep);
        QFETCH(std::string, expected);
        QPlainTextEdit pane;
        LogPane log(&pane, QStringLiteral(" "));
        for (const Step& step : steps) {
            step.clear ? log.ClearLog() : log.AppendLog(step.line);
            if (flushEachStep) log.Flush();
        }
        log.Flush();
        QCOMPARE(log.Text(), expected);
        QCOMPARE(pane.toPlainText(), Shown(expected));
    }

    void linesFromAWorkerAreBatchedNotPaintedOneByOne() {
        QPlainTextEdit pane;
        LogPane log(&pane, QStringLiteral(" "));
        log.StartBatching();
        int paneChanges = 0;
        connect(pane.document(), &QTextDocument::contentsChanged, this, [&] { ++paneChanges; });
        std::atomic<bool> done = false;
        QThread* worker = QThread::create([&] {
            log.ClearLog();
            for (int i = 0; i < 2000; ++i) log.AppendLog("line " + std::to_string(i));
            done = true;
        });
        worker->start();
        QVERIFY(worker->wait(10000));
        delete worker;
        QVERIFY(done);
        QCOMPARE(pane.toPlainText(), QStringLiteral(" "));  // nothing painted outside the window's thread
        QTRY_VERIFY(pane.toPlainText().endsWith(QStringLiteral("line 1999")));
        QVERIFY2(paneChanges < 50, qPrintable(QString::number(paneChanges)));
        QCOMPARE(pane.document()->blockCount(), 2001);
        log.StopBatching();
    }

    void paneFollowsNewLinesOnlyWhileScrolledToTheBottom() {
        QPlainTextEdit pane;
        pane.resize(300, 120);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        LogPane log(&pane, QStringLiteral(" "));
        QScrollBar* bar = pane.verticalScrollBar();
        const auto append = [&](int from, int count) {
            for (int i = from; i < from + count; ++i) log.AppendLog("line " + std::to_string(i));
            log.Flush();
        };
        append(0, 100);
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());  // at the bottom: the newest line is in view

        // Scrolled back to read: new lines arrive below, the view stays.
        bar->setValue(10);
        const int maximumBefore = bar->maximum();
        append(100, 100);
        QVERIFY(bar->maximum() > maximumBefore);
        QCOMPARE(bar->value(), 10);
        QCOMPARE(pane.document()->blockCount(), 201);

        // Back at the bottom: it follows again.
        bar->setValue(bar->maximum());
        append(200, 50);
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(pane.toPlainText().endsWith(QStringLiteral("line 249")));
    }

    void messageBoxWaitsForTheLogAndHoldsTheWorker() {
        QWidget owner;
        QPlainTextEdit pane(&owner);
        LogPane log(&pane, QStringLiteral(" "));
        RecordingPresenter presenter;
        WindowBoxes window(&owner, presenter, log);
        RunBoxes messages([&](const std::string& text, const std::string& title,
                              MessageIcon icon) { window.Show(text, title, icon); },
                          [&](std::function<void()> call) { window.Post(std::move(call)); });
        std::atomic<bool> workerPastBox = false;
        QString paneWhenShown;
        bool workerWaited = false;
        presenter.onPresent = [&](const RecordingPresenter::Box&) {
            paneWhenShown = pane.toPlainText();
            QTest::qWait(50);
            workerWaited = !workerPastBox;
        };
        QThread* worker = QThread::create([&] {
            log.ClearLog();
            log.AppendLog("summary");
            messages.ShowMessage("完成", "提示", MessageIcon::Information);
            workerPastBox = true;
        });
        worker->start();
        QTRY_VERIFY(workerPastBox);
        QVERIFY(worker->wait(5000));
        delete worker;
        QCOMPARE(paneWhenShown, QStringLiteral("\nsummary"));
        QVERIFY(workerWaited);
        QCOMPARE(presenter.boxes.size(), 1);
        QCOMPARE(presenter.boxes[0].text, QStringLiteral("完成"));
        QCOMPARE(presenter.boxes[0].title, QStringLiteral("提示"));
        QCOMPARE(presenter.boxes[0].owner, &owner);
    }
};

QTEST_MAIN(LogPaneTest)
#include "LogPaneTest.moc"
