#pragma once

// What the suites share: a simulator of every site on loopback, a fetcher with short limits,
// and what the simulator's pages must make each probe write.

#include "SimContent.h"
#include "SiteSimulator.h"
#include "fetch/PageFetcher.h"
#include "probes/Probes.h"
#include "probes/Recipes.h"
#include "probes/RunClock.h"
#include "rdap/RdapBootstrap.h"
#include "text/Failure.h"

#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <QCoroTask>
#include <QCoroTimer>

#include <chrono>

using Route = SiteSimulator::Route;
using Fault = SiteSimulator::Fault;

// Limits short enough that a hanging or dripping server fails a fetch in about a second.
inline PageFetcher::Limits shortLimits()
{
    PageFetcher::Limits limits;
    limits.transferTimeoutMs = 500;
    limits.totalDeadlineMs = 1500;
    limits.maxBodyBytes = 1024 * 1024;
    return limits;
}

struct SimFixture {
    SiteSimulator sim;
    PageFetcher fetcher;

    SimFixture()
    {
        if (!sim.listen())
            qFatal("the simulator cannot listen on loopback");
        fetcher.setLimits(shortLimits());
    }
    Endpoints endpoints() const { return sim.endpoints(); }
    // The simulator as every registry's RDAP server.
    RdapBootstrap rdapBootstrap() const
    {
        return *RdapBootstrap::parse(
            SimContent::rdapBootstrap(sim.hostPort(), QDateTime::currentDateTimeUtc()), nullptr);
    }
    QString address(const QString &pathAndQuery) const
    {
        return QStringLiteral("http://") + sim.hostPort() + pathAndQuery;
    }
};

// A run's clock in virtual time: every pause is recorded and passes at once (after one return to
// the event loop), so pacing and back-off are checked without real sleeps.
class FakeClock final : public RunClock {
public:
    QList<qint64> pauses;
    qint64 nowMs() const override { return m_now; }
    QCoro::Task<void> pause(qint64 ms) override
    {
        pauses << ms;
        m_now += ms;
        co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    }

private:
    qint64 m_now = 1'000'000;
};

// Points this process's configuration, data and cache folders at a fresh temporary folder, so a
// suite never reads or writes the user's files, nor another suite's running beside it.
inline void isolateUserFolders()
{
    static QTemporaryDir home;
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, home.filePath(QString::fromLatin1(name)).toUtf8());
}

template <typename T> T await(QCoro::Task<T> task)
{
    return QCoro::waitFor(std::move(task));
}
inline void await(QCoro::Task<void> task)
{
    QCoro::waitFor(std::move(task));
}

// What the simulator's page for `domain` must make metric `metricIndex` write.
inline QString expectedCell(int metricIndex, const QString &domain)
{
    const auto orZero = [](const QString &s) { return s.isEmpty() ? QStringLiteral("0") : s; };
    switch (Probes::metric(metricIndex).column) {
    case BaiduSite:
        return orZero(SimContent::baiduCount(domain, true).remove(u' '));
    case BaiduDomain:
        return orZero(SimContent::baiduCount(domain, false).remove(u' '));
    case GoogleSite:
        return orZero(SimContent::googleCount(domain));
    case YahooPages:
        return orZero(SimContent::yahooPages(domain));
    case YahooLinksWww:
        return orZero(SimContent::yahooLinks(QStringLiteral("www.") + domain));
    case YahooLinksBare:
        return orZero(SimContent::yahooLinks(domain));
    case PageRank: {
        const QString rank = SimContent::pageRank(domain);
        if (rank.isEmpty())
            return QStringLiteral("0");
        return SimContent::pageRankFrameEndsWithLineFeed(domain) ? rank + u'\n' : rank;
    }
    case Registration:
        return SimContent::registrable(domain) ? Probes::kRegistrable : Probes::kRegistered;
    }
    return {};
}

// The route a probe's first page is asked on.
inline Route routeOfMetric(int metricIndex)
{
    switch (Probes::metric(metricIndex).column) {
    case BaiduSite:
        return Route::BaiduSite;
    case BaiduDomain:
        return Route::BaiduDomain;
    case GoogleSite:
        return Route::Google;
    case YahooPages:
        return Route::YahooPages;
    case YahooLinksWww:
    case YahooLinksBare:
        return Route::YahooLinks;
    case PageRank:
        return Route::PageRank;
    case Registration:
        return Route::Registrar;
    }
    return Route::NotFound;
}
