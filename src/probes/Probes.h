#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "probes/Recipes.h"
#include "table/ResultTable.h"

#include <QPointer>
#include <QString>

#include <QCoroTask>

#include <functional>
#include <memory>
#include <optional>

struct RefusalSigns;
class RdapClient;
struct RdapResult;

namespace Probes {

// The sites the probes ask; each answers its own metrics.
enum class Site { Baidu, Google, Yahoo, Registrar, PageRank, Rdap, Archive, Doh };
inline constexpr int kSiteCount = 8;

// The site's short name in the status bar ("百度", "google", "yahoo", "注册", "PR", "RDAP",
// "存档", "他后缀").
QString siteName(Site site);
// What the site's block pages look like; a search site's texts are in each recipe instead.
const RefusalSigns &refusalSigns(Site site);

} // namespace Probes

// The metric a probe measures: index k of the first eight metric boxes fills column k + 2.
struct MetricChoice {
    QString caption; // as the metric box shows it
    QString probe;   // the probe's short name
    // The grid column it fills; none for the RDAP metric, whose record the command line writes
    // in columns of its own.
    std::optional<ProbeColumn> column;
    Probes::Site site;
    // The archive metric fills a second column from the same answer.
    std::optional<ProbeColumn> secondColumn = std::nullopt;
};

namespace Probes {

// The eight metrics of the original grid columns.
inline constexpr int kMetricCount = 8;
// Two more metric boxes: the archive's captures and the label's other suffixes.
inline constexpr int kArchiveMetric = 8;
inline constexpr int kOtherSuffixMetric = 9;
inline constexpr int kMetricBoxCount = 10;
// Beyond the boxes, in varnel-cli only: the registry's RDAP record of a name.
inline constexpr int kRdapMetric = 10;
const MetricChoice &metric(int index);

// What one measurement needs. The fetcher may go away during a wait (the window closes); the
// measurement then ends quietly.
struct ProbeEnv {
    QPointer<PageFetcher> fetcher;
    Endpoints endpoints;
    // Awaited before every request (the site's pacing); false: ask nothing more.
    std::function<QCoro::Task<bool>()> beforeRequest;
    // When set, the registration metric asks the registry's RDAP server where one is known, and
    // the registrar's page only for other suffixes (.cn).
    RdapClient *registrationRdap = nullptr;
    // Asks the RDAP metric's lookups.
    RdapClient *rdap = nullptr;
    // What the search-count metrics ask and read.
    RecipeTable recipes = builtInRecipes();
};

struct Measurement {
    QString cell;                           // as the cell will show it
    QString secondCell;                     // the metric's second column, when it has one
    CellState state = CellState::Value;     // what the run decides on
    std::optional<int> retryAfterSeconds;   // when the site refused and said when to come back
    QString proxyError;                     // the proxy in the way failed: why
    QString note;                           // more for the cell's tooltip (an RDAP record)
    std::shared_ptr<const RdapResult> rdap; // the RDAP metric's record
};

// One domain's measurement of metric `metricIndex`: one request (the PageRank probe two, the
// other-suffix probe one for each other suffix).
// nullopt when it ended before its answer came: stopped during pacing, or the fetcher went.
QCoro::Task<std::optional<Measurement>> measure(ProbeEnv env, int metricIndex, QString domain);

} // namespace Probes
