#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "fetch/RetryAfter.h"
#include "probes/Probes.h"
#include "rdap/RdapClient.h"
#include "table/ResultTable.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <QCoroTask>

#include <array>
#include <functional>

class RunClock;

// What a click on the run button does: one button starts and stops a run over the ticked
// metrics. Each site gets its own queue, and the queues run side by side: a queue walks the rows
// and asks, for each row, its site's ticked metrics in metric order, one request at a time, with
// its own pacing and back-off. Whether it runs and the stop flag are the run's state; the window
// mirrors both.
class QueryRun final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QueryRun)

public:
    static inline const QString kEmptyTableMessage = QStringLiteral("请先加入要查询的域名！");
    // After this many rows in a row refused to the end, a site's queue gives up.
    static constexpr int kRefusedRowsToGiveUp = 3;

    // Which cells a run asks for.
    enum class Scope {
        AllCells,
        // Only cells that failed, were refused or are still blank: the re-query.
        UnfinishedCells,
    };

    QueryRun(ResultTable *table, PageFetcher *fetcher, QObject *parent = nullptr);
    ~QueryRun() override;

    void setEndpoints(const Endpoints &endpoints) { m_endpoints = endpoints; }
    // What the search-count metrics ask and read; the built-in table until set.
    void setRecipes(const Probes::RecipeTable &recipes) { m_recipes = recipes; }
    // The least time between the starts of two requests to `site`; each interval is drawn between
    // it and 1.2 times it. 0: no pacing. RDAP's holds for each registry's host on its own, and not
    // for a registry on this machine.
    void setPacing(Probes::Site site, int ms) { m_pacingMs[std::size_t(site)] = qMax(0, ms); }
    void setBackoff(const Backoff &backoff) { m_backoff = backoff; }
    // The RDAP client for the RDAP metric, and for the registration metric when
    // `registrationFromRdap` (the registrar's page stays for suffixes without RDAP).
    void setRdap(RdapClient *client, bool registrationFromRdap);
    // Replaces the clock that pacing and pauses wait on (tests).
    void setClock(RunClock *clock);

    // From a start that asked for something until its queues end, it is stopped, or abandoned.
    bool isRunning() const { return m_running; }
    bool stopFlag() const { return m_stopFlag; }
    void setStopFlag(bool stop);
    bool isTicked(int metricIndex) const;
    void setTicked(int metricIndex, bool ticked);
    // True while any queue of any run is still walking.
    bool isBusy() const { return m_activeQueues > 0; }
    // Each active site's progress in rows ("百度 37/1200 · google 12/1200"); empty when idle.
    QString progressText() const;

    // The run button's click: a start when idle, a stop while running. Completes when this
    // click's queues have ended.
    QCoro::Task<void> startOrStop(Scope scope = Scope::AllCells);
    // Ends any run at once, as when the table it walks is replaced: a request in flight writes
    // its row if it still exists, and nothing more is asked.
    void abandon();

Q_SIGNALS:
    void runningChanged(bool running);
    void stopFlagChanged(bool stop);
    // The table holds no domain: the window tells the user.
    void refusedEmptyTable();
    void progressChanged(const QString &text);
    // A site refused a query ("查询受限").
    void siteRefused(const QString &site);
    // A one-off message for the status bar: a pause, a queue that gave up.
    void notice(const QString &text);
    // The RDAP metric's record of a row.
    void rdapRead(RowId row, const RdapResult &result);
    // Every queue of the run has passed the row (measured, skipped or given up).
    void rowFinished(RowId row);
    void finished();

private:
    struct Queue;
    QCoro::Task<void> walk(Probes::Site site, QList<int> metrics, QList<RowId> rows,
                           quint64 generation, Scope scope);
    QCoro::Task<bool> paceRequest(Probes::Site site, QString registryHost, quint64 generation);
    std::function<QCoro::Task<bool>()> pacer(Probes::Site site, QString registryHost,
                                             quint64 generation);
    bool stopped(quint64 generation) const { return m_stopFlag || m_generation != generation; }
    void setRunning(bool running);
    void passRow(RowId row);
    void showProgress();

    QPointer<ResultTable> m_table;
    QPointer<PageFetcher> m_fetcher;
    Endpoints m_endpoints;
    Probes::RecipeTable m_recipes = Probes::builtInRecipes();
    bool m_running = false;
    bool m_stopFlag = false;
    std::array<bool, Probes::kRdapMetric + 1> m_ticked{};
    QPointer<RdapClient> m_rdap;
    bool m_registrationFromRdap = false;
    std::array<int, Probes::kSiteCount> m_pacingMs{};
    Backoff m_backoff;
    RunClock *m_clock;
    // Each start opens a new generation; queues of an older one end before their next request,
    // so a start made while an interrupted run still waits never lets that run continue.
    quint64 m_generation = 0;
    int m_activeQueues = 0;
    // Per site: when its last request started, its refusals in a row, and its progress.
    struct SiteState {
        qint64 lastStartMs = -1;
        int refusalsInARow = 0;
        qsizetype done = 0;
        qsizetype total = 0;
        bool active = false;
    };
    std::array<SiteState, Probes::kSiteCount> m_sites;
    // When the last request to each RDAP registry's host started.
    QHash<QString, qint64> m_registryStartMs;
    // For each row of the run: the queues that have still to pass it.
    QHash<RowId, int> m_rowsPending;
    quint64 m_proxyNoticeGeneration = 0;
};
