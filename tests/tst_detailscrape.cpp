#include "lookup/DetailScrape.h"

#include <QTest>

#include <optional>

using DetailScrape::FilingResult;

using MaybeText = std::optional<QString>;

Q_DECLARE_METATYPE(MaybeText)
Q_DECLARE_METATYPE(FilingResult::Kind)

namespace {

const MaybeText missing = std::nullopt;

QString cell(const QString &content)
{
    return QStringLiteral("<td class=\"deltd1\">") + content + QStringLiteral("</td>");
}

QString describe(const MaybeText &text)
{
    return text ? QStringLiteral("\"%1\"").arg(*text) : QStringLiteral("(missing)");
}

// A deletion-date page in the site's layout: a label column and a value column.
const QString fullDeletionPage = QStringLiteral(R"(<html><body>
<form action="/del/" method="get"><input name="domain" value="example-shop.com"></form>
<table class="deltable" width="600">
<tr><td class="deltd">域名：</td><td class="deltd1"><b>example-shop.com</b></td></tr>
<tr><td class="deltd">注册时间：</td><td class="deltd1">2011-04-18</td></tr>
<tr><td class="deltd">过期时间：</td><td class="deltd1">2024-04-18</td></tr>
<tr><td class="deltd">删除时间：</td><td class="deltd1"><b>2024-06-02(近似值)</b></td></tr>
<tr><td class="deltd">状态：</td><td class="deltd1"><font color="red">pendingDelete</font></td></tr>
</table>
<p class="tip"><span class="red">还剩：3 天 14 小时</span>后删除</p>
</body></html>
)");

// A filing-search result page in the site's layout (the text is already decoded from gb2312).
const QString fullFilingPage = QStringLiteral(R"(<html><body>
<table class="result" cellpadding="0" cellspacing="0">
<tr><th>主办单位名称</th><th>主办单位性质</th><th>网站备案/许可证号</th><th>网站名称</th></tr>
<tr>
<td class="name">北京示例科技有限公司</td>
<td class="kind">企业</td>
<td class="bap"><a href="/icp/detail?id=20931" target="_blank">京ICP备10212345号-2</a></td>
<td class="site">示例商城</td>
</tr>
</table>
</body></html>
)");

} // namespace

class TestDetailScrape : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void deletionPage_data();
    void deletionPage();
    void filingPage_data();
    void filingPage();
};

void TestDetailScrape::deletionPage_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("noInformation");
    QTest::addColumn<QStringList>("cells"); // cells 1, 2, ... present; the rest missing
    QTest::addColumn<MaybeText>("countdown");

    const QStringList none;

    QTest::newRow("no information wins over cells")
        << QStringLiteral("<p>没有查询到相应的信息</p>") + cell("a") + cell("b") +
               "<span>还剩：1 天</span>"
        << true << none << missing;
    QTest::newRow("empty page") << QString() << false << none << missing;

    QTest::newRow("full page") << fullDeletionPage << false
                               << QStringList{"example-shop.com", "2011-04-18", "2024-04-18",
                                              "2024-06-02",
                                              "<font color=\"red\">pendingDelete</font>"}
                               << MaybeText("3天14小时");

    QTest::newRow("bold and approximation removed, other markup kept")
        << cell("<b>a</b>") + cell("<b>2024</b>-01-<b>02</b>(近似值)") + cell("<i>x</i>") +
               cell("(近似值)<b></b>") + cell("<B>caps</B>")
        << false << QStringList{"a", "2024-01-02", "<i>x</i>", "", "<B>caps</B>"} << missing;
    QTest::newRow("full-width approximation stays")
        << cell("2024-06-02（近似值）") << false << QStringList{"2024-06-02（近似值）"} << missing;
    QTest::newRow("fewer than five cells") << cell("one") + cell("two") + cell("three") << false
                                           << QStringList{"one", "two", "three"} << missing;
    QTest::newRow("more than five cells: the fifth stops at the sixth")
        << cell("1") + cell("2") + cell("3") + cell("4") + "<td class=\"deltd1\">5" + cell("6")
        << false << QStringList{"1", "2", "3", "4", "5<td class=\""} << missing;
    QTest::newRow("cell cut at the first </td")
        << QStringLiteral("<td class=\"deltd1\">a</td ><td>b</td>") << false << QStringList{"a"}
        << missing;
    QTest::newRow("unclosed last cell runs to the end")
        << cell("a") + QStringLiteral("<td class=\"deltd1\">tail text") << false
        << QStringList{"a", "tail text"} << missing;
    QTest::newRow("marker needs the quote")
        << QStringLiteral("<td class=deltd1>a</td>") << false << none << missing;

    QTest::newRow("countdown keeps other whitespace")
        << QStringLiteral("<b>还剩：\t2\u3000天 </b>") << false << none << MaybeText("\t2\u3000天");
    QTest::newRow("countdown without closing tag runs to the end")
        << QStringLiteral("<p>还剩： 5 小时") << false << none << MaybeText("5小时");
    QTest::newRow("countdown piece ends at the second marker")
        << QStringLiteral("<i>还剩：1 天>还剩：9 天</i>") << false << none << MaybeText("1天");
    QTest::newRow("countdown empty")
        << QStringLiteral("<i>还剩：</i>") << false << none << MaybeText("");
    QTest::newRow("countdown needs the tag end")
        << QStringLiteral("<p>剩余 还剩：3 天</p>") << false << none << missing;
    QTest::newRow("countdown needs the full-width colon")
        << QStringLiteral("<p>还剩:3 天</p>") << false << none << missing;
}

