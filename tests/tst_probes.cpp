// The eight probes: what each scrapes and how each reads a site's answer, against the simulator.
#include "Fixture.h"
#include "Reference.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>

using namespace Qt::StringLiterals;

class TestProbes : public QObject {
    Q_OBJECT

    SimFixture m_f;

    // One domain's cell for `metric`, as a run writes it.
    QString measureOne(int metric, const QString &domain,
                       const Probes::RecipeTable &recipes = Probes::builtInRecipes())
    {
        const Probes::ProbeEnv env{.fetcher = &m_f.fetcher,
                                   .endpoints = m_f.endpoints(),
                                   .beforeRequest = {},
                                   .recipes = recipes};
        const std::optional<Probes::Measurement> m = await(Probes::measure(env, metric, domain));
        return m ? m->cell : u"(none)"_s;
    }

private Q_SLOTS:
    void init()
    {
        m_f.sim.clearFaults();
        m_f.sim.clearLog();
    }

    void countAndRankScrape_data()
    {
        QTest::addColumn<int>("metric");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("count");
        QTest::newRow("google") << 2 << "找到约 1,230,000 条结果" << u"1,230,000"_s;
        QTest::newRow("google twice") << 2 << "找到约 12 x 找到约 99 y" << u"12"_s;
        QTest::newRow("google, no blank after") << 2 << "找到约 1,230条结果" << kQueryFailed;
        QTest::newRow("baidu spaced") << 1 << "找到相关结果约 1,230 个" << u"1,230"_s;
        QTest::newRow("baidu 数约") << 0 << "找到相关结果数约56,500,000个" << u"56,500,000"_s;
        QTest::newRow("baidu, blank inside") << 0 << "找到相关结果约 1, 230 个" << u"1,230"_s;
        QTest::newRow("baidu, markup")
            << 0 << "找到相关结果</span><div style=\"margin-top:12px\">" << kQueryFailed;
        QTest::newRow("baidu, a year")
            << 0 << "找到相关结果 暂无数据，请于 2025 年再试" << kQueryFailed;
        QTest::newRow("baidu, four words") << 0 << "找到相关结果大约还有5个" << kQueryFailed;
        QTest::newRow("baidu, not in threes") << 0 << "找到相关结果约12,34个" << kQueryFailed;
        QTest::newRow("baidu, trailing comma") << 0 << "找到相关结果约1,234,个" << kQueryFailed;
        QTest::newRow("baidu, unclosed") << 0 << "找到相关结果约1,230" << kQueryFailed;
        QTest::newRow("yahoo") << 3 << "被收录的网页 共 <strong>56</strong>" << u"56"_s;
        QTest::newRow("yahoo no strong") << 3 << "被收录的网页 共 56 条" << u"0"_s;
        QTest::newRow("yahoo other phrase") << 4 << "被收录的网页 共 <strong>9</strong>" << u"0"_s;
        // The PageRank answer frame: a rank is 0 to 10, whatever else it answers is a failure.
        QTest::newRow("pr, line feed") << 6 << "Rank_1:1:4\n" << u"4"_s;
        QTest::newRow("pr ten") << 6 << "Rank_1:1:10" << u"10"_s;
        QTest::newRow("pr twice") << 6 << "Rank_1:1:3 Rank_1:1:9" << u"3"_s;
        QTest::newRow("pr, other prefix") << 6 << "Rank_1:2:6" << kQueryFailed;
        QTest::newRow("pr too large") << 6 << "Rank_1:1:987654321" << kQueryFailed;
        QTest::newRow("pr negative") << 6 << "Rank_1:1:-2" << kQueryFailed;
        QTest::newRow("pr formula") << 6 << "Rank_1:1:\t=cmd|' /C calc'!A0" << kQueryFailed;
        QTest::newRow("pr, leading zero") << 6 << "Rank_1:1:04" << kQueryFailed;
        QTest::newRow("pr, no rank") << 6 << "Ranking unavailable" << kQueryFailed;
    }
    void countAndRankScrape()
    {
        QFETCH(int, metric);
        QFETCH(QString, page);
        QFETCH(QString, count);
        const ProbeRecipe *recipe = Probes::countRecipe(*Probes::metric(metric).column);
        const std::optional<QString> scraped =
            recipe ? Probes::scrapeCount(*recipe, page) : Probes::scrapePageRank(page);
        QCOMPARE(scraped.value_or(kQueryFailed), count);
        // The rule fuzz_count_scrape holds the scraper to must read these pages the same way.
        if (recipe && page.contains(recipe->presenceMarker))
            QCOMPARE(Reference::countInPhrase(page, recipe->countMarker, recipe->countEnd), count);
    }

