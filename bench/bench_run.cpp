// Prints the wall time of a run of all eight metrics over 300 names against the simulator with
// 20 ms of latency per request: each site's queue beside the others, against the same sites
// asked one after another. With one request at a time per site the ideal is 3x: yahoo's three
// metrics make the longest queue.
#include "SiteSimulator.h"
#include "fetch/PageFetcher.h"
#include "probes/QueryRun.h"
#include "sources/CategoryImport.h"
#include "table/ResultTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <QCoroTask>

#include <cstdio>

namespace {

double runMs(SiteSimulator &sim, const QStringList &names, const QList<QList<int>> &batches)
{
    PageFetcher fetcher;
    ResultTable table;
    Sources::importCategory(table, names);
    QueryRun run(&table, &fetcher);
    run.setEndpoints(sim.endpoints());
    QElapsedTimer timer;
    timer.start();
    for (const QList<int> &metrics : batches) {
        for (int k = 0; k < Probes::kMetricCount; ++k)
            run.setTicked(k, metrics.contains(k));
        QCoro::waitFor(run.startOrStop());
    }
    return double(timer.elapsed());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SiteSimulator sim;
    sim.listen();
    sim.setFault(SiteSimulator::Route::All, SiteSimulator::Fault::delay(20));
    QStringList names;
    for (int i = 0; i < 300; ++i)
        names << QStringLiteral("bench%1.com").arg(i);

    // One site at a time is what a sequential run amounts to: every request waits for the last.
    const QList<QList<int>> bySite = {{0, 1}, {2}, {3, 4, 5}, {6}, {7}};
    const double sequential = runMs(sim, names, bySite);
    const double sideBySide = runMs(sim, names, {{0, 1, 2, 3, 4, 5, 6, 7}});
    std::printf("300 names x 8 metrics, 20 ms per request, %d requests\n", sim.requestCount() / 2);
    std::printf("  one site after another: %8.0f ms\n", sequential);
    std::printf("  queues side by side:    %8.0f ms\n", sideBySide);
    std::printf("  speed-up: %.2fx (goal at least 2.7x; ideal 3x)\n", sequential / sideBySide);
    return 0;
}
