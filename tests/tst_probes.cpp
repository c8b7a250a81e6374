// The eight probes and the run driver: what each scrapes, that each row gets its own domain's
// value against the simulator, and how a run starts, stops and gives way.
#include "Fixture.h"
#include "probes/QueryRun.h"
#include "session/Session.h"
#include "sources/DeletionLists.h"
#include "table/ResultTable.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

QStringList domains(int n, const QString &stem = u"name"_s)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << stem + QString::number(i) + u".com"_s;
    return out;
}

void fill(ResultTable &table, const QStringList &names)
{
    table.clear();
    QList<RowCells> rows;
    for (qsizetype i = 0; i < names.size(); ++i) {
        RowCells r;
        r.fill(kBlankCell);
        r[kLabelColumn] = QString::number(i);
        r[kDomainColumn] = names[i];
        rows << r;
    }
    table.appendRows(rows);
}

} // namespace

class TestProbes : public QObject {
    Q_OBJECT

    SimFixture m_f;
    ResultTable m_table;
    QueryRun *m_run = nullptr;

    void tick(std::initializer_list<int> metrics)
    {
        for (int k = 0; k < Probes::kMetricCount; ++k)
            m_run->setTicked(k, false);
        for (int k : metrics)
            m_run->setTicked(k, true);
    }

private Q_SLOTS:
    void init()
    {
        m_f.sim.clearFaults();
        m_f.sim.release(Route::All);
        m_f.sim.clearLog();
        m_run = new QueryRun(&m_table, &m_f.fetcher, this);
        m_run->setEndpoints(m_f.endpoints());
    }
    void cleanup()
    {
        delete m_run;
        m_f.sim.release(Route::All);
    }