void TestDetailScrape::deletionPage()
{
    QFETCH(QString, page);
    QFETCH(bool, noInformation);
    QFETCH(QStringList, cells);
    QFETCH(MaybeText, countdown);

    const DetailScrape::DeletionInfo info = DetailScrape::scrapeDeletionPage(page);
    QCOMPARE(info.noInformation, noInformation);
    QVERIFY2(!info.cells[0].has_value(), "cell 0 is not a page cell");
    QStringList got, expected;
    for (int k = 1; k <= 5; ++k) {
        got.append(describe(info.cells[std::size_t(k)]));
        expected.append(describe(k <= cells.size() ? MaybeText(cells[k - 1]) : missing));
    }
    QCOMPARE(got, expected);
    QCOMPARE(describe(info.countdown), describe(countdown));
}

void TestDetailScrape::filingPage_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<FilingResult::Kind>("kind");
    QTest::addColumn<QString>("number");

    QTest::newRow("full page") << fullFilingPage << FilingResult::Filed
                               << QStringLiteral("京ICP备10212345号-2");
    QTest::newRow("no filing") << QStringLiteral(
                                      "<table><tr><td>没有符合条件的记录</td></tr></table>")
                               << FilingResult::NotFiled << QString();
    QTest::newRow("link marker without filing marker")
        << QStringLiteral("<a href=\"/\" target=\"_blank\">首页</a>") << FilingResult::NotFiled
        << QString();
    QTest::newRow("filing marker, no link")
        << QStringLiteral("<td class=\"bap\"><a href=\"/x\">京ICP备1号</a></td>")
        << FilingResult::Unreadable << QString();
    QTest::newRow("link only after the cell ends")
        << QStringLiteral("<td class=\"bap\"><a href=\"/x\">-</a></td>"
                          "<td><a target=\"_blank\">京ICP备1号</a></td>")
        << FilingResult::Unreadable << QString();
    QTest::newRow("link only after the next filing entry")
        << QStringLiteral("<td class=\"bap\"><a>?</a>"
                          "<td class=\"bap\"><a target=\"_blank\">京ICP备2号</a></td>")
        << FilingResult::Unreadable << QString();
    QTest::newRow("first of two filings")
        << QStringLiteral("<td class=\"bap\"><a target=\"_blank\">京ICP备1号</a></td>"
                          "<td class=\"bap\"><a target=\"_blank\">京ICP备2号</a></td>")
        << FilingResult::Filed << QStringLiteral("京ICP备1号");
    QTest::newRow("number runs to the end of the cell")
        << QStringLiteral("<td class=\"bap\"><a target=\"_blank\">粤B2-20090059</td>")
        << FilingResult::Filed << QStringLiteral("粤B2-20090059");
    QTest::newRow("number runs to the end of the page")
        << QStringLiteral("<td class=\"bap\"><a target=\"_blank\">沪ICP备7号")
        << FilingResult::Filed << QStringLiteral("沪ICP备7号");
    QTest::newRow("empty link text")
        << QStringLiteral("<td class=\"bap\"><a target=\"_blank\"></a></td>") << FilingResult::Filed
        << QString();
}

void TestDetailScrape::filingPage()
{
    QFETCH(QString, page);
    QFETCH(FilingResult::Kind, kind);
    QFETCH(QString, number);

    const FilingResult result = DetailScrape::scrapeFilingPage(page);
    QCOMPARE(result.kind, kind);
    QCOMPARE(result.number, number);
}

QTEST_GUILESS_MAIN(TestDetailScrape)
#include "tst_detailscrape.moc"
