// Every reader of pages against servers that misbehave: each ends with its documented result,
// frees what it held, and never waits for ever.
#include "Fixture.h"
#include "Reference.h"
#include "lookup/DetailLookup.h"
#include "lookup/DetailScrape.h"
#include "probes/QueryRun.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "sources/SourceLists.h"
#include "table/ResultTable.h"

#include <QSignalSpy>
#include <QTcpServer>

using namespace Qt::StringLiterals;
using Field = DetailLookup::Field;

namespace {

constexpr qint64 kMiB = 1024 * 1024;
const QDate kToday(2026, 12, 6);

// Who reads a page: the eight probes by metric index, then the rest.
enum Consumer : int {
    PageRankAnswer = Probes::kMetricCount, // the PageRank probe's second page
    DailyLoader,
    CnLoader,
    LookupDates,
    LookupFiling,
    ConsumerCount,
};

struct ConsumerInfo {
    const char *name;
    Route route;
    const char *endpoint;
};

ConsumerInfo info(int consumer)
{
    switch (consumer) {
    case PageRankAnswer:
        return {"pr answer", Route::PageRankFrame, "pagerank"};
    case DailyLoader:
        return {"daily list", Route::DailyList, "daily_lists"};
    case CnLoader:
        return {"cn list", Route::CnRegistryList, "cn_registry"};
    case LookupDates:
        return {"lookup dates", Route::DeletionTool, "deletion_tool"};
    case LookupFiling:
        return {"lookup filing", Route::Icp, "icp"};
    }
    static const char *const endpoints[] = {"baidu", "baidu", "google",   "yahoo",
                                            "yahoo", "yahoo", "pagerank", "registrar"};
    static const QByteArray names[] = {"baidu",      "baidufl", "google", "yahoo",
                                       "yahooflwww", "yahoofl", "pr",     "zhuce"};
    return {names[consumer].constData(), routeOfMetric(consumer), endpoints[consumer]};
}

// Failed: no page at all, or an error page. Refused: the site's "no more queries" answer.
// Unmarked: a page without what the reader looks for. Marked: the page the reader expects.
enum class Outcome { Failed, Refused, Unmarked, Marked };

struct FaultCase {
    const char *name;
    Fault fault;
    Outcome outcome;
};

const QList<FaultCase> &faultCases()
{
    static const QList<FaultCase> cases = {
        {"connection refused", Fault::none(), Outcome::Failed}, // the port is closed
        {"closed at once", Fault::refuse(), Outcome::Failed},
        {"never answers", Fault::hang(), Outcome::Failed},
        {"drips forever", Fault::drip(100), Outcome::Failed},
        {"cut mid-way", Fault::truncated(), Outcome::Failed},
        {"over the cap", Fault::oversized(2 * kMiB), Outcome::Failed},
        {"inflates past the cap", Fault::gzipBomb(2), Outcome::Failed},
        {"redirect loop", Fault::redirectLoop(), Outcome::Failed},
        {"5 MB single line", Fault::body(QByteArray(5 * kMiB, 'x')), Outcome::Failed},
        {"400 page", Fault::body("<html><body>Bad Request</body></html>\r\n", 400),
         Outcome::Failed},
        {"404 with the page", Fault::errorStatus(404), Outcome::Failed},
        {"503 with the page", Fault::errorStatus(503), Outcome::Failed},
        {"429", Fault::throttled(429), Outcome::Refused},
        {"503 block page", Fault::blocked(503), Outcome::Refused},
        {"200 block page", Fault::blocked(200), Outcome::Refused},
        {"200 without markers", Fault::body("<html><body>维护中</body></html>"), Outcome::Unmarked},
        {"invalid sequences", Fault::invalidBytes(), Outcome::Marked},
        {"NUL bytes first", Fault::prefixed(QByteArray("\0\0", 2)), Outcome::Marked},
    };
    return cases;
}

QString failureText(Outcome outcome)
{
    return outcome == Outcome::Refused ? kQueryRefused : kQueryFailed;
}

// A domain whose every page carries its marker, so that "no marker" and "failed" both differ
// from its real value everywhere.
QString fullyMarkedDomain()
{
    for (int i = 0;; ++i) {
        const QString d = QStringLiteral("hostile%1.com").arg(i);
        bool all =
            SimContent::registrable(d) && !SimContent::pageRank(d).isEmpty() &&
            SimContent::pageRank(d) != u"0" && !SimContent::pageRankFrameEndsWithLineFeed(d) &&
            !SimContent::deletionInfo(d).cells.isEmpty() && !SimContent::icpNumber(d).isEmpty();
        for (int k = 0; all && k < Probes::kMetricCount; ++k)
            all = expectedCell(k, d) != u"0";
        if (all)
            return d;
    }
}

QString closedPort()
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    return QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
}

