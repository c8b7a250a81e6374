#include "QueryRun.h"

#include "fetch/SiteAddress.h"
#include "probes/RunClock.h"
#include "text/Words.h"

#include <QRandomGenerator>

#include <vector>

using Probes::Site;

QueryRun::QueryRun(ResultTable *table, PageFetcher *fetcher, QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_fetcher(fetcher)
    , m_clock(new RunClock(this))
{
}

QueryRun::~QueryRun()
{
    // Pauses still waiting end now, while the run they report to still exists.
    abandon();
}

void QueryRun::setRdap(RdapClient *client, bool registrationFromRdap)
{
    m_rdap = client;
    m_registrationFromRdap = registrationFromRdap && client;
}

void QueryRun::setClock(RunClock *clock)
{
    m_clock = clock ? clock : new RunClock(this);
}

void QueryRun::setStopFlag(bool stop)
{
    if (m_stopFlag == stop)
        return;
    m_stopFlag = stop;
    if (stop)
        m_clock->interrupt();
    Q_EMIT stopFlagChanged(stop);
}

bool QueryRun::isTicked(int metricIndex) const
{
    return metricIndex >= 0 && metricIndex < int(m_ticked.size()) && m_ticked[metricIndex];
}

void QueryRun::setTicked(int metricIndex, bool ticked)
{
    if (metricIndex >= 0 && metricIndex < int(m_ticked.size()))
        m_ticked[metricIndex] = ticked;
}

void QueryRun::setRunning(bool running)
{
    if (m_running == running)
        return;
    m_running = running;
    Q_EMIT runningChanged(running);
}

void QueryRun::abandon()
{
    ++m_generation;
    m_clock->interrupt();
    setRunning(false);
}

QString QueryRun::progressText() const
{
    QStringList parts;
    for (int s = 0; s < Probes::kSiteCount; ++s) {
        const SiteState &state = m_sites[std::size_t(s)];
        if (state.active)
            parts << QStringLiteral("%1 %2/%3")
                         .arg(Probes::siteName(Site(s)))
                         .arg(state.done)
                         .arg(state.total);
    }
    return parts.join(QStringLiteral(" · "));
}

void QueryRun::showProgress()
{
    Q_EMIT progressChanged(progressText());
}

void QueryRun::passRow(RowId row)
{
    const auto it = m_rowsPending.find(row);
    if (it == m_rowsPending.end() || --*it > 0)
        return;
    m_rowsPending.erase(it);
    Q_EMIT rowFinished(row);
}

QCoro::Task<void> QueryRun::startOrStop(Scope scope)
{
    if (!m_table || m_table->rowCount() == 0 ||
        m_table->cellState(0, kDomainColumn) == CellState::Blank) {
        Q_EMIT refusedEmptyTable();
        co_return;
    }
    if (m_running) {
        // A stop: every queue ends before its next request; a pause ends at once.
        setRunning(false);
        setStopFlag(true);
        co_return;
    }

    // The ticked metrics of each site, in metric order.
    std::array<QList<int>, Probes::kSiteCount> metrics;
    for (int k = 0; k <= Probes::kRdapMetric; ++k) {
        if (!m_ticked[std::size_t(k)] || (k == Probes::kRdapMetric && !m_rdap))
            continue;
        const bool rdap = k == Probes::kRdapMetric ||
                          (m_registrationFromRdap && Probes::metric(k).column == Registration);
        metrics[std::size_t(rdap ? Site::Rdap : Probes::metric(k).site)] << k;
    }
    int queues = 0;
    for (const QList<int> &m : metrics)
        queues += !m.isEmpty();
    setStopFlag(false);
    const quint64 generation = ++m_generation;
    if (queues == 0) // nothing ticked: nothing to wait for, the button is ready again
        co_return;

    setRunning(true);
    const QList<RowId> rows = m_table->rowIds();
    m_rowsPending.clear();
    for (RowId row : rows)
        m_rowsPending.insert(row, queues);
    for (int s = 0; s < Probes::kSiteCount; ++s)
        m_sites[std::size_t(s)] = {m_sites[std::size_t(s)].lastStartMs, 0, 0, rows.size(),
                                   !metrics[std::size_t(s)].isEmpty()};
    showProgress();

    std::vector<QCoro::Task<void>> walks;
    for (int s = 0; s < Probes::kSiteCount; ++s) {
        if (!metrics[std::size_t(s)].isEmpty())
            walks.push_back(walk(Site(s), metrics[std::size_t(s)], rows, generation, scope));
    }
    QPointer<QueryRun> self(this);
    for (QCoro::Task<void> &w : walks)
        co_await std::move(w);
    if (!self || generation != m_generation)
        co_return;
    setRunning(false);
    for (SiteState &state : m_sites)
        state.active = false;
    showProgress();
    Q_EMIT finished();
}

QCoro::Task<bool> QueryRun::paceRequest(Site site, QString registryHost, quint64 generation)
{
    QPointer<QueryRun> self(this);
    const bool registry = !registryHost.isEmpty();
    const qint64 lastStartMs = registry ? m_registryStartMs.value(registryHost, -1)
                                        : m_sites[std::size_t(site)].lastStartMs;
    const int pacing = registry && isLoopbackHost(registryHost) ? 0 : m_pacingMs[std::size_t(site)];
    if (pacing > 0 && lastStartMs >= 0) {
        // A random interval between the pacing and 1.2 times it, so requests do not tick.
        const qint64 interval = pacing + QRandomGenerator::global()->bounded(pacing / 5 + 1);
        const qint64 wait = lastStartMs + interval - m_clock->nowMs();
        if (wait > 0)
            co_await m_clock->pause(wait);
    }
    if (!self || stopped(generation))
        co_return false;
    if (registry)
        m_registryStartMs.insert(registryHost, m_clock->nowMs());
    else
        m_sites[std::size_t(site)].lastStartMs = m_clock->nowMs();
    co_return true;
}

std::function<QCoro::Task<bool>()> QueryRun::pacer(Site site, QString registryHost,
                                                   quint64 generation)
{
    return [self = QPointer(this), site, registryHost, generation]() -> QCoro::Task<bool> {
        if (!self)
            co_return false;
        const bool go = co_await self->paceRequest(site, registryHost, generation);
        co_return go;
    };
}

QCoro::Task<void> QueryRun::walk(Site site, QList<int> metrics, QList<RowId> rows,
                                 quint64 generation, Scope scope)
{
    QPointer<QueryRun> self(this);
    ++m_activeQueues;
    const QString name = Probes::siteName(site);
    Probes::ProbeEnv env;
    env.fetcher = m_fetcher;
    env.endpoints = m_endpoints;
    env.recipes = m_recipes;
    env.rdap = m_rdap;
    env.registrationRdap = m_registrationFromRdap ? m_rdap.data() : nullptr;
    env.beforeRequest = pacer(site, {}, generation);

    qsizetype next = 0;
    int refusedRows = 0;
    bool gaveUp = false;
    for (; next < rows.size() && !stopped(generation); ++next) {
        const RowId row = rows[next];
        bool rowRefused = false;
        for (int metric : metrics) {
            const std::optional<ProbeColumn> column = Probes::metric(metric).column;
            if (!m_table || m_table->rowOf(row) < 0)
                break; // the row went while an earlier one was measured
            // The re-query asks only cells that failed, were refused or were never filled.
            if (column && scope == Scope::UnfinishedCells &&
                m_table->cellStateOf(row, *column) == CellState::Value)
                continue;
            const QString domain = m_table->cellOf(row, kDomainColumn);
            if (site == Site::Rdap) {
                // The RDAP queue asks many registries, each paced by its own host; a name none
                // serves asks the registrar's page, paced as that site.
                const QString host = m_rdap ? m_rdap->registryHost(domain) : QString();
                env.beforeRequest = host.isEmpty() ? pacer(Site::Registrar, {}, generation)
                                                   : pacer(Site::Rdap, host, generation);
            }
            for (int attempt = 1;; ++attempt) {
                const std::optional<Probes::Measurement> m =
                    co_await Probes::measure(env, metric, domain);
                if (!self || !m || !m_table)
                    break;
                if (!m->proxyError.isEmpty() && m_proxyNoticeGeneration != generation) {
                    m_proxyNoticeGeneration = generation; // once a run is enough
                    Q_EMIT notice(QStringLiteral("代理无法使用：") + m->proxyError);
                }
                SiteState &state = m_sites[std::size_t(site)];
                const bool refused = m->state == CellState::Refused;
                if (!refused || attempt >= m_backoff.tries) {
                    state.refusalsInARow = refused ? state.refusalsInARow + 1 : 0;
                    if (column)
                        m_table->setCellOf(row, *column, m->cell, m->state);
                    if (const std::optional<ProbeColumn> second =
                            Probes::metric(metric).secondColumn)
                        m_table->setCellOf(row, *second,
                                           m->state == CellState::Value ? m->secondCell : m->cell,
                                           m->state);
                    if (column && !m->note.isEmpty())
                        m_table->setNoteOf(row, *column, m->note);
                    if (m->rdap)
                        Q_EMIT rdapRead(row, *m->rdap);
                    if (refused) {
                        rowRefused = true;
                        Q_EMIT siteRefused(name);
                    }
                    break;
                }
                // Refused: wait, longer with each refusal in a row, and ask the same row again.
                ++state.refusalsInARow;
                const qint64 pauseMs =
                    m_backoff.pauseMs(state.refusalsInARow, m->retryAfterSeconds);
                Q_EMIT notice(
                    QStringLiteral("%1：查询受限，%2 秒后重试").arg(name).arg(pauseMs / 1000));
                co_await m_clock->pause(pauseMs);
                if (!self || stopped(generation))
                    break;
            }
            if (!self || stopped(generation))
                break;
        }
        if (!self)
            co_return;
        if (generation == m_generation) {
            ++m_sites[std::size_t(site)].done;
            showProgress();
            passRow(row);
        }
        refusedRows = rowRefused ? refusedRows + 1 : 0;
        if (refusedRows >= kRefusedRowsToGiveUp) {
            gaveUp = true;
            ++next;
            break;
        }
    }
    if (!self)
        co_return;
    if (gaveUp)
        Q_EMIT notice(QStringLiteral("%1：连续 %2 行查询受限，已停止查询该站点")
                          .arg(name)
                          .arg(kRefusedRowsToGiveUp));
    // Rows this queue will not reach are passed too, so every row of the run finishes.
    for (; next < rows.size() && generation == m_generation; ++next)
        passRow(rows[next]);
    --m_activeQueues;
}
