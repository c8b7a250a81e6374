// Prints what keeping the session costs: (a) a run of every metric against the simulator, with
// a session file attached against the same run without, as ratios of wall time and of the
// process's CPU time (all threads), and the writer thread's own CPU time, which a busy shared
// machine disturbs least; (b) a restart with 100,000 saved rows: opening the file, reading it,
// filling the grid.
//   bench_session [rows for (a), default 12,500: 100,000 cells over 8 metrics; 0 skips (a)]
//                 [rounds, 2]
#include "SiteSimulator.h"
#include "fetch/PageFetcher.h"
#include "probes/Probes.h"
#include "probes/QueryRun.h"
#include "session/SessionStore.h"
#include "sources/CategoryImport.h"
#include "table/ResultTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <QCoroTask>

#include <cstdio>
#include <ctime>
#include <optional>

#include <unistd.h>

namespace {

QStringList names(int count)
{
    QStringList out;
    out.reserve(count);
    for (int i = 0; i < count; ++i)
        out << QStringLiteral("bench%1.com").arg(i);
    return out;
}

struct Cost {
    double wallMs = 0;
    double cpuMs = 0;
    double writerCpuMs = 0;
};

// CPU time of this process's thread named `name`, from /proc; 0 when there is none.
double threadCpuMs(const QByteArray &name)
{
    QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name ||
            !stat.open(QIODevice::ReadOnly))
            continue;
        // utime and stime are the 12th and 13th fields after the parenthesised name.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        return (fields.value(11).toDouble() + fields.value(12).toDouble()) * 1000 /
               double(sysconf(_SC_CLK_TCK));
    }
    return 0;
}

// One run of every metric over `rows` names; with a store on `path` when one is given.
Cost runCost(const SiteSimulator &sim, int rows, const QString &path)
{
    ResultTable table;
    PageFetcher fetcher;
    QueryRun run(&table, &fetcher);
    run.setEndpoints(sim.endpoints());
    for (int k = 0; k < Probes::kMetricCount; ++k)
        run.setTicked(k, true);
    std::optional<SessionStore> store;
    if (!path.isEmpty()) {
        QFile::remove(path);
        store.emplace(path);
        store->attach(&table);
    }
    QElapsedTimer clock;
    clock.start();
    const std::clock_t cpu = std::clock();
    Sources::importCategory(table, names(rows));
    QCoro::waitFor(run.startOrStop());
    if (store)
        store->flush();
    return {clock.nsecsElapsed() / 1e6, double(std::clock() - cpu) * 1000 / CLOCKS_PER_SEC,
            threadCpuMs("session writer")};
}

template <typename F> double timedMs(F &&work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e6;
}

// (a): a run with the store against one without, `rounds` times.
bool benchRun(const SiteSimulator &sim, const QString &path, int rows, int rounds)
{
    std::printf("(a) run of %d metrics over %d rows (%d cells), simulator without delay\n",
                Probes::kMetricCount, rows, rows * Probes::kMetricCount);
    // In the order without, with, with, without, ..., so that neither side always goes first
    // and a slow spell of the shared machine hits both alike.
    Cost without;
    Cost with;
    for (int round = 1; round <= rounds; ++round) {
        const bool storeFirst = round % 2 == 0;
        const Cost first = runCost(sim, rows, storeFirst ? path : QString());
        const Cost second = runCost(sim, rows, storeFirst ? QString() : path);
        const Cost a = storeFirst ? second : first;
        const Cost b = storeFirst ? first : second;
        std::printf("  round %d: without store %7.0f ms wall %7.0f ms CPU, with store %7.0f ms "
                    "wall %7.0f ms CPU (writer thread %5.0f ms)\n",
                    round, a.wallMs, a.cpuMs, b.wallMs, b.cpuMs, b.writerCpuMs);
        without.wallMs += a.wallMs;
        without.cpuMs += a.cpuMs;
        with.wallMs += b.wallMs;
        with.cpuMs += b.cpuMs;
        with.writerCpuMs += b.writerCpuMs;
    }
    {
        SessionStore check(path);
        const auto saved = check.load();
        std::printf("  rows in the file afterwards: %lld\n",
                    saved ? qlonglong(saved->size()) : -1LL);
    }
    std::printf("  with store / without, wall time: %.3f (%+.1f%%)\n", with.wallMs / without.wallMs,
                (with.wallMs / without.wallMs - 1) * 100);
    std::printf("  with store / without, CPU time:  %.3f (%+.1f%%)\n", with.cpuMs / without.cpuMs,
                (with.cpuMs / without.cpuMs - 1) * 100);
    std::printf("  writer thread's CPU / run's wall time without store: %.1f%%\n",
                with.writerCpuMs / without.wallMs * 100);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 12'500;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 2;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("session.sqlite"));

    SiteSimulator sim;
    if (rows < 0 || rounds <= 0 || !dir.isValid() || !sim.listen())
        return 1;
    if (rows > 0 && !benchRun(sim, path, rows, rounds))
        return 1;
    constexpr int kRestoredRows = 100'000;
    std::printf("\n(b) first save and restart with %d rows, every metric filled (best of 3)\n",
                kRestoredRows);
    double firstSave = 0;
    {
        ResultTable table;
        QList<RowCells> grid;
        grid.reserve(kRestoredRows);
        for (int i = 0; i < kRestoredRows; ++i) {
            RowCells r;
            r[kLabelColumn] = QString::number(i);
            r[kDomainColumn] = QStringLiteral("restored%1.com").arg(i);
            for (int c = BaiduSite; c < kColumnCount; ++c)
                r[c] = QString::number((i * 7919 + c * 104'729) % 2'000'000);
            grid << r;
        }
        table.appendRows(grid);
        firstSave = 1e300;
        for (int i = 0; i < 3; ++i) {
            for (const char *file : {"", "-wal", "-shm"})
                QFile::remove(path + QLatin1StringView(file));
            SessionStore store(path);
            firstSave = std::min(firstSave, timedMs([&] {
                                     store.attach(&table);
                                     store.flush();
                                 }));
        }
        std::printf("  first save (attach + flush):   %8.1f ms\n", firstSave);
    }
    double open = 1e300, load = 1e300, fill = 1e300, attach = 1e300;
    for (int i = 0; i < 3; ++i) {
        std::optional<SessionStore> store;
        std::optional<QList<SavedRow>> saved;
        ResultTable table;
        open = std::min(open, timedMs([&] { store.emplace(path); }));
        load = std::min(load, timedMs([&] { saved = store->loadSaved(); }));
        fill = std::min(fill, timedMs([&] { table.appendSavedRows(*saved); }));
        attach = std::min(attach, timedMs([&] { store->attach(&table); }));
        if (table.rowCount() != kRestoredRows)
            return 1;
    }
    std::printf("  open and check the file:       %8.1f ms\n", open);
    std::printf("  loadSaved():                   %8.1f ms\n", load);
    std::printf("  appendSavedRows():             %8.1f ms\n", fill);
    std::printf("  restore (the two):             %8.1f ms\n", load + fill);
    std::printf("  attach() to the restored grid: %8.1f ms\n", attach);
    std::printf("FIGURE restore_ms_100k %.1f\n", load + fill);
    std::printf("FIGURE first_save_ms_100k %.1f\n", firstSave);
    return 0;
}
