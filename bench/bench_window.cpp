// The window with 1,000,000 rows while a run goes on against the simulator (20 ms per request):
// how long the user waits for a scroll to the end, a header sort of a count column and a filter
// pass, and the longest the event loop went without turning while nothing was asked of it.
// Figures are printed as FIGURE lines; `bench_window ROWS` for a smaller grid.
#include "SiteSimulator.h"
#include "app/MainWindow.h"
#include "app/WindowLayout.h"
#include "session/Session.h"
#include "session/StartOptions.h"
#include "table/ResultTable.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// The longest gap between two turns of a 5 ms timer, less the 5 ms.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            if (m_last >= 0)
                m_worst = qMax(m_worst, now - m_last - 5);
            m_last = now;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = -1;
        m_worst = 0;
        m_timer.start();
    }
    qint64 worstMs() const { return m_worst; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_worst = 0;
};

// Lets the event loop turn for `ms`, the run answering and the grid repainting meanwhile.
void idle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Runs `action` and paints the grid once, as the user would see it; returns milliseconds.
template <typename F> double timed(QTableView *grid, F action)
{
    QElapsedTimer t;
    t.start();
    action();
    QCoreApplication::processEvents();
    grid->viewport()->repaint();
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home; // the session file and window state stay out of the user's folders
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, home.filePath(QString::fromLatin1(name)).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1'000'000;

    SiteSimulator sim;
    sim.listen();
    sim.setFault(SiteSimulator::Route::All, SiteSimulator::Fault::delay(20));
    StartOptions options;
    options.endpoints = sim.endpoints();
    options.listCacheFolder = home.filePath(QStringLiteral("lists"));
    MainWindow window(options);
    window.show();
    const MainWindowControls &ui = window.controls();
    Session &session = *window.session();

    QStringList names;
    names.reserve(rows);
    for (int i = 0; i < rows; ++i)
        names << QStringLiteral("name%1.com").arg(i, 7, 10, QLatin1Char('0'));
    QElapsedTimer t;
    t.start();
    session.importNames(names);
    names.clear();
    QCoreApplication::processEvents();
    const double importMs = t.nsecsElapsed() / 1e6;

    // Google's count and the archive, each its own queue, as a user would run them.
    ui.metricBoxes[2]->setChecked(true);
    ui.metricBoxes[8]->setChecked(true);
    ui.runButton->click();
    idle(2000);

    StallMeter stalls;
    stalls.start();
    idle(2000);
    const qint64 idleStall = stalls.worstMs();

    QTableView *grid = ui.resultGrid;
    const double scrollMs = timed(grid, [grid] { grid->scrollToBottom(); });
    const double scrollMiddleMs = timed(grid, [grid] {
        grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum() / 2);
    });
    idle(500);
    // The first click sorts descending: the rows measured so far come first.
    const int googleSection = session.grid()->sectionOf(GoogleSite);
    const double sortMs = timed(grid, [grid, googleSection] {
        Q_EMIT grid->horizontalHeader()->sectionClicked(googleSection);
    });
    idle(500);
    // A threshold below every count: the pass reads every row and deletes only failures' rows,
    // which it never does, so the grid keeps its size.
    ui.criterionCombo->setCurrentText(QStringLiteral("删除GOOGLE收录小于"));
    ui.thresholdEdit->setText(QStringLiteral("-1"));
    const double filterMs = timed(grid, [&ui] { ui.deleteRowsButton->click(); });
    idle(500);
    stalls.start();
    idle(2000);
    const qint64 laterStall = stalls.worstMs();
    const bool stillRunning = session.isRunning();
    ui.runButton->click(); // the stop

    std::printf("%d rows, google and archive running against the simulator (20 ms a request)\n",
                rows);
    std::printf("  import %.0f ms, scroll to the end %.1f ms, to the middle %.1f ms\n", importMs,
                scrollMs, scrollMiddleMs);
    std::printf("  header sort of a count column %.1f ms, filter pass %.1f ms\n", sortMs, filterMs);
    std::printf("  longest stall of the event loop while idle: %lld ms before, %lld ms after; "
                "run %s\n",
                (long long)idleStall, (long long)laterStall,
                stillRunning ? "still going" : "ended");
    std::printf("FIGURE window_scroll_ms %.1f\n", qMax(scrollMs, scrollMiddleMs));
    std::printf("FIGURE window_sort_ms %.1f\n", sortMs);
    std::printf("FIGURE window_filter_ms %.1f\n", filterMs);
    std::printf("FIGURE window_idle_stall_ms %lld\n", (long long)qMax(idleStall, laterStall));
    return 0;
}
