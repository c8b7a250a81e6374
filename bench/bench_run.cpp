// Prints the wall time of a run of all eight metrics over 300 names against the simulator with
// 20 ms of latency per request: each site's queue beside the others, against the same sites
// asked one after another. With one request at a time per site the ideal is 3x: yahoo's three
// metrics make the longest queue. Then the archive and other-suffix metrics over 20 names with
// their default pacing, side by side against one after the other, and the least gap seen between
// two requests of each queue.
#include "SiteSimulator.h"
#include "fetch/PageFetcher.h"
#include "probes/QueryRun.h"
#include "sources/CategoryImport.h"
#include "table/ResultTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>

#include <QCoroTask>

#include <cstdio>

namespace {

double runMs(SiteSimulator &sim, const QStringList &names, const QList<QList<int>> &batches,
             bool paced = false)
{
    PageFetcher fetcher;
    ResultTable table;
    Sources::importCategory(table, names);
    QueryRun run(&table, &fetcher);
    run.setEndpoints(sim.endpoints());
    if (paced) {
        run.setPacing(Probes::Site::Archive, 1500);
        run.setPacing(Probes::Site::Doh, 100);
    }
    QElapsedTimer timer;
    timer.start();
    for (const QList<int> &metrics : batches) {
        for (int k = 0; k < Probes::kMetricBoxCount; ++k)
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

    // The archive and the resolver, each at its default pacing (1,500 and 100 ms).
    using Route = SiteSimulator::Route;
    QElapsedTimer clock;
    clock.start();
    QHash<Route, QList<qint64>> arrivals;
    QObject::connect(&sim, &SiteSimulator::requestReceived, &sim,
                     [&](Route route, const QString &) { arrivals[route] << clock.elapsed(); });
    const auto leastGap = [&](Route route) {
        const QList<qint64> &at = arrivals[route];
        qint64 least = -1;
        for (qsizetype i = 1; i < at.size(); ++i)
            least = least < 0 ? at[i] - at[i - 1] : qMin(least, at[i] - at[i - 1]);
        return least;
    };
    const QStringList few = names.mid(0, 20);
    const double apisSequential = runMs(sim, few, {{8}, {9}}, true);
    arrivals.clear();
    const double apisSideBySide = runMs(sim, few, {{8, 9}}, true);
    std::printf("20 names x archive, tlds, 20 ms per request, %lld and %lld requests\n",
                (long long)arrivals[Route::Archive].size(), (long long)arrivals[Route::Doh].size());
    std::printf("  one after the other:    %8.0f ms\n", apisSequential);
    std::printf("  queues side by side:    %8.0f ms\n", apisSideBySide);
    // Seen where the requests arrive: a request's start is paced, its arrival varies by a few ms.
    std::printf("  least gap between arrivals: archive %lld ms (pacing 1500), resolver %lld ms "
                "(pacing 100)\n",
                (long long)leastGap(Route::Archive), (long long)leastGap(Route::Doh));
    std::printf("FIGURE run_apis_speedup %.2f\n", apisSequential / apisSideBySide);
    return 0;
}
