// The eight probes: what each scrapes and how each reads a site's answer, against the simulator.
#include "Fixture.h"

using namespace Qt::StringLiterals;

class TestProbes : public QObject {
    Q_OBJECT

    SimFixture m_f;

    // One domain's cell for `metric`, as a run writes it.
    QString measureOne(int metric, const QString &domain)
    {
        Probes::ProbeEnv env;
        env.fetcher = &m_f.fetcher;
        env.endpoints = m_f.endpoints();
        const std::optional<Probes::Measurement> m = await(Probes::measure(env, metric, domain));
        return m ? m->cell : u"(none)"_s;
    }

private Q_SLOTS:
    void init()
    {
        m_f.sim.clearFaults();
        m_f.sim.clearLog();
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
        m_f.sim.setFault(routeOfMetric(metric), fault);
        QCOMPARE(measureOne(metric, u"refused.com"_s), cell);
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
        QCOMPARE(measureOne(6, u"a.com"_s), kQueryFailed);
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

    // Every probe, against the simulator, gives each domain its own value, one request per
    // domain (the PageRank probe a second one for each frame).
    void everyProbeReadsItsSite_data()
    {
        QTest::addColumn<int>("metric");
        for (int k = 0; k < Probes::kMetricCount; ++k)
            QTest::newRow(qPrintable(Probes::metric(k).probe)) << k;
    }
    void everyProbeReadsItsSite()
    {
        QFETCH(int, metric);
        for (int i = 0; i < 40; ++i) {
            const QString domain = u"name%1.com"_s.arg(i);
            QCOMPARE(measureOne(metric, domain), expectedCell(metric, domain));
        }
        QCOMPARE(m_f.sim.requestCount(routeOfMetric(metric)), 40);
    }

    void pageRankWithoutFrameAsksOnce()
    {
        QString frameless;
        for (int i = 0; frameless.isEmpty(); ++i) {
            if (SimContent::pageRank(u"n%1.com"_s.arg(i)).isEmpty())
                frameless = u"n%1.com"_s.arg(i);
        }
        QCOMPARE(measureOne(6, frameless), u"0"_s);
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
