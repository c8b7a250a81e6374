#include "probes/Recipes.h"
#include "probes/Scrape.h"

#include <QTest>

class TestScrape : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pieceAfter_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<int>("occurrence");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("piece");
        QTest::newRow("to end") << "ab[x]cd"
                                << "[x]" << 1 << true << "cd";
        QTest::newRow("up to second") << "a|1|2|3"
                                      << "|" << 1 << true << "1";
        QTest::newRow("second of three") << "a|1|2|3"
                                         << "|" << 2 << true << "2";
        QTest::newRow("last") << "a|1|2|3"
                              << "|" << 3 << true << "3";
        QTest::newRow("too few") << "a|1"
                                 << "|" << 2 << false << "";
        QTest::newRow("absent") << "abc"
                                << "x" << 1 << false << "";
        QTest::newRow("marker at end") << "abc|"
                                       << "|" << 1 << true << "";
        QTest::newRow("adjacent markers") << "||x"
                                          << "|" << 1 << true << "";
        QTest::newRow("case sensitive") << "Rank_1"
                                        << "rank_" << 1 << false << "";
        QTest::newRow("empty marker") << "abc"
                                      << "" << 1 << false << "";
    }
    void pieceAfter()
    {
        QFETCH(QString, page);
        QFETCH(QString, marker);
        QFETCH(int, occurrence);
        QFETCH(bool, found);
        QFETCH(QString, piece);
        const auto got = Scrape::pieceAfter(page, marker, occurrence);
        QCOMPARE(got.has_value(), found);
        if (found)
            QCOMPARE(*got, piece);
    }

    void cutAt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("terminator");
        QTest::addColumn<QString>("cut");
        QTest::newRow("first of two") << "12<b>3<"
                                      << "<"
                                      << "12";
        QTest::newRow("absent keeps all") << "1,230"
                                          << "<"
                                          << "1,230";
        QTest::newRow("at start") << "<x"
                                  << "<"
                                  << "";
        QTest::newRow("multi-char") << "abc</td>def</td>"
                                    << "</td>"
                                    << "abc";
    }
    void cutAt()
    {
        QFETCH(QString, text);
        QFETCH(QString, terminator);
        QFETCH(QString, cut);
        QCOMPARE(Scrape::cutAt(text, terminator), cut);
    }

    void countProbes_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("count");
        QTest::newRow("google plain") << int(GoogleSite) << "<p>找到约 1,230,000 条结果</p>"
                                      << "1,230,000";
        QTest::newRow("google twice takes between") << int(GoogleSite) << "找到约 12 x 找到约 99 y"
                                                    << "12";
        QTest::newRow("google marker without terminator") << int(GoogleSite) << "abc找到约 777"
                                                          << "777";
        QTest::newRow("google absent") << int(GoogleSite) << "没有结果"
                                       << "0";
        QTest::newRow("google empty page") << int(GoogleSite) << ""
                                           << "0";
        QTest::newRow("baidu about") << int(BaiduSite) << "找到相关结果约1,230,000个"
                                     << "1,230,000";
        QTest::newRow("baidu spaced") << int(BaiduSite) << "找到相关结果约 1,230 个"
                                      << "1,230";
        QTest::newRow("baidu plain") << int(BaiduDomain) << "找到相关结果56个</div>"
                                     << "56";
        QTest::newRow("yahoo") << int(YahooPages) << "被收录的网页 共 <strong>56</strong> 条"
                               << "56";
        QTest::newRow("yahoo presence without count") << int(YahooPages) << "被收录的网页 共 56 条"
                                                      << "0";
        QTest::newRow("yahoo count without presence") << int(YahooPages) << "共 <strong>56</strong>"
                                                      << "0";
        QTest::newRow("yahoo links")
            << int(YahooLinksBare) << "链向该地址的网页 共 <strong>1,024</strong>"
            << "1,024";
        QTest::newRow("yahoo links presence differs")
            << int(YahooLinksWww) << "被收录的网页 共 <strong>9</strong>"
            << "0";
    }
    void countProbes()
    {
        QFETCH(int, column);
        QFETCH(QString, page);
        QFETCH(QString, count);
        const ProbeRecipe *recipe = Probes::countRecipe(column);
        QVERIFY(recipe);
        QCOMPARE(Probes::scrapeCount(*recipe, page), count);
    }

    void recipeUrls_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("url");
        QTest::newRow("baidu") << int(BaiduSite) << "http://b.test/s?wd=site%3Aabc.com";
        QTest::newRow("baidufl") << int(BaiduDomain) << "http://b.test/s?wd=domain%3Aabc.com";
        QTest::newRow("google") << int(GoogleSite)
                                << "http://g.test/search?hl=zh-CN&source=hp&q=site%3Aabc.com";
        QTest::newRow("yahoo") << int(YahooPages) << "http://y.test/search?bwm=p&p=abc.com";
        QTest::newRow("yahooflwww")
            << int(YahooLinksWww) << "http://y.test/search?bwm=i&p=www.abc.com";
        QTest::newRow("yahoofl") << int(YahooLinksBare) << "http://y.test/search?bwm=i&p=abc.com";
    }
    void recipeUrls()
    {
        QFETCH(int, column);
        QFETCH(QString, url);
        Endpoints e;
        e.baidu = QStringLiteral("b.test");
        e.google = QStringLiteral("g.test");
        e.yahoo = QStringLiteral("y.test");
        QCOMPARE(Probes::recipeUrl(*Probes::countRecipe(column), e, QStringLiteral("abc.com")),
                 url);
    }

    void registration_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("state");
        QTest::newRow("free") << "<r><original>210 : Domain name is available</original></r>"
                              << "可注册";
        QTest::newRow("marker anywhere") << "xxoriginal>210"
                                         << "可注册";
        QTest::newRow("other code") << "<original>211 : taken</original>"
                                    << "已被注册";
        QTest::newRow("empty") << ""
                               << "已被注册";
    }
    void registration()
    {
        QFETCH(QString, page);
        QFETCH(QString, state);
        QCOMPARE(Probes::scrapeRegistration(page), state);
    }

    void pageRankFrame_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("address");
        QTest::newRow("frame")
            << R"(<p><iframe src="http://h.test:81/pr?d=a.com" width=1></iframe>)"
            << "h.test:81/pr?d=a.com";
        QTest::newRow("no quote after") << R"(<iframe src="http://h.test/x)"
                                        << "h.test/x";
        QTest::newRow("none") << R"(<iframe src='http://h.test/x'>)"
                              << "";
    }
    void pageRankFrame()
    {
        QFETCH(QString, page);
        QFETCH(QString, address);
        const auto got = Probes::pageRankFrameAddress(page);
        QCOMPARE(got.value_or(QString()), address);
        QCOMPARE(got.has_value(), !address.isEmpty());
    }

    void pageRank_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("rank");
        QTest::newRow("rank") << "Rank_1:1:6"
                              << "6";
        QTest::newRow("trailing text kept") << "Rank_1:1:4\n"
                                            << "4\n";
        QTest::newRow("other prefix") << "Rank_1:2:6"
                                      << "0";
        QTest::newRow("second colon") << "Rank_1:1:6:7"
                                      << "0";
        QTest::newRow("twice takes between") << "Rank_1:1:3 Rank_1:1:9"
                                             << "3 ";
        QTest::newRow("Ran without Rank_") << "Random text"
                                           << "0";
        QTest::newRow("empty") << ""
                               << "0";
    }
    void pageRank()
    {
        QFETCH(QString, page);
        QFETCH(QString, rank);
        QCOMPARE(Probes::scrapePageRank(page), rank);
    }
};

QTEST_GUILESS_MAIN(TestScrape)
#include "tst_scrape.moc"
