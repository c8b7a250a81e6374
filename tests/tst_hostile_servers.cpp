// Every reader of pages against misbehaving servers: its documented result, nothing held, no hang.
#include "Fixture.h"
#include "Reference.h"
#include "lookup/DetailLookup.h"
#include "probes/QueryRun.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "sources/SourceLists.h"
#include "table/ResultTable.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;
using Field = DetailLookup::Field;

namespace {

constexpr qint64 kMiB = 1024 * 1024;
const QDate kToday(2026, 12, 6);

struct Consumer {
    const char *name;
    Route route;
    QString Endpoints::*host;
};
// Who reads a page: the eight probes by metric index, then the rest.
const Consumer kConsumers[] = {
    {"baidu", Route::BaiduSite, &Endpoints::baidu},
    {"baidufl", Route::BaiduDomain, &Endpoints::baidu},
    {"google", Route::Google, &Endpoints::google},
    {"yahoo", Route::YahooPages, &Endpoints::yahoo},
    {"yahooflwww", Route::YahooLinks, &Endpoints::yahoo},
    {"yahoofl", Route::YahooLinks, &Endpoints::yahoo},
    {"pr", Route::PageRank, &Endpoints::pagerank},
    {"zhuce", Route::Registrar, &Endpoints::registrar},
    {"pr answer", Route::PageRankFrame, &Endpoints::pagerank}, // the PR probe's second page
    {"daily list", Route::DailyList, &Endpoints::dailyLists},
    {"cn list", Route::CnRegistryList, &Endpoints::cnRegistry},
    {"lookup dates", Route::DeletionTool, &Endpoints::deletionTool},
    {"lookup filing", Route::Icp, &Endpoints::icp},
};
enum : int { PageRankAnswer = Probes::kMetricCount, DailyLoader, CnLoader, LookupDates };

// Failed: no page at all, or an error page. Refused: the site's "no more queries" answer.
// Unmarked: a page without what the reader looks for. Marked: the page the reader expects.
enum Outcome { Failed, Refused, Unmarked, Marked };

// A domain whose every page has its marker: "no marker" and "failed" differ from its values.
QString fullyMarkedDomain()
{
    for (int i = 0;; ++i) {
        const QString d = QStringLiteral("hostile%1.com").arg(i);
        bool all = SimContent::registrable(d) && !SimContent::pageRankFrameEndsWithLineFeed(d) &&
                   !SimContent::deletionInfo(d).cells.isEmpty() &&
                   !SimContent::icpNumber(d).isEmpty();
        for (int k = 0; all && k < Probes::kMetricCount; ++k)
            all = expectedCell(k, d) != u"0";
        if (all)
            return d;
    }
}

} // namespace

class TestHostileServers : public QObject {
    Q_OBJECT

    SimFixture m_f;
    QString m_domain;

private Q_SLOTS:
    void initTestCase()
    {
        m_domain = fullyMarkedDomain();
        // Shorter still: a server that never ends costs a fraction of a second.
        m_f.fetcher.setLimits(
            {.transferTimeoutMs = 300, .totalDeadlineMs = 800, .maxBodyBytes = kMiB});
    }
    void init() { m_f.reset(); }