QMap<Field, QString> lookUp(DetailLookup &lookup, const QString &domain, int *failures)
{
    QMap<Field, QString> values;
    QObject context;
    QObject::connect(&lookup, &DetailLookup::valueChanged, &context,
                     [&](Field field, const QString &text) { values[field] = text; });
    QSignalSpy failed(&lookup, &DetailLookup::fetchFailed);
    await(lookup.lookUp(domain));
    *failures = int(failed.size());
    return values;
}

} // namespace

class TestHostileServers : public QObject {
    Q_OBJECT

    SimFixture m_f;
    QString m_domain;

    QString probeOne(int metric, const Endpoints &endpoints)
    {
        ResultTable table;
        Sources::importCategory(table, {m_domain});
        QueryRun run(&table, &m_f.fetcher);
        run.setEndpoints(endpoints);
        run.setBackoff({1, 1, 1}); // a refusal is written at once
        run.setTicked(metric, true);
        await(run.startOrStop());
        for (int c = 2; c < kColumnCount; ++c) {
            if (c != Probes::metric(metric).column && table.cell(0, c) != kBlankCell)
                return u"wrote column %1"_s.arg(c);
        }
        return table.cell(0, Probes::metric(metric).column);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_domain = fullyMarkedDomain();
        // Shorter still: a server that never ends costs a fraction of a second.
        PageFetcher::Limits limits = shortLimits();
        limits.transferTimeoutMs = 300;
        limits.totalDeadlineMs = 800;
        m_f.fetcher.setLimits(limits);
    }
    void init()
    {
        m_f.sim.clearFaults();
        m_f.sim.clearLog();
        m_f.sim.release(Route::All);
    }

    void serverFaults_data()
    {
        QTest::addColumn<int>("consumer");
        QTest::addColumn<int>("faultIndex");
        for (int c = 0; c < ConsumerCount; ++c) {
            for (int f = 0; f < faultCases().size(); ++f)
                QTest::addRow("%s, %s", info(c).name, faultCases()[f].name) << c << f;
        }
    }
    void serverFaults()
    {
        QFETCH(int, consumer);
        QFETCH(int, faultIndex);
        const FaultCase &fc = faultCases()[faultIndex];
        const ConsumerInfo who = info(consumer);
        Endpoints endpoints = m_f.endpoints();
        if (fc.fault.kind != SiteSimulator::FaultKind::None) {
            m_f.sim.setFault(who.route, fc.fault);
        } else if (consumer == PageRankAnswer) {
            // The answer page's host comes from the tool's page, not from the endpoints.
            m_f.sim.setFault(Route::PageRank,
                             Fault::body(SimContent::pageRankPage(m_domain, closedPort())));
        } else {
            QVERIFY(endpoints.setHost(QLatin1String(who.endpoint), closedPort()));
        }

        const bool failed = fc.outcome == Outcome::Failed || fc.outcome == Outcome::Refused;
        if (consumer <= PageRankAnswer) {
            const int metric = consumer == PageRankAnswer ? 6 : consumer;
            const QString unmarked = metric == 7 ? Probes::kRegistered : u"0"_s;
            QCOMPARE(probeOne(metric, endpoints), failed ? failureText(fc.outcome)
                                                  : fc.outcome == Outcome::Unmarked
                                                      ? unmarked
                                                      : expectedCell(metric, m_domain));
        } else if (consumer == DailyLoader || consumer == CnLoader) {
            // Only a 2xx page is a list; whatever it holds that is not a name is skipped.
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
            QCOMPARE(page.gotPage(),
                     !failed || (fc.fault.kind == SiteSimulator::FaultKind::Blocked &&
                                 fc.fault.value == 200));
            Sources::SourceLists want;
            for (QStringView line : Sources::cutLines(page.gotPage() ? page.text : QString())) {
                const auto [entry, index] = Reference::filing(line, !daily);
                if (index >= 0)
                    want[std::size_t(index)] << entry;
            }
            for (int i = daily ? 0 : Sources::NetCn; i < (daily ? Sources::NetCn : 10); ++i)
                QCOMPARE(lists.list(i), want[std::size_t(i)]);
        } else {
            DetailLookup lookup(&m_f.fetcher);
            lookup.setEndpoints(endpoints);
            int failures = 0;
            const QMap<Field, QString> values = lookUp(lookup, m_domain, &failures);
            QCOMPARE(failures, failed ? 1 : 0);
            const SimContent::DeletionInfo dates = SimContent::deletionInfo(m_domain);
            const bool datesAsked = consumer == LookupDates;
            const QString registered = !datesAsked || fc.outcome == Outcome::Marked ? dates.cells[2]
                                       : failed ? failureText(fc.outcome)
                                                : DetailLookup::kReset;
            QCOMPARE(values[Field::Registered], registered);
            const QString filed = SimContent::icpNumber(m_domain);
            QCOMPARE(values[Field::Filing], datesAsked || fc.outcome == Outcome::Marked ? filed
                                            : failed ? failureText(fc.outcome)
                                                     : DetailLookup::kNotFiled);
        }
    }

