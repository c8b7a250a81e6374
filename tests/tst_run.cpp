// The run driver: one queue per site side by side, pacing, back-off, stop, restart and the
// rules that end a run.
#include "Fixture.h"
#include "probes/QueryRun.h"
#include "rdap/RdapClient.h"
#include "session/Session.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "table/ResultTable.h"

#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTcpServer>

using namespace Qt::StringLiterals;
using Site = Probes::Site;

namespace {

QStringList domains(int n)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << u"name%1.com"_s.arg(i);
    return out;
}

} // namespace

class TestRun : public QObject {
    Q_OBJECT

    SimFixture m_f;
    ResultTable m_table;
    QueryRun *m_run = nullptr;
    FakeClock *m_clock = nullptr;

    void tick(std::initializer_list<int> metrics)
    {
        for (int k = 0; k < Probes::kMetricCount; ++k)
            m_run->setTicked(k, false);
        for (int k : metrics)
            m_run->setTicked(k, true);
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < m_table.rowCount(); ++r)
            out << m_table.cell(r, c);
        return out;
    }

private Q_SLOTS:
    void init()
    {
        m_f.sim.clearFaults();
        m_f.sim.release(Route::All);
        m_f.sim.clearLog();
        m_run = new QueryRun(&m_table, &m_f.fetcher, this);
        m_run->setEndpoints(m_f.endpoints());
        m_clock = new FakeClock;
        m_clock->setParent(m_run);
        m_run->setClock(m_clock);
    }
    void cleanup()
    {
        delete m_run;
        m_f.sim.release(Route::All);
    }

    void emptyGridIsRefused()
    {
        m_table.clear();
        QSignalSpy refused(m_run, &QueryRun::refusedEmptyTable);
        tick({0});
        await(m_run->startOrStop());
        QCOMPARE(refused.size(), 1);
        QCOMPARE(m_run->caption(), QueryRun::kStartCaption);
        QCOMPARE(m_f.sim.requestCount(), 0);
    }

    // All eight metrics: every cell as a sequential run leaves it; each site's queue asks row
    // by row, its metrics in order, while the other sites' queues go on beside it.
    void queuesRunSideBySide()
    {
        const QStringList names = domains(12);
        Sources::importCategory(m_table, names);
        tick({0, 1, 2, 3, 4, 5, 6, 7});
        QSignalSpy finishedRows(m_run, &QueryRun::rowFinished);
        QStringList progress;
        connect(m_run, &QueryRun::progressChanged, this, [&](const QString &t) { progress << t; });
        await(m_run->startOrStop());
        for (int k = 0; k < Probes::kMetricCount; ++k) {
            for (int r = 0; r < names.size(); ++r)
                QCOMPARE(m_table.cell(r, Probes::metric(k).column), expectedCell(k, names[r]));
        }
        QCOMPARE(m_run->caption(), QueryRun::kStartCaption);
        QCOMPARE(finishedRows.size(), names.size());
        QVERIFY(progress.contains(
            u"百度 12/12 · google 12/12 · yahoo 12/12 · 注册 12/12 · PR 12/12"_s));
        QCOMPARE(progress.last(), QString());
        // The baidu queue asks both of its metrics for a row before the next row.
        const QStringList baidu =
            m_f.sim.requestTargets(Route::BaiduSite) + m_f.sim.requestTargets(Route::BaiduDomain);
        QCOMPARE(baidu.size(), 24);
        QCOMPARE(m_f.sim.requestTargets(Route::YahooLinks).first(),
                 u"/search?bwm=i&p=www.name0.com"_s);
    }

    // A stop during a wait: the request in flight is still written, nothing after it; the next
    // start walks from the first row again.
    void stopAndRestart()
    {
        const QStringList names = domains(5);
        Sources::importCategory(m_table, names);
        tick({2, 7});
        m_f.sim.hold(Route::Google);
        auto first = m_run->startOrStop();
        QTRY_COMPARE(m_f.sim.heldCount(Route::Google), 1);
        await(m_run->startOrStop()); // the stop
        QVERIFY(m_run->stopFlag());
        QCOMPARE(m_run->caption(), QueryRun::kStartCaption);
        m_f.sim.release(Route::Google);
        await(std::move(first));
        QCOMPARE(m_table.cell(0, GoogleSite), expectedCell(2, names[0]));
        QCOMPARE(m_table.cell(1, GoogleSite), kBlankCell);
        QCOMPARE(m_f.sim.requestCount(Route::Google), 1);

        m_f.sim.clearLog();
        await(m_run->startOrStop());
        QVERIFY(!m_run->stopFlag());
        QCOMPARE(m_f.sim.requestTargets(Route::Google).first(),
                 u"/search?hl=zh-CN&source=hp&q=site%3Aname0.com"_s);
        QCOMPARE(column(Registration).last(), expectedCell(7, names[4]));
    }

    // A start made while a stopped run still waits takes over: the old run writes its row and
    // ends; only the new one walks on.
    void newerStartSupersedesAWaitingRun()
    {
        Sources::importCategory(m_table, domains(3));
        tick({7});
        m_f.sim.hold(Route::Registrar);
        auto old = m_run->startOrStop();
        QTRY_COMPARE(m_f.sim.heldCount(Route::Registrar), 1);
        await(m_run->startOrStop()); // stop
        auto newer = m_run->startOrStop();
        QTRY_COMPARE(m_f.sim.heldCount(Route::Registrar), 2);
        m_f.sim.release(Route::Registrar);
        await(std::move(old));
        await(std::move(newer));
        QCOMPARE(m_f.sim.requestCount(Route::Registrar), 4); // 1 (old) + 3 (new)
    }

    // While a page is awaited the user sorts and deletes rows: the value lands in its own row,
    // deleted rows are skipped.
    void gridChangesDuringAWait()
    {
        Sources::importCategory(m_table, domains(5));
        tick({2});
        m_f.sim.hold(Route::Google);
        auto run = m_run->startOrStop();
        QTRY_COMPARE(m_f.sim.heldCount(Route::Google), 1);
        m_table.sortByColumn(kDomainColumn);
        m_table.removeRowsWhere([](const ResultRow &r) {
            return r.cells[kDomainColumn] == u"name1.com" || r.cells[kDomainColumn] == u"name3.com";
        });
        m_f.sim.release(Route::Google);
        await(std::move(run));
        for (int r = 0; r < 3; ++r)
            QCOMPARE(m_table.cell(r, GoogleSite), expectedCell(2, m_table.cell(r, kDomainColumn)));
        QCOMPARE(m_f.sim.requestCount(Route::Google), 3);
    }

    // An import during a run ends the run: no queue writes into, or walks, the new rows.
    void importEndsTheRun()
    {
        Session session(m_f.endpoints());
        session.fetcher()->setLimits(shortLimits());
        Sources::importCategory(*session.grid(), domains(4));
        session.run()->setTicked(7, true);
        m_f.sim.hold(Route::Registrar);
        auto run = session.run()->startOrStop();
        QTRY_COMPARE(m_f.sim.heldCount(Route::Registrar), 1);
        session.lists()->setList(0, {u"abc.com"_s, u"xyz.com"_s});
        session.breakDown(0);
        session.importCategory(0);
        QCOMPARE(session.run()->caption(), QueryRun::kStartCaption);
        m_f.sim.release(Route::Registrar);
        await(std::move(run));
        QCOMPARE(session.grid()->rowCount(), 2);
        QCOMPARE(session.grid()->cell(0, Registration), kBlankCell);
        QCOMPARE(m_f.sim.requestCount(Route::Registrar), 1);
    }

    // Each site waits between the starts of two of its requests for its pacing value to 1.2
    // times it; the PageRank probe's two pages are two requests.
    void pacing_data()
    {
        QTest::addColumn<int>("metric");
        QTest::addColumn<int>("requests");
        QTest::newRow("baidu, two metrics") << 0 << 8;
        QTest::newRow("google") << 2 << 4;
        QTest::newRow("yahoo, three metrics") << 3 << 12;
        QTest::newRow("registrar") << 7 << 4;
    }
    void pacing()
    {
        QFETCH(int, metric);
        QFETCH(int, requests);
        const int ms[] = {1500, 3000, 1000, 500, 1000, 700};
        for (int s = 0; s < Probes::kSiteCount; ++s)
            m_run->setPacing(Site(s), ms[s]);
        Sources::importCategory(m_table, domains(4));
        const Site site = Probes::metric(metric).site;
        QList<int> ticked;
        for (int k = 0; k < Probes::kMetricCount; ++k) {
            if (Probes::metric(k).site == site)
                ticked << k;
            m_run->setTicked(k, Probes::metric(k).site == site);
        }
        await(m_run->startOrStop());
        QCOMPARE(m_f.sim.requestCount(), requests);
        QCOMPARE(m_clock->pauses.size(), requests - 1);
        const int pace = ms[int(site)];
        for (qint64 pause : m_clock->pauses)
            QVERIFY2(pause >= pace && pause <= pace * 6 / 5, qPrintable(QString::number(pause)));
    }

    // A refused row is asked again after a pause: Retry-After when the site gives one (capped),
    // else 30 s doubling with each refusal in a row; after the last try the cell reads
    // "查询受限", and three rows refused to the end make the site's queue give up.
    void backoff_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("refusedRequests"); // then the site answers again; -1: never
        QTest::addColumn<QList<qint64>>("pauses");
        QTest::addColumn<QStringList>("cells");
        const QString refused = kQueryRefused;
        const QString blank = kBlankCell;
        QTest::newRow("no Retry-After")
            << Fault::blocked(503) << -1
            << QList<qint64>{30'000, 60'000, 240'000, 480'000, 600'000, 600'000}
            << QStringList{refused, refused, refused, blank, blank};
        QTest::newRow("Retry-After 120") << Fault::throttled(429) << -1 << QList<qint64>(6, 120'000)
                                         << QStringList{refused, refused, refused, blank, blank};
        QTest::newRow("clears after two tries")
            << Fault::blocked(200) << 2 << QList<qint64>{30'000, 60'000}
            << QStringList{u"v"_s, u"v"_s, u"v"_s, u"v"_s, u"v"_s};
    }
    void backoff()
    {
        QFETCH(Fault, fault);
        QFETCH(int, refusedRequests);
        QFETCH(QList<qint64>, pauses);
        QFETCH(QStringList, cells);
        const QStringList names = domains(5);
        Sources::importCategory(m_table, names);
        tick({2});
        int asked = 0;
        m_f.sim.setFault(Route::Google, fault);
        connect(&m_f.sim, &SiteSimulator::requestReceived, m_run, [&] {
            if (++asked == refusedRequests + 1) // before it is answered
                m_f.sim.clearFaults();
        });
        QSignalSpy notices(m_run, &QueryRun::notice);
        await(m_run->startOrStop());
        QCOMPARE(m_clock->pauses, pauses);
        for (int r = 0; r < names.size(); ++r)
            QCOMPARE(m_table.cell(r, GoogleSite),
                     cells[r] == u"v" ? expectedCell(2, names[r]) : cells[r]);
        QCOMPARE(notices.first().at(0).toString(),
                 u"google：查询受限，%1 秒后重试"_s.arg(pauses.first() / 1000));
        if (refusedRequests < 0)
            QCOMPARE(notices.last().at(0).toString(),
                     u"google：连续 3 行查询受限，已停止查询该站点"_s);
    }

    // The re-query asks only the cells that failed, were refused or are blank.
    void requeryTouchesOnlyUnfinishedCells()
    {
        const QStringList names = domains(6);
        Sources::importCategory(m_table, names);
        tick({2, 7});
        m_run->setBackoff({1, 1, 1});
        int asked = 0;
        connect(&m_f.sim, &SiteSimulator::requestReceived, m_run, [&](Route route) {
            if (route == Route::Google && ++asked % 2 == 0)
                m_f.sim.setFault(Route::Google, Fault::errorStatus(500));
            else
                m_f.sim.clearFaults();
        });
        await(m_run->startOrStop());
        QCOMPARE(column(GoogleSite).count(kQueryFailed), 3);
        m_table.setCell(5, Registration, kBlankCell); // as a run cut short leaves it
        disconnect(&m_f.sim, &SiteSimulator::requestReceived, m_run, nullptr);
        m_f.sim.clearFaults();
        m_f.sim.clearLog();
        await(m_run->startOrStop(QueryRun::Scope::UnfinishedCells));
        QCOMPARE(m_f.sim.requestCount(Route::Google), 3);
        QCOMPARE(m_f.sim.requestTargets(Route::Registrar),
                 QStringList{u"/cgi-bin/check.cgi?area_domain=name5.com"_s});
        for (int r = 0; r < names.size(); ++r)
            QCOMPARE(m_table.cell(r, GoogleSite), expectedCell(2, names[r]));
    }

    // With RDAP as its source the registration column asks the registry, with the statuses in
    // the cell's note; a suffix without an RDAP server (.cn) asks the registrar's page.
    void registrationFromRdap()
    {
        RdapClient rdap(&m_f.fetcher, m_f.rdapBootstrap());
        m_run->setRdap(&rdap, true);
        const QString free = SimContent::rdapNameFor(SimContent::RdapStage::NotRegistered, u"x"_s);
        const QString held = SimContent::rdapNameFor(SimContent::RdapStage::Redemption, u"y"_s);
        Sources::importCategory(m_table, {free, held, u"abc.cn"_s});
        tick({7});
        await(m_run->startOrStop());
        QCOMPARE(column(Registration),
                 (QStringList{u"可注册"_s, u"已被注册"_s, expectedCell(7, u"abc.cn"_s)}));
        const QString note =
            m_table.data(m_table.index(1, Registration), ResultTable::kNoteRole).toString();
        QVERIFY2(note.contains(u"来源：RDAP"_s) && note.contains(u"redemption period"_s),
                 qPrintable(note));
        QCOMPARE(m_f.sim.requestCount(Route::Rdap), 2);
        QCOMPARE(m_f.sim.requestTargets(Route::Registrar),
                 QStringList{u"/cgi-bin/check.cgi?area_domain=abc.cn"_s});
    }

    // A proxy that cannot be reached fails the cells and is named once, never hangs.
    void brokenProxyIsNamed()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        PageFetcher fetcher;
        fetcher.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, port));
        QueryRun run(&m_table, &fetcher);
        run.setEndpoints(m_f.endpoints());
        run.setTicked(2, true);
        Sources::importCategory(m_table, domains(2));
        QSignalSpy notices(&run, &QueryRun::notice);
        await(run.startOrStop());
        QCOMPARE(column(GoogleSite), (QStringList{kQueryFailed, kQueryFailed}));
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0][0].toString().contains(u"http://127.0.0.1:%1"_s.arg(port)),
                 qPrintable(notices[0][0].toString()));
    }

    // A stop click ends a back-off pause at once.
    void stopDuringAPause()
    {
        m_run->setClock(nullptr); // real time: the pause would last an hour
        m_run->setBackoff({3, 3600, 3600});
        Sources::importCategory(m_table, domains(2));
        tick({2});
        m_f.sim.setFault(Route::Google, Fault::blocked(503));
        bool done = false;
        auto run = m_run->startOrStop();
        run.then([&] { done = true; });
        QTRY_COMPARE(m_f.sim.requestCount(Route::Google), 1);
        QTest::qWait(50);
        QVERIFY(!done);
        await(m_run->startOrStop());
        QTRY_VERIFY_WITH_TIMEOUT(done, 2000);
        QCOMPARE(m_table.cell(0, GoogleSite), kBlankCell);
        QCOMPARE(m_f.sim.requestCount(Route::Google), 1);
    }
};

QTEST_GUILESS_MAIN(TestRun)
#include "tst_run.moc"
