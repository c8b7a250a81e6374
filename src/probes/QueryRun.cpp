#include "QueryRun.h"

#include "probes/Probes.h"

QueryRun::QueryRun(ResultTable *table, PageFetcher *fetcher, QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_fetcher(fetcher)
{
}

void QueryRun::setStopFlag(bool stop)
{
    if (m_stopFlag == stop)
        return;
    m_stopFlag = stop;
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

void QueryRun::setCaption(const QString &caption)
{
    if (m_caption == caption)
        return;
    m_caption = caption;
    Q_EMIT captionChanged(caption);
}

void QueryRun::abandon()
{
    ++m_generation;
    setCaption(kStartCaption);
}

QCoro::Task<void> QueryRun::startOrStop()
{
    if (!m_table || m_table->rowCount() == 0 || m_table->cell(0, kDomainColumn) == kBlankCell) {
        Q_EMIT refusedEmptyTable();
        co_return;
    }
    if (m_caption != kStopCaption) {
        setCaption(kStopCaption);
        setStopFlag(false);
        ++m_generation;
    } else {
        setCaption(kStartCaption);
        setStopFlag(true);
    }
    const quint64 generation = m_generation;
    bool ranAny = false;
    // A stop click calls the ticked probes too; each ends before its first row.
    for (int k = 0; k < int(m_ticked.size()); ++k) {
        if (!m_ticked[k])
            continue;
        ranAny = true;
        co_await callProbe(k, generation);
    }
    // A start with nothing ticked has nothing to wait for: the button is ready again.
    if (!ranAny && generation == m_generation)
        setCaption(kStartCaption);
    Q_EMIT finished();
}

QCoro::Task<void> QueryRun::callProbe(int metricIndex, quint64 generation)
{
    const bool current = generation == m_generation;
    if (current)
        setCaption(kStopCaption);
    const QString caption = Probes::metric(metricIndex).caption;

    Probes::ProbeEnv env;
    env.table = m_table;
    env.fetcher = m_fetcher;
    env.endpoints = m_endpoints;
    QPointer<QueryRun> self(this);
    env.shouldStop = [self, generation] {
        return !self || self->m_stopFlag || self->m_generation != generation;
    };
    env.progress = [self, caption, generation](qsizetype done, qsizetype total) {
        if (self && self->m_generation == generation)
            Q_EMIT self->progress(caption, done, total);
    };
    env.refused = [self, metricIndex] {
        if (self)
            Q_EMIT self->siteRefused(Probes::siteName(Probes::metric(metricIndex).site));
    };
    env.answerPage = [self](const QString &page) {
        if (self)
            self->m_lastAnswerPage = page;
    };

    ++m_activeProbes;
    co_await Probes::runProbe(std::move(env), metricIndex);
    if (!self)
        co_return;
    --m_activeProbes;
    // A run that a newer start has replaced leaves the button to the newer run.
    if (generation == m_generation) {
        setCaption(kStartCaption);
        Q_EMIT progress(caption, 0, 0);
    }
}
