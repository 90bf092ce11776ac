// Measures the window on the offscreen platform:
//   (a) the cost of one batch of log lines (AppendLog + Flush, then the paint it causes) when the log holds about
//       100 lines and when it holds about 100,000, median of many batches each;
//   (b) a whole conversion started from the window's button next to quernfold-cli on the same site, alternating,
//       each into a fresh output folder.
// Nothing is asserted about the timing; the program fails only when a run does not convert every page.
//
//   window_bench --cli PATH --site DIR --work DIR --pages N [--type jsp|asp] [--rounds 3] [--batch 10]
//                [--samples 201] [--skip-run]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStringList>

#include "settings/Rwini.h"
#include "tests/ui/TestSupport.h"
#include "ui/FrmMain.h"
#include "ui/LogPane.h"

using namespace quernfold;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

struct Options {
    QString cli;
    QString site;
    QString work;
    QString style = QStringLiteral("jsp");
    int pages = 0;
    int rounds = 3;
    int batch = 10;
    int samples = 201;
    bool skipRun = false;
};

/** The three lines a page leaves in the log, with paths as long as a real run's. */
std::string LogLine(long index) {
    const long page = index / 3;
    switch (index % 3) {
        case 0:
            return std::string(77, '=');
        case 1:
            return "开始转换:/tmp/quernfold-window-bench/site-jsp-20000-s1/d" + std::to_string(page % 20) + "/e" +
                   std::to_string(page % 7) + "/page" + std::to_string(page) + ".jsp....";
        default:
            return ">>生成/tmp/quernfold-window-bench/run/win-1/d" + std::to_string(page % 20) + "/e" +
                   std::to_string(page % 7) + "/page" + std::to_string(page) + ".html成功！";
    }
}

/** Lets the pane lay out and paint what the last flush added, as the event loop would before the next batch. */
void Settle() {
    QApplication::processEvents(QEventLoop::AllEvents);
}

/** Empties the log and fills it to `lines` lines, untimed. */
void FillTo(LogPane& log, long lines) {
    log.ClearLog();
    log.Flush();
    constexpr long kFillBatch = 5000;
    for (long done = 0; done < lines;) {
        const long upTo = std::min(lines, done + kFillBatch);
        for (; done < upTo; ++done) {
            log.AppendLog(LogLine(done));
        }
        log.Flush();
    }
    Settle();
}

/** Times one batch appended after line `first`; returns {flush only, flush and paint} in seconds. */
std::pair<double, double> TimeBatch(LogPane& log, long first, int batch) {
    std::vector<std::string> lines;
    for (long i = first; i < first + batch; ++i) {
        lines.push_back(LogLine(i));
    }
    const auto start = Clock::now();
    for (const auto& line : lines) {
        log.AppendLog(line);
    }
    log.Flush();
    const auto flushed = Clock::now();
    Settle();
    const auto painted = Clock::now();
    return {Seconds(start, flushed), Seconds(start, painted)};
}

void MeasureAppend(FrmMain& window, const Options& options) {
    auto* pane = window.findChild<QPlainTextEdit*>(QStringLiteral("outText"));
    if (!pane) {
        std::fprintf(stderr, "window_bench: no outText pane\n");
        std::exit(2);
    }
    // A pane of the window's own, fed the way the run feeds it; the window's own LogPane stays idle.
    LogPane log(pane, QStringLiteral(" "));

    // Early: every sample starts from a log of ~100 lines, so each batch lands around line 100.
    std::vector<double> earlyFlush, earlyPaint;
    const long earlyAt = 100 - options.batch / 2;
    for (int s = 0; s < options.samples; ++s) {
        FillTo(log, earlyAt);
        const auto [flush, paint] = TimeBatch(log, earlyAt, options.batch);
        earlyFlush.push_back(flush);
        earlyPaint.push_back(paint);
    }

    // Late: one fill to just under 100,000 lines, then consecutive batches straddling line 100,000.
    std::vector<double> lateFlush, latePaint;
    const long lateAt = 100000 - static_cast<long>(options.samples) * options.batch / 2;
    FillTo(log, lateAt);
    for (int s = 0; s < options.samples; ++s) {
        const auto [flush, paint] = TimeBatch(log, lateAt + static_cast<long>(s) * options.batch, options.batch);
        lateFlush.push_back(flush);
        latePaint.push_back(paint);
    }
    const int blocks = pane->document()->blockCount();

    const double ef = Median(earlyFlush) * 1e6, ep = Median(earlyPaint) * 1e6;
    const double lf = Median(lateFlush) * 1e6, lp = Median(latePaint) * 1e6;
    std::printf("(a) log pane, batches of %d lines, median of %d batches each (pane held %d lines at the end)\n",
                options.batch, options.samples, blocks);
    std::printf("    around line     100: AppendLog+Flush %9.1f us   with paint %9.1f us\n", ef, ep);
    std::printf("    around line 100,000: AppendLog+Flush %9.1f us   with paint %9.1f us\n", lf, lp);
    std::printf("    ratio 100,000 / 100: AppendLog+Flush %9.2f x    with paint %9.2f x\n", lf / ef, lp / ep);
    std::fflush(stdout);
    log.ClearLog();
    log.Flush();
    Settle();
}