    void serverFaults_data()
    {
        QTest::addColumn<int>("consumer");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("outcome");
        const QList<std::tuple<const char *, Fault, Outcome>> faults = {
            {"connection refused", Fault::none(), Failed}, // the port is closed
            {"closed at once", Fault::refuse(), Failed},
            {"never answers", Fault::hang(), Failed},
            {"drips forever", Fault::drip(100), Failed},
            {"cut mid-way", Fault::truncated(), Failed},
            {"over the cap", Fault::oversized(2 * kMiB), Failed},
            {"inflates past the cap", Fault::gzipBomb(2), Failed},
            {"redirect loop", Fault::redirectLoop(), Failed},
            {"503 with the page", Fault::errorStatus(503), Failed},
            {"429", Fault::throttled(429), Refused},
            {"503 block page", Fault::blocked(503), Refused},
            {"200 block page", Fault::blocked(200), Refused},
            {"200 without markers", Fault::body("<html><body>维护中</body></html>"), Unmarked},
            {"invalid sequences", Fault::invalidBytes(), Marked},
            {"NUL bytes first", Fault::prefixed(QByteArray("\0\0", 2)), Marked},
        };
        for (int c = 0; c < int(std::size(kConsumers)); ++c) {
            for (const auto &[name, fault, outcome] : faults)
                QTest::addRow("%s, %s", kConsumers[c].name, name) << c << fault << int(outcome);
        }
    }
    void serverFaults()
    {
        QFETCH(int, consumer);
        QFETCH(Fault, fault);
        QFETCH(int, outcome);
        Endpoints endpoints = m_f.endpoints();
        const QString closed = u"127.0.0.1:%1"_s.arg(closedPort());
        if (fault.kind != SiteSimulator::FaultKind::None)
            m_f.sim.setFault(kConsumers[consumer].route, fault);
        else if (consumer == PageRankAnswer) // its host comes from the tool's page
            m_f.sim.setFault(Route::PageRank,
                             Fault::body(SimContent::pageRankPage(m_domain, closed)));
        else
            endpoints.*(kConsumers[consumer].host) = closed;
        const bool failed = outcome == Failed || outcome == Refused;
        const QString failure = outcome == Refused ? kQueryRefused : kQueryFailed;

        if (consumer <= PageRankAnswer) {
            const int metric = consumer == PageRankAnswer ? 6 : consumer;
            const int column = *Probes::metric(metric).column;
            ResultTable table;
            Sources::importCategory(table, {m_domain});
            QueryRun run(&table, &m_f.fetcher);
            run.setEndpoints(endpoints);
            run.setBackoff({1, 1, 1}); // a refusal is written at once
            run.setTicked(metric, true);
            await(run.startOrStop());
            // An answer frame without a rank is a failure, unlike a tool page without a frame.
            const QString want = failed || (outcome == Unmarked && consumer == PageRankAnswer)
                                     ? failure
                                 : outcome == Marked ? expectedCell(metric, m_domain)
                                 : metric == 7       ? kRegistered
                                                     : u"0"_s;
            for (int c = 2; c < kColumnCount; ++c)
                QCOMPARE(table.cell(0, c), c == column ? want : kBlankCell);
            // The run decides on the cell's state, which must say what its text says.
            QCOMPARE(table.cellState(0, column), outcome == Refused ? CellState::Refused
                                                 : want == failure  ? CellState::Failed
                                                                    : CellState::Value);
        } else if (consumer == DailyLoader || consumer == CnLoader) {
            // Only a 2xx page is a list, and only the names on it are filed.
            DeletionLists lists(&m_f.fetcher, kToday);
            lists.setEndpoints(endpoints);
            const bool daily = consumer == DailyLoader;
            const QString address =
                daily
                    ? u"http://%1/%2.txt"_s.arg(endpoints.dailyLists, lists.dayDate())
                    : u"http://%1/download/registar_list/1todayDel.txt"_s.arg(endpoints.cnRegistry);
            const FetchResult page = await(m_f.fetcher.fetch(address, Charset::Gb2312));
            QSignalSpy downloadFailed(&lists, &DeletionLists::downloadFailed);
            await(daily ? lists.loadDay(DeletionLists::kToday, kToday) : lists.reloadCnList());
            QCOMPARE(downloadFailed.size(), page.gotPage() ? 0 : 1);
            Sources::SourceLists want;
            if (page.gotPage())
                Reference::fileText(page.text, !daily, want);
            for (int i = daily ? 0 : Sources::NetCn; i < (daily ? Sources::NetCn : 10); ++i)
                QCOMPARE(lists.list(i), want[std::size_t(i)]);
        } else {
            DetailLookup lookup(&m_f.fetcher);
            lookup.setEndpoints(endpoints);
            QMap<Field, QString> values;
            connect(&lookup, &DetailLookup::valueChanged, this,
                    [&](Field field, const QString &text) { values[field] = text; });
            QSignalSpy fetchFailed(&lookup, &DetailLookup::fetchFailed);
            await(lookup.lookUp(m_domain));
            QCOMPARE(fetchFailed.size(), failed ? 1 : 0);
            const bool dates = consumer == LookupDates;
            QString registered = SimContent::deletionInfo(m_domain).cells[2];
            QString filed = SimContent::icpNumber(m_domain);
            if (outcome != Marked)
                (dates ? registered : filed) = failed  ? failure
                                               : dates ? DetailLookup::kReset
                                                       : DetailLookup::kNotFiled;
            QCOMPARE(values[Field::Registered], registered);
            QCOMPARE(values[Field::Filing], filed);
        }
    }

