#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "table/ResultTable.h"

#include <QPointer>
#include <QString>

#include <QCoroTask>

#include <functional>

struct RefusalSigns;

namespace Probes {

// The sites the probes ask; each answers its own metrics.
enum class Site { Baidu, Google, Yahoo, Registrar, PageRank };
inline constexpr int kSiteCount = 5;

// The site's short name in the status bar ("百度", "google", "yahoo", "注册", "PR").
QString siteName(Site site);
// What the site's block pages look like.
const RefusalSigns &refusalSigns(Site site);

} // namespace Probes

// The metric a probe measures: index k of the eight metric boxes fills column k + 2.
struct MetricChoice {
    QString caption; // as the metric box shows it
    QString probe;   // the probe's short name
    ProbeColumn column;
    Probes::Site site;
};

namespace Probes {

inline constexpr int kMetricCount = 8;
const MetricChoice &metric(int index);

// What a probe needs while it walks the rows. The table and the fetcher may go away during a
// wait (the window closes); the probe then ends quietly.
struct ProbeEnv {
    QPointer<ResultTable> table;
    QPointer<PageFetcher> fetcher;
    Endpoints endpoints;
    std::function<bool()> shouldStop;                              // tested before every row
    std::function<void(qsizetype done, qsizetype total)> progress; // after each row
    std::function<void(const QString &)> answerPage;               // PageRank's second page
    std::function<void()> refused; // a row's site answered with its block page
};

// Walks the rows present when it starts, in display order, one page at a time, and writes the
// metric of `metricIndex` into each row it started with, wherever that row has moved meanwhile;
// a row deleted or replaced meanwhile is skipped.
QCoro::Task<void> runProbe(ProbeEnv env, int metricIndex);

// One row's measurement, as the cell will show it.
QCoro::Task<QString> measure(ProbeEnv env, int metricIndex, QString domain);

} // namespace Probes