    void countScrape_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("count");
        QTest::newRow("google") << int(GoogleSite) << "<p>找到约 1,230,000 条结果</p>"
                                << "1,230,000";
        QTest::newRow("google twice") << int(GoogleSite) << "找到约 12 x 找到约 99 y"
                                      << "12";
        QTest::newRow("google no terminator") << int(GoogleSite) << "找到约 777"
                                              << "777";
        QTest::newRow("baidu spaced") << int(BaiduSite) << "找到相关结果约 1,230 个"
                                      << "1,230";
        QTest::newRow("baidu absent") << int(BaiduDomain) << "没有找到"
                                      << "0";
        QTest::newRow("yahoo") << int(YahooPages) << "被收录的网页 共 <strong>56</strong>"
                               << "56";
        QTest::newRow("yahoo no strong") << int(YahooPages) << "被收录的网页 共 56 条"
                                         << "0";
        QTest::newRow("yahoo other phrase")
            << int(YahooLinksWww) << "被收录的网页 共 <strong>9</strong>"
            << "0";
    }
    void countScrape()
    {
        QFETCH(int, column);
        QFETCH(QString, page);
        QFETCH(QString, count);
        QCOMPARE(Probes::scrapeCount(*Probes::countRecipe(column), page), count);
    }

    // A site that refuses automated queries says so in its own way; only that reads "查询受限".
    void refusals_data()
    {
        QTest::addColumn<int>("metric");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("cell");
        QTest::newRow("baidu 503 block page") << 0 << Fault::blocked(503) << kQueryRefused;
        QTest::newRow("baidu 200 captcha page") << 1 << Fault::blocked(200) << kQueryRefused;
        QTest::newRow("baidu redirect to captcha") << 0 << Fault::blocked(302) << kQueryRefused;
        QTest::newRow("google 429") << 2 << Fault::throttled(429) << kQueryRefused;
        QTest::newRow("google redirect to /sorry/") << 2 << Fault::blocked(302) << kQueryRefused;
        QTest::newRow("yahoo 200 block page") << 3 << Fault::blocked(200) << kQueryRefused;
        QTest::newRow("registrar 403 block page") << 7 << Fault::blocked(403) << kQueryRefused;
        QTest::newRow("pr 429") << 6 << Fault::throttled(429) << kQueryRefused;
        QTest::newRow("plain 503 is a failure") << 0 << Fault::errorStatus(503) << kQueryFailed;
        QTest::newRow("404 with the marker is a failure")
            << 2 << Fault::errorStatus(404) << kQueryFailed;
        QTest::newRow("a count that mentions 验证码")
            << 2 << Fault::body("<p>找到约 1,230 条结果</p><a>验证码</a>") << u"1,230"_s;
    }
    void refusals()
    {
        QFETCH(int, metric);
        QFETCH(Fault, fault);
        QFETCH(QString, cell);
        fill(m_table, {u"refused.com"_s});
        tick({metric});
        m_f.sim.setFault(routeOfMetric(metric), fault);
        QSignalSpy refused(m_run, &QueryRun::siteRefused);
        await(m_run->startOrStop());
        QCOMPARE(m_table.cell(0, Probes::metric(metric).column), cell);
        QCOMPARE(refused.size(), cell == kQueryRefused ? 1 : 0);
        if (!refused.isEmpty())
            QCOMPARE(refused[0][0].toString(), Probes::siteName(Probes::metric(metric).site));
    }

    // The answer frame's address comes from a page: it is followed only to the configured site.
    void frameHosts_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("configured");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("same host") << "pr.chinaz.com/x?d=a"
                                   << "pr.chinaz.com" << true;
        QTest::newRow("sibling") << "tool.chinaz.com/x"
                                 << "pr.chinaz.com" << true;
        QTest::newRow("another site") << "evil.example/x"
                                      << "pr.chinaz.com" << false;
        QTest::newRow("suffix look-alike") << "evilchinaz.com/x"
                                           << "pr.chinaz.com" << false;
        QTest::newRow("other port") << "pr.chinaz.com:8080/x"
                                    << "pr.chinaz.com" << false;
        QTest::newRow("user info") << "pr.chinaz.com@evil.example/x"
                                   << "pr.chinaz.com" << false;
        QTest::newRow("two labels only") << "x.com/"
                                         << "chinaz.com" << false;
        QTest::newRow("loopback exact") << "127.0.0.1:81/x"
                                        << "127.0.0.1:81" << true;
        QTest::newRow("LAN address") << "192.168.1.1/x"
                                     << "127.0.0.1:81" << false;
    }
    void frameHosts()
    {
        QFETCH(QString, frame);
        QFETCH(QString, configured);
        QFETCH(bool, allowed);
        QCOMPARE(Probes::frameHostAllowed(frame, configured), allowed);
    }

    void frameOnAnotherHostIsNotAsked()
    {
        SiteSimulator other;
        QVERIFY(other.listen());
        m_f.sim.setFault(Route::PageRank,
                         Fault::body("<iframe src=\"http://" + other.hostPort().toUtf8() +
                                     "/prframe?d=a.com\"></iframe>"));
        fill(m_table, {u"a.com"_s});
        tick({6});
        await(m_run->startOrStop());
        QCOMPARE(m_table.cell(0, PageRank), kQueryFailed);
        QCOMPARE(other.requestCount(), 0);
    }

    void registrationAndPageRankScrape()
    {
        QCOMPARE(Probes::scrapeRegistration(u"xx<original>210 : free"_s), Probes::kRegistrable);
        QCOMPARE(Probes::scrapeRegistration(u"<original>211 : taken"_s), Probes::kRegistered);
        QCOMPARE(Probes::pageRankFrameAddress(u"<iframe src=\"http://h.test:81/p?d=a\" w=1>"_s),
                 u"h.test:81/p?d=a"_s);
        QVERIFY(!Probes::pageRankFrameAddress(u"<iframe src='http://h.test/x'>"_s));
        QCOMPARE(Probes::scrapePageRank(u"Rank_1:1:4\n"_s), u"4\n"_s);
        QCOMPARE(Probes::scrapePageRank(u"Rank_1:1:3 Rank_1:1:9"_s), u"3 "_s);
        QCOMPARE(Probes::scrapePageRank(u"Rank_1:2:6"_s), u"0"_s);
        QCOMPARE(Probes::scrapePageRank(u"Random text"_s), u"0"_s);
    }

    // Every probe, against the simulator, writes each row its own domain's value, one request
    // per row in row order (the PageRank probe a second one for each frame).
    void everyProbeFillsItsColumn_data()
    {
        QTest::addColumn<int>("metric");
        for (int k = 0; k < Probes::kMetricCount; ++k)
            QTest::newRow(qPrintable(Probes::metric(k).probe)) << k;
    }
    void everyProbeFillsItsColumn()
    {
        QFETCH(int, metric);
        const QStringList names = domains(40);
        fill(m_table, names);
        tick({metric});
        await(m_run->startOrStop());
        QCOMPARE(m_run->caption(), QueryRun::kStartCaption);
        const int column = Probes::metric(metric).column;
        for (int r = 0; r < names.size(); ++r)
            QCOMPARE(m_table.cell(r, column), expectedCell(metric, names[r]));
        const QStringList asked = m_f.sim.requestTargets(routeOfMetric(metric));
        QCOMPARE(asked.size(), names.size());
        QVERIFY2(asked.last().endsWith(names.last()), qPrintable(asked.last()));
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

    void tickedMetricsRunInIndexOrder()
    {
        const QStringList names = domains(3);
        fill(m_table, names);
        tick({7, 2});
        QList<Route> order;
        QObject listening;
        connect(&m_f.sim, &SiteSimulator::requestReceived, &listening,
                [&](Route route) { order << route; });
        await(m_run->startOrStop());
        QCOMPARE(order, (QList<Route>{Route::Google, Route::Google, Route::Google, Route::Registrar,
                                      Route::Registrar, Route::Registrar}));
        QCOMPARE(m_table.cell(2, BaiduSite), kBlankCell);
    }

    // A stop click during row 2's wait: row 2 is still written, nothing after it, and the next
    // start walks from the first row again.
    void stopAndRestart()
    {
        const QStringList names = domains(5);
        fill(m_table, names);
        tick({0, 2});
        m_f.sim.hold(Route::BaiduSite);
        auto first = m_run->startOrStop();
        QTRY_COMPARE(m_f.sim.heldCount(Route::BaiduSite), 1);
        m_f.sim.release(Route::BaiduSite);
        m_f.sim.hold(Route::BaiduSite);
        QTRY_COMPARE(m_f.sim.heldCount(Route::BaiduSite), 1);
        await(m_run->startOrStop()); // the stop: every ticked probe ends before its first row
        QVERIFY(m_run->stopFlag());
        m_f.sim.release(Route::BaiduSite);
        await(std::move(first));
        QCOMPARE(m_run->caption(), QueryRun::kStartCaption);
        QCOMPARE(m_table.cell(1, BaiduSite), expectedCell(0, names[1]));
        QCOMPARE(m_table.cell(2, BaiduSite), kBlankCell);
        QCOMPARE(m_f.sim.requestCount(Route::Google), 0);

        m_f.sim.clearLog();
        await(m_run->startOrStop());
        QVERIFY(!m_run->stopFlag());
        QCOMPARE(m_f.sim.requestTargets(Route::BaiduSite).first(), u"/s?wd=site%3Aname0.com"_s);
        QCOMPARE(m_table.cell(4, GoogleSite), expectedCell(2, names[4]));
    }

    // A start made while a stopped run still waits takes over: the old run writes its row and
    // ends; only the new one walks on.
    void newerStartSupersedesAWaitingRun()
    {
        fill(m_table, domains(3));
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
        const QStringList names = domains(5);
        fill(m_table, names);
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
        QCOMPARE(m_table.rowCount(), 3);
        for (int r = 0; r < 3; ++r)
            QCOMPARE(m_table.cell(r, GoogleSite), expectedCell(2, m_table.cell(r, kDomainColumn)));
        QCOMPARE(m_f.sim.requestCount(Route::Google), 3);
    }

    // An import during a run ends the run: no probe writes into, or walks, the new rows.
    void importEndsTheRun()
    {
        Session session(m_f.endpoints());
        session.fetcher()->setLimits(shortLimits());
        fill(*session.grid(), domains(4));
        session.run()->setTicked(7, true);
        m_f.sim.hold(Route::Registrar);
        auto run = session.run()->startOrStop();
        QTRY_COMPARE(m_f.sim.heldCount(Route::Registrar), 1);
        // A category to import: the breakdown of an empty list gives empty categories, so
        // put names into the com list first.
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

    void pageRankWithoutFrameAsksOnce()
    {
        QString frameless;
        for (const QString &d : domains(200)) {
            if (SimContent::pageRank(d).isEmpty())
                frameless = d;
        }
        fill(m_table, {frameless});
        tick({6});
        await(m_run->startOrStop());
        QCOMPARE(m_table.cell(0, PageRank), u"0"_s);
        QCOMPARE(m_f.sim.requestCount(), 1);
    }

    void fetchAfterShutDownFailsAtOnce()
    {
        PageFetcher fetcher;
        fetcher.shutDown();
        const FetchResult page = await(fetcher.fetch(m_f.address(u"/varnel/"_s), Charset::Gb2312));
        QVERIFY(!page.gotPage());
        QCOMPARE(m_f.sim.requestCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestProbes)
#include "tst_probes.moc"
