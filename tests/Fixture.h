#pragma once

// What the suites share: a simulator on loopback, a fetcher with short limits, expected cells.

#include "SimApis.h"
#include "SimContent.h"
#include "SiteSimulator.h"
#include "fetch/PageFetcher.h"
#include "probes/Probes.h"
#include "probes/Recipes.h"
#include "probes/RunClock.h"
#include "rdap/RdapBootstrap.h"
#include "session/StartOptions.h"
#include "text/Words.h"

#include <QString>
#include <QTcpServer>
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
    return {.transferTimeoutMs = 500, .totalDeadlineMs = 1500, .maxBodyBytes = 1024 * 1024};
}

// A loopback port nothing listens on.
inline quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

inline StartOptions optionsAt(const Endpoints &endpoints)
{
    // Downloaded lists are kept out of the user's cache folder.
    static const QTemporaryDir listCache;
    StartOptions options;
    options.endpoints = endpoints;
    options.listCacheFolder = listCache.path();
    return options;
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
    // Between test functions: no fault, no held request, an empty log.
    void reset()
    {
        sim.clearFaults();
        sim.release(Route::All);
        sim.clearLog();
    }
    Endpoints endpoints() const { return sim.endpoints(); }
    // What a session or window starts with here: every site at the simulator, no registry.
    StartOptions options() const { return optionsAt(endpoints()); }
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

// Virtual time: every pause is recorded and passes at once, after one return to the event loop.
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

// Keeps a suite off the user's files, and off those of another suite running beside it.
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

// What the simulator's page for `domain` must make metric `metricIndex` write.
// The cell of metric `metricIndex` for `domain`, or of its second column when `second`.
inline QString expectedCell(int metricIndex, const QString &domain, bool second = false)
{
    const ProbeColumn column = *Probes::metric(metricIndex).column;
    if (column == ArchiveFirstYear) {
        const QList<int> years = SimContent::archiveYears(domain);
        if (SimContent::archiveShape(domain) == SimContent::ArchiveShape::Malformed)
            return kQueryFailed;
        if (second)
            return QString::number(years.size());
        return years.isEmpty() ? kNoArchive : QString::number(years.first());
    }
    if (column == OtherSuffixes) {
        const QString label = domain.section(u'.', 0, 0).toLower();
        const QString own = domain.section(u'.', 1).toLower();
        int taken = 0;
        int asked = 0;
        for (const char *suffix :
             {"com", "info", "net", "org", "biz", "cn", "com.cn", "net.cn", "org.cn"}) {
            if (own == QLatin1String(suffix))
                continue;
            const SimContent::DohShape shape =
                SimContent::dohShape(label + u'.' + QLatin1String(suffix));
            if (shape == SimContent::DohShape::ServFail || shape == SimContent::DohShape::Malformed)
                return kQueryFailed;
            ++asked;
            taken += shape == SimContent::DohShape::Taken;
        }
        return QStringLiteral("%1/%2").arg(taken).arg(asked);
    }
    if (column == Registration)
        return SimContent::registrable(domain) ? kRegistrable : kRegistered;
    QString cell = column == BaiduSite || column == BaiduDomain
                       ? SimContent::baiduCount(domain, column == BaiduSite).remove(u' ')
                   : column == GoogleSite ? SimContent::googleCount(domain)
                   : column == YahooPages ? SimContent::yahooPages(domain)
                   : column == YahooLinksWww
                       ? SimContent::yahooLinks(QStringLiteral("www.") + domain)
                   : column == YahooLinksBare ? SimContent::yahooLinks(domain)
                                              : SimContent::pageRank(domain);
    return cell.isEmpty() ? QStringLiteral("0") : cell;
}

// The route a probe's first page is asked on, by metric index.
inline Route routeOfMetric(int metricIndex)
{
    static const Route routes[] = {Route::BaiduSite,  Route::BaiduDomain, Route::Google,
                                   Route::YahooPages, Route::YahooLinks,  Route::YahooLinks,
                                   Route::PageRank,   Route::Registrar};
    return routes[metricIndex];
}