    // A host gets a handful of connections; every request ended early must give its own back,
    // or a few hostile answers leave the host unreachable for the rest of the session.
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
        PageFetcher::Limits limits = shortLimits();
        limits.transferTimeoutMs = 200;
        limits.totalDeadlineMs = 400;
        fetcher.setLimits(limits);
        const QString page = m_f.address(u"/search?bwm=p&p=a.com"_s);
        m_f.sim.setFault(Route::YahooPages, fault);
        for (int i = 0; i < 8; ++i) // more than the connections Qt opens to one host
            QVERIFY(!await(fetcher.fetch(page, Charset::Utf8)).gotPage());
        m_f.sim.clearFaults();
        const FetchResult r = await(fetcher.fetch(page, Charset::Utf8));
        QVERIFY2(r.gotPage(), qPrintable(r.error));
        QCOMPARE(r.text, QString::fromUtf8(SimContent::yahooPagesPage(u"a.com"_s)));
    }

    // The window, and the fetcher with it, may go while a server holds an answer back: whatever
    // waited for that page ends, writes nothing and asks for nothing more.
    void fetcherGoesDuringAWait_data()
    {
        QTest::addColumn<int>("consumer");
        for (int c : {0, int(PageRankAnswer), int(DailyLoader), int(LookupDates)})
            QTest::newRow(info(c).name) << c;
    }
    void fetcherGoesDuringAWait()
    {
        QFETCH(int, consumer);
        const Route route = info(consumer).route;
        m_f.sim.hold(route);
        auto fetcher = std::make_unique<PageFetcher>();
        ResultTable table;
        Sources::importCategory(table, {m_domain, u"second.com"_s});
        QueryRun run(&table, fetcher.get());
        run.setEndpoints(m_f.endpoints());
        DeletionLists lists(fetcher.get(), kToday);
        lists.setEndpoints(m_f.endpoints());
        DetailLookup lookup(fetcher.get());
        lookup.setEndpoints(m_f.endpoints());
        QCoro::Task<void> task = [&]() -> QCoro::Task<void> {
            if (consumer <= PageRankAnswer) {
                run.setTicked(consumer == PageRankAnswer ? 6 : consumer, true);
                return run.startOrStop();
            }
            return consumer == DailyLoader ? lists.loadDay(2, kToday) : lookup.lookUp(m_domain);
        }();
        bool done = false;
        task.then([&] { done = true; });
        QTRY_COMPARE(m_f.sim.heldCount(route), 1);
        fetcher.reset();
        QTRY_VERIFY(done);
        for (int c = 2; c < kColumnCount; ++c)
            QCOMPARE(table.cell(0, c), kBlankCell);
        for (const QStringList &list : lists.lists())
            QVERIFY(list.isEmpty());
        QCOMPARE(m_f.sim.requestCount(), consumer == PageRankAnswer ? 2 : 1);
    }
};

QTEST_GUILESS_MAIN(TestHostileServers)
#include "tst_hostile_servers.moc"
