// The run driver: queues side by side, pacing, back-off, stop, restart, what ends a run.
#include "Fixture.h"
#include "probes/QueryRun.h"
#include "rdap/RdapClient.h"
#include "sources/CategoryImport.h"
#include "table/ResultTable.h"

#include <QNetworkProxy>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

class TestRun : public QObject {
    Q_OBJECT

    SimFixture m_f;
    ResultTable m_table;
    QueryRun *m_run = nullptr;
    FakeClock *m_clock = nullptr;

    // Fills the grid with `n` names and ticks `metrics` (a new run has none ticked).
    QStringList load(int n, const QList<int> &metrics)
    {
        QStringList names;
        for (int i = 0; i < n; ++i)
            names << u"name%1.com"_s.arg(i);
        Sources::importCategory(m_table, names);
        for (int k : metrics)
            m_run->setTicked(k, true);
        return names;
    }

private Q_SLOTS:
    void init()
    {
        m_f.reset();
        m_run = new QueryRun(&m_table, &m_f.fetcher, this);
        m_run->setEndpoints(m_f.endpoints());
        m_run->setClock(m_clock = new FakeClock);
        m_clock->setParent(m_run);
    }
    void cleanup() { delete m_run; }

    // All ten metrics at once leave every cell as a run of one metric at a time would.
    void queuesRunSideBySide()
    {
        const QStringList names = load(12, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
        QSignalSpy finishedRows(m_run, &QueryRun::rowFinished);
        QStringList progress;
        connect(m_run, &QueryRun::progressChanged, this, [&](const QString &t) { progress << t; });
        await(m_run->startOrStop());
        for (int k = 0; k < Probes::kMetricBoxCount; ++k) {
            for (int r = 0; r < names.size(); ++r) {
                QCOMPARE(m_table.cell(r, *Probes::metric(k).column), expectedCell(k, names[r]));
                if (const std::optional<ProbeColumn> second = Probes::metric(k).secondColumn)
                    QCOMPARE(m_table.cell(r, *second), expectedCell(k, names[r], true));
            }
        }
        QVERIFY(!m_run->isRunning());
        QCOMPARE(finishedRows.size(), names.size());
        QVERIFY(progress.contains(u"百度 12/12 · google 12/12 · yahoo 12/12 · 注册 12/12 · PR "
                                  u"12/12 · 存档 12/12 · 他后缀 12/12"_s));
        QCOMPARE(progress.last(), QString());
    }

    // A stop writes the request in flight, asks nothing more; the next start begins at row 1.
    void stopAndRestart()
    {
        const QStringList names = load(5, {2, 7});
        m_f.sim.hold(Route::Google);
        auto first = m_run->startOrStop();
        QTRY_COMPARE(m_f.sim.heldCount(Route::Google), 1);
        await(m_run->startOrStop()); // the stop
        QVERIFY(m_run->stopFlag());
        QVERIFY(!m_run->isRunning());
        m_f.sim.release(Route::Google);
        await(std::move(first));
        QCOMPARE(m_table.cell(0, GoogleSite), expectedCell(2, names[0]));
        QCOMPARE(m_f.sim.requestCount(Route::Google), 1);

        m_f.sim.clearLog();
        await(m_run->startOrStop());
        QVERIFY(!m_run->stopFlag());
        QCOMPARE(m_f.sim.requestTargets(Route::Google).first(),
                 u"/search?hl=zh-CN&source=hp&q=site%3Aname0.com"_s);
        QCOMPARE(m_table.cell(4, Registration), expectedCell(7, names[4]));
    }

    // A start while a stopped run still waits takes over: the old one writes its row and ends.
    void newerStartSupersedesAWaitingRun()
    {
        load(3, {7});
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

    // Rows sorted and deleted during a wait: each value lands in its row, deleted rows go unasked.
    void gridChangesDuringAWait()
    {
        load(5, {2});
        m_f.sim.hold(Route::Google);
        auto run = m_run->startOrStop();
        QTRY_COMPARE(m_f.sim.heldCount(Route::Google), 1);
        m_table.sortByColumn(kDomainColumn);
        m_table.removeRowsWhere([](const ResultRow &r) { return r.cells[0].toInt() % 2 == 1; });
        m_f.sim.release(Route::Google);
        await(std::move(run));
        for (int r = 0; r < 3; ++r)
            QCOMPARE(m_table.cell(r, GoogleSite), expectedCell(2, m_table.cell(r, kDomainColumn)));
        QCOMPARE(m_f.sim.requestCount(Route::Google), 3);
    }

    // Between the starts of two of its requests a site waits its pacing value to 1.2 times it.
    void pacing_data()
    {
        QTest::addColumn<QList<int>>("metrics");
        QTest::addColumn<int>("requests");
        QTest::newRow("baidu, two metrics") << QList<int>{0, 1} << 8;
        QTest::newRow("google") << QList<int>{2} << 4;
        QTest::newRow("yahoo, three metrics") << QList<int>{3, 4, 5} << 12;
        QTest::newRow("registrar") << QList<int>{7} << 4;
        QTest::newRow("archive") << QList<int>{8} << 4;
        QTest::newRow("other suffixes, eight requests a row") << QList<int>{9} << 32;
    }
    void pacing()
    {
        QFETCH(QList<int>, metrics);
        QFETCH(int, requests);
        const int ms[] = {1500, 3000, 1000, 500, 1000, 700, 1500, 100};
        for (int s = 0; s < Probes::kSiteCount; ++s)
            m_run->setPacing(Probes::Site(s), ms[s]);
        load(4, metrics);
        await(m_run->startOrStop());
        QCOMPARE(m_f.sim.requestCount(), requests);
        QCOMPARE(m_clock->pauses.size(), requests - 1);
        const int pace = ms[int(Probes::metric(metrics[0]).site)];
        for (qint64 pause : m_clock->pauses)
            QVERIFY2(pause >= pace && pause <= pace * 6 / 5, qPrintable(QString::number(pause)));
    }

    // RDAP paces each registry's host on its own, and a registry on this machine not at all.
    void rdapPacingPerRegistry()
    {
        QByteArray table = "{'services': [[['com'], ['https://a/']], [['org'], ['https://b/']], "
                           "[['net'], ['https://a/']], [['info'], ['http://[::1]/']]]}";
        // No fetcher: each query is paced, then asks nothing.
        RdapClient rdap(nullptr, *RdapBootstrap::parse(table.replace('\'', '"'), nullptr));
        m_run->setRdap(&rdap, false);
        m_run->setPacing(Probes::Site::Rdap, 1000);
        Sources::importCategory(m_table, u"x.com y.org z.net w.info v.info u.com"_s.split(u' '));
        m_run->setTicked(Probes::kRdapMetric, true);
        await(m_run->startOrStop());
        // Host a waits before z.net and u.com; [::1] never.
        QCOMPARE(m_clock->pauses.size(), 2);
    }

    // A refused row is asked again after a pause: Retry-After when the site gives one, else 30 s
    // doubling, capped; after the last try the cell reads "查询受限", and three rows refused to
    // the end make the site's queue give up. The JSON APIs refuse with 429 or a bare 403.
    void backoff_data()
    {
        QTest::addColumn<int>("metric");
        QTest::addColumn<Route>("route");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("firstRefused");    // the first request refused, from 1
        QTest::addColumn<int>("refusedRequests"); // then the site answers again; -1: never
        QTest::addColumn<QList<qint64>>("pauses");
        QTest::addColumn<QStringList>("cells"); // "v": the page's value
        const QStringList gaveUp = QStringList(3, kQueryRefused) << kBlankCell << kBlankCell;
        const QList<qint64> doubling{30'000, 60'000, 240'000, 480'000, 600'000, 600'000};
        QTest::newRow("no Retry-After")
            << 2 << Route::Google << Fault::blocked(503) << 1 << -1 << doubling << gaveUp;
        QTest::newRow("Retry-After 120") << 2 << Route::Google << Fault::throttled(429) << 1 << -1
                                         << QList<qint64>(6, 120'000) << gaveUp;
        QTest::newRow("clears after two tries")
            << 2 << Route::Google << Fault::blocked(200) << 1 << 2 << QList<qint64>{30'000, 60'000}
            << QStringList(5, u"v"_s);
        QTest::newRow("archive, 403") << Probes::kArchiveMetric << Route::Archive
                                      << Fault::errorStatus(403) << 1 << -1 << doubling << gaveUp;
        QTest::newRow("other suffixes, 429 on the third question: the row again")
            << Probes::kOtherSuffixMetric << Route::Doh << Fault::throttled(429) << 3 << 1
            << QList<qint64>{120'000} << QStringList(5, u"v"_s);
    }
    void backoff()
    {
        QFETCH(int, metric);
        QFETCH(Route, route);
        QFETCH(Fault, fault);
        QFETCH(int, firstRefused);
        QFETCH(int, refusedRequests);
        QFETCH(QList<qint64>, pauses);
        QFETCH(QStringList, cells);
        const QStringList names = load(5, {metric});
        const int column = *Probes::metric(metric).column;
        int asked = 0;
        connect(&m_f.sim, &SiteSimulator::requestReceived, m_run, [&] {
            // Each before it is answered.
            ++asked;
            if (asked == firstRefused)
                m_f.sim.setFault(route, fault);
            if (asked == firstRefused + refusedRequests)
                m_f.sim.clearFaults();
        });
        QSignalSpy notices(m_run, &QueryRun::notice);
        await(m_run->startOrStop());
        QCOMPARE(m_clock->pauses, pauses);
        for (int r = 0; r < names.size(); ++r)
            QCOMPARE(m_table.cell(r, column),
                     cells[r] == u"v" ? expectedCell(metric, names[r]) : cells[r]);
        const QString site = Probes::siteName(Probes::metric(metric).site);
        QCOMPARE(notices.first().at(0).toString(),
                 u"%1：查询受限，%2 秒后重试"_s.arg(site).arg(pauses.first() / 1000));
        if (refusedRequests < 0)
            QCOMPARE(notices.last().at(0).toString(),
                     u"%1：连续 3 行查询受限，已停止查询该站点"_s.arg(site));
    }

    // The re-query asks the cells that failed, were refused or are blank, not those reading so.
    void requeryTouchesOnlyUnfinishedCells()
    {
        const QStringList names = load(6, {2, 7});
        await(m_run->startOrStop());
        m_table.setCell(0, GoogleSite, kQueryFailed);
        m_table.setCell(1, GoogleSite, kQueryFailed, CellState::Failed);
        m_table.setCell(3, GoogleSite, kQueryRefused, CellState::Refused);
        m_table.setCell(5, Registration, kBlankCell, CellState::Blank); // as a cut-short run
        m_f.sim.clearLog();
        await(m_run->startOrStop(QueryRun::Scope::UnfinishedCells));
        QCOMPARE(m_f.sim.requestCount(Route::Google), 2);
        QCOMPARE(m_f.sim.requestTargets(Route::Registrar),
                 QStringList{u"/cgi-bin/check.cgi?area_domain=name5.com"_s});
        QCOMPARE(m_table.cell(0, GoogleSite), kQueryFailed);
        for (int r = 1; r < names.size(); ++r)
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
        m_run->setTicked(7, true);
        await(m_run->startOrStop());
        const QStringList want{u"可注册"_s, u"已被注册"_s, expectedCell(7, u"abc.cn"_s)};
        for (int r = 0; r < 3; ++r)
            QCOMPARE(m_table.cell(r, Registration), want[r]);
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
        const quint16 port = closedPort();
        PageFetcher fetcher;
        fetcher.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, port));
        QueryRun run(&m_table, &fetcher);
        run.setEndpoints(m_f.endpoints());
        run.setTicked(2, true);
        load(2, {});
        QSignalSpy notices(&run, &QueryRun::notice);
        await(run.startOrStop());
        QCOMPARE(m_table.cell(0, GoogleSite), kQueryFailed);
        QCOMPARE(m_table.cell(1, GoogleSite), kQueryFailed);
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0][0].toString().contains(u"http://127.0.0.1:%1"_s.arg(port)),
                 qPrintable(notices[0][0].toString()));
    }

    // A stop ends a back-off pause at once.
    void stopDuringAPause()
    {
        m_run->setClock(nullptr); // real time: the pause would last an hour
        m_run->setBackoff({3, 3600, 3600});
        load(2, {2});
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