    // A request ended early gives its connection back, or a few leave the host unreachable.
    void endedRequestsFreeTheirConnections_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::newRow("never answers") << Fault::hang();
        QTest::newRow("drips forever") << Fault::drip(50);
        QTest::newRow("over the cap") << Fault::oversized(2 * kMiB);
    }
    void endedRequestsFreeTheirConnections()
    {
        QFETCH(Fault, fault);
        PageFetcher fetcher;
        fetcher.setLimits({.transferTimeoutMs = 200, .totalDeadlineMs = 400, .maxBodyBytes = kMiB});
        const QString page = m_f.address(u"/search?bwm=p&p=a.com"_s);
        m_f.sim.setFault(Route::YahooPages, fault);
        for (int i = 0; i < 8; ++i) // more than the connections Qt opens to one host
            QVERIFY(!await(fetcher.fetch(page, Charset::Utf8)).gotPage());
        m_f.sim.clearFaults();
        const FetchResult r = await(fetcher.fetch(page, Charset::Utf8));
        QVERIFY2(r.gotPage(), qPrintable(r.error));
        QCOMPARE(r.text, QString::fromUtf8(SimContent::yahooPagesPage(u"a.com"_s)));
    }

    // The fetcher goes (the window closes) during a wait: the reader ends, writes and asks nothing.
    void fetcherGoesDuringAWait_data()
    {
        QTest::addColumn<int>("consumer");
        for (int c : {0, int(PageRankAnswer), int(DailyLoader), int(LookupDates)})
            QTest::newRow(kConsumers[c].name) << c;
    }
    void fetcherGoesDuringAWait()
    {
        QFETCH(int, consumer);
        const Route route = kConsumers[consumer].route;
        m_f.sim.hold(route);
        auto fetcher = std::make_unique<PageFetcher>();
        ResultTable table;
        Sources::importCategory(table, {m_domain, u"second.com"_s});
        QueryRun run(&table, fetcher.get());
        run.setEndpoints(m_f.endpoints());
        if (consumer <= PageRankAnswer)
            run.setTicked(consumer == PageRankAnswer ? 6 : consumer, true);
        DeletionLists lists(fetcher.get(), kToday);
        lists.setEndpoints(m_f.endpoints());
        DetailLookup lookup(fetcher.get());
        lookup.setEndpoints(m_f.endpoints());
        QCoro::Task<void> task = consumer <= PageRankAnswer ? run.startOrStop()
                                 : consumer == DailyLoader  ? lists.loadDay(2, kToday)
                                                            : lookup.lookUp(m_domain);
        bool done = false;
        task.then([&] { done = true; });
        QTRY_COMPARE(m_f.sim.heldCount(route), 1);
        fetcher.reset();
        QTRY_VERIFY(done);
        for (int c = 2; c < kColumnCount; ++c)
            QCOMPARE(table.cell(0, c), kBlankCell);
        QCOMPARE(lists.lists(), Sources::SourceLists());
        QCOMPARE(m_f.sim.requestCount(), consumer == PageRankAnswer ? 2 : 1);
    }
};

QTEST_GUILESS_MAIN(TestHostileServers)
#include "tst_hostile_servers.moc"