    // A site that refuses automated queries says so in its own way; only that reads "查询受限".
    void refusals_data()
    {
        QTest::addColumn<int>("metric");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("cell");
        QTest::newRow("baidu redirect to captcha") << 0 << Fault::blocked(302) << kQueryRefused;
        QTest::newRow("google redirect to /sorry/") << 2 << Fault::blocked(302) << kQueryRefused;
        QTest::newRow("registrar 403 block page") << 7 << Fault::blocked(403) << kQueryRefused;
        QTest::newRow("404 page is a failure") << 2 << Fault::errorStatus(404) << kQueryFailed;
        QTest::newRow("a count page saying 验证码")
            << 2 << Fault::body("找到约 1,230 条结果 验证码") << u"1,230"_s;
    }
    void refusals()
    {
        QFETCH(int, metric);
        QFETCH(Fault, fault);
        QFETCH(QString, cell);
        m_f.sim.setFault(routeOfMetric(metric), fault);
        QCOMPARE(measureOne(metric, u"refused.com"_s), cell);
    }

    // A user's sources.json over the Baidu recipe reads a page in new wording without a new
    // build; an entry that does not read warns with its key and the built-in recipe reads on.
    void userRecipes_data()
    {
        QTest::addColumn<QByteArray>("keys"); // set over a valid entry; null removes one
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("warning");
        const QString old = u"找到相关结果约 5 个"_s;
        QTest::newRow("new wording") << R"({"count_marker":"共找到","count_end":"条结果"})"_ba
                                     << u"共找到 1,230 条结果"_s << u"1,230"_s << QString();
        QTest::newRow("none marker") << R"({"none_markers":["未找到相关结果"]})"_ba
                                     << u"抱歉，未找到相关结果"_s << u"0"_s << QString();
        QTest::newRow("presence marker")
            << R"({"presence_marker":"百度一下"})"_ba << old << u"0"_s << QString();
        QTest::newRow("block marker") << R"({"block_markers":["请输入验证字符"]})"_ba
                                      << u"请输入验证字符"_s << kQueryRefused << QString();
        QTest::newRow("name inside the path")
            << R"({"path":"/s?wd=site%3A{name}&rn=50"})"_ba << old << u"5"_s << QString();
        const auto bad =
            [&](const char *row, const QByteArray &keys, const char *why) {
                QTest::newRow(row)
                    << keys << old << u"5"_s
                    << u"sources.json: probe \"baidu\": %1; the built-in recipe stays"_s.arg(
                           QString::fromUtf8(why));
            };
        bad("unknown key", R"({"none_marker":["无"]})", "unknown key \"none_marker\"");
        bad("count end missing", R"({"count_end":null})", "\"count_end\" is missing");
        bad("empty none marker", R"({"none_markers":[""]})",
            "\"none_markers\" is not a list of texts of one character or more");
        bad("no name in the path", R"({"path":"/s?wd=a.com"})",
            "the path does not start with '/', holds a blank, or does not hold \"{name}\" once "
            "and no other placeholder");
        bad("unknown endpoint", R"({"endpoint":"bing"})", "unknown endpoint \"bing\"");
        bad("unknown charset", R"({"charset":"big5"})",
            "\"charset\" is \"big5\", not one of gb2312, utf-8");
    }
    void userRecipes()
    {
        QFETCH(QByteArray, keys);
        QFETCH(QString, page);
        QFETCH(QString, cell);
        QFETCH(QString, warning);
        QJsonObject entry = QJsonDocument::fromJson(R"({"endpoint":"baidu",
            "path":"/s?wd=site%3A{name}","charset":"gb2312","count_marker":"找到相关结果",
            "count_end":"个","none_markers":[],"block_markers":[]})")
                                .object();
        const QJsonObject changes = QJsonDocument::fromJson(keys).object();
        for (auto it = changes.begin(); it != changes.end(); ++it) {
            if (it->isNull())
                entry.remove(it.key());
            else
                entry.insert(it.key(), *it);
        }
        const QJsonObject file{{u"probes"_s, QJsonObject{{u"baidu"_s, entry}}}};
        const Probes::RecipeTable recipes =
            Probes::recipesWithUserFile(QJsonDocument(file).toJson());
        QCOMPARE(recipes.warnings.join(u'\n'), warning);
        m_f.sim.setFault(Route::BaiduSite, Fault::body(QStringEncoder("GB18030").encode(page)));
        QCOMPARE(measureOne(0, u"a.com"_s, recipes), cell);
        const QString path = entry.value(u"path").toString();
        QCOMPARE(m_f.sim.requestTargets(Route::BaiduSite),
                 QStringList{warning.isEmpty() ? QString(path).replace(u"{name}"_s, u"a.com"_s)
                                               : u"/s?wd=site%3Aa.com"_s});
    }

    // The answer frame's address comes from a page: it is followed only to the configured site.
    void frameHosts_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("configured");
        QTest::addColumn<bool>("allowed");
        const QString pr = u"pr.chinaz.com"_s;
        QTest::newRow("same host") << "pr.chinaz.com/x?d=a" << pr << true;
        QTest::newRow("sibling") << "tool.chinaz.com/x" << pr << true;
        QTest::newRow("another site") << "evil.example/x" << pr << false;
        QTest::newRow("suffix look-alike") << "evilchinaz.com/x" << pr << false;
        QTest::newRow("other port") << "pr.chinaz.com:8080/x" << pr << false;
        QTest::newRow("user info") << "pr.chinaz.com@evil.example/x" << pr << false;
        QTest::newRow("two labels only") << "x.com/" << u"chinaz.com"_s << false;
        QTest::newRow("loopback exact") << "127.0.0.1:81/x" << u"127.0.0.1:81"_s << true;
        QTest::newRow("LAN address") << "192.168.1.1/x" << u"127.0.0.1:81"_s << false;
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
        const QByteArray frame =
            "<iframe src=\"http://" + other.hostPort().toUtf8() + "/prframe?d=a\">";
        m_f.sim.setFault(Route::PageRank, Fault::body(frame));
        QCOMPARE(measureOne(6, u"a.com"_s), kQueryFailed);
        QCOMPARE(other.requestCount(), 0);
    }

    void registrationAndFrameScrape()
    {
        QCOMPARE(Probes::scrapeRegistration(u"xx<original>210 : free"_s), kRegistrable);
        QCOMPARE(Probes::scrapeRegistration(u"<original>211 : taken"_s), kRegistered);
        QCOMPARE(Probes::pageRankFrameAddress(u"<iframe src=\"http://h.test:81/p?d=a\" w=1>"_s),
                 u"h.test:81/p?d=a"_s);
        QVERIFY(!Probes::pageRankFrameAddress(u"<iframe src='http://h.test/x'>"_s));
    }

    // Each domain's own value, one request for each, and one more for each PageRank frame.
    void everyProbeReadsItsSite_data()
    {
        QTest::addColumn<int>("metric");
        for (int k = 0; k < Probes::kMetricCount; ++k)
            QTest::newRow(qPrintable(Probes::metric(k).probe)) << k;
    }
    void everyProbeReadsItsSite()
    {
        QFETCH(int, metric);
        int frames = 0;
        for (int i = 0; i < 40; ++i) {
            const QString domain = u"name%1.com"_s.arg(i);
            QCOMPARE(measureOne(metric, domain), expectedCell(metric, domain));
            frames += metric == 6 && !SimContent::pageRank(domain).isEmpty() ? 1 : 0;
        }
        QCOMPARE(m_f.sim.requestCount(), 40 + frames);
    }

    void fetchAfterShutDownFailsAtOnce()
    {
        PageFetcher fetcher;
        fetcher.shutDown();
        QVERIFY(!await(fetcher.fetch(m_f.address(u"/varnel/"_s), Charset::Gb2312)).gotPage());
        QCOMPARE(m_f.sim.requestCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestProbes)
#include "tst_probes.moc"