qint64 CountFiles(const QString& dir) {
    qint64 count = 0;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

double RunWindow(FrmMain& window, test::RecordingPresenter& presenter, const Options& options, const QString& out) {
    QDir().mkpath(out);
    window.findChild<QComboBox*>(QStringLiteral("srcType"))->setCurrentText(options.style);
    window.findChild<QComboBox*>(QStringLiteral("outputType"))
        ->setCurrentText(options.style == QStringLiteral("asp") ? QStringLiteral("htm") : QStringLiteral("html"));
    window.findChild<QLineEdit*>(QStringLiteral("wwwUrl"))->setText(options.site);
    window.findChild<QLineEdit*>(QStringLiteral("outputDir"))->setText(out);
    presenter.boxes.clear();

    QEventLoop loop;
    QObject::connect(&window, &FrmMain::ConversionFinished, &loop, &QEventLoop::quit);
    auto* button = window.findChild<QPushButton*>(QStringLiteral("cmdConvert"));
    const auto start = Clock::now();
    button->click();
    if (window.IsConverting()) {
        loop.exec();
    }
    const double seconds = Seconds(start, Clock::now());

    const QString expected = QStringLiteral("文件转换完成，成功：%1个，异常：0个，详见日志!").arg(options.pages);
    if (presenter.boxes.size() != 1 || presenter.boxes[0].text != expected || CountFiles(out) != options.pages) {
        std::fprintf(stderr, "window_bench: the window's run into %s did not convert every page (box: %s)\n",
                     qPrintable(out), presenter.boxes.isEmpty() ? "none" : qPrintable(presenter.boxes.last().text));
        std::exit(1);
    }
    return seconds;
}

double RunCli(const Options& options, const QString& out) {
    QDir().mkpath(out);
    QProcess cli;
    // The log goes to a file, as from a terminal session that keeps it.
    cli.setStandardOutputFile(options.work + QStringLiteral("/cli-log.txt"));
    cli.setStandardErrorFile(options.work + QStringLiteral("/cli-stderr.txt"));
    const QString to = options.style == QStringLiteral("asp") ? QStringLiteral("htm") : QStringLiteral("html");
    const auto start = Clock::now();
    cli.start(options.cli, {QStringLiteral("-t"), options.style, QStringLiteral("-T"), to, options.site, out});
    if (!cli.waitForFinished(-1) || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
        std::fprintf(stderr, "window_bench: quernfold-cli failed on %s (exit %d)\n", qPrintable(options.site),
                     cli.exitCode());
        std::exit(1);
    }
    const double seconds = Seconds(start, Clock::now());
    if (CountFiles(out) != options.pages) {
        std::fprintf(stderr, "window_bench: quernfold-cli wrote %lld files for %d pages\n", CountFiles(out),
                     options.pages);
        std::exit(1);
    }
    return seconds;
}

void MeasureRun(FrmMain& window, test::RecordingPresenter& presenter, const Options& options) {
    std::vector<double> windowTimes, cliTimes;
    for (int r = 1; r <= options.rounds; ++r) {
        // Alternate which goes first, so neither always runs on the other's leftovers in the page cache.
        const bool windowFirst = r % 2 == 1;
        for (int leg = 0; leg < 2; ++leg) {
            const bool isWindow = (leg == 0) == windowFirst;
            const QString out = QStringLiteral("%1/%2-%3").arg(options.work, isWindow ? "win" : "cli").arg(r);
            if (isWindow) {
                windowTimes.push_back(RunWindow(window, presenter, options, out));
                std::printf("    round %d: window        %.3f s\n", r, windowTimes.back());
            } else {
                cliTimes.push_back(RunCli(options, out));
                std::printf("    round %d: quernfold-cli %.3f s\n", r, cliTimes.back());
            }
            std::fflush(stdout);
        }
    }
    const double w = Median(windowTimes), c = Median(cliTimes);
    std::printf("(b) %d-page %s site, median of %d rounds: window %.3f s, quernfold-cli %.3f s, ratio %.2f x\n",
                options.pages, qPrintable(options.style), options.rounds, w, c, w / c);
}

Options Parse(const QStringList& args) {
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const QString value = i + 1 < args.size() ? args[i + 1] : QString();
        if (arg == QStringLiteral("--skip-run")) {
            options.skipRun = true;
            continue;
        }
        if (arg == QStringLiteral("--cli")) options.cli = value;
        else if (arg == QStringLiteral("--site")) options.site = value;
        else if (arg == QStringLiteral("--work")) options.work = value;
        else if (arg == QStringLiteral("--type")) options.style = value;
        else if (arg == QStringLiteral("--pages")) options.pages = value.toInt();
        else if (arg == QStringLiteral("--rounds")) options.rounds = value.toInt();
        else if (arg == QStringLiteral("--batch")) options.batch = value.toInt();
        else if (arg == QStringLiteral("--samples")) options.samples = value.toInt();
        else {
            std::fprintf(stderr, "window_bench: unknown argument %s\n", qPrintable(arg));
            std::exit(2);
        }
        ++i;
    }
    if (options.batch < 1 || options.samples < 1 ||
        (!options.skipRun && (options.cli.isEmpty() || options.site.isEmpty() || options.work.isEmpty() ||
                              options.pages < 1 || options.rounds < 1))) {
        std::fprintf(stderr, "usage: window_bench --cli PATH --site DIR --work DIR --pages N [--type jsp|asp] "
                             "[--rounds 3] [--batch 10] [--samples 201] [--skip-run]\n");
        std::exit(2);
    }
    return options;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const Options options = Parse(QApplication::arguments());

    const QString ini = (options.work.isEmpty() ? QDir::tempPath() : options.work) + QStringLiteral("/config.ini");
    Rwini settings(ini.toStdString());
    test::ScriptedFolderPicker folders;
    test::RecordingPresenter presenter;
    FrmMain window(FrmMainContext{settings, folders, presenter, "/", "/tmp/"});
    window.show();
    Settle();

    MeasureAppend(window, options);
    if (!options.skipRun) {
        MeasureRun(window, presenter, options);
    }
    return 0;
}
