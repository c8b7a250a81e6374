#include "table/RowFilter.h"

#include <QTest>

#include <limits>

using RowFilter::FilterCriterion;
using Kind = FilterCriterion::Kind;

Q_DECLARE_METATYPE(Kind)

namespace {

// A row of unfilled cells with the given columns set.
QStringList row(std::initializer_list<std::pair<int, QString>> set)
{
    QStringList cells(kColumnCount, QStringLiteral(" "));
    for (const auto &[column, text] : set)
        cells[column] = text;
    return cells;
}

} // namespace

class TestRowFilter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void criterionTexts_data();
    void criterionTexts();
    void unknownCriterion_data();
    void unknownCriterion();
    void leadingNumber_data();
    void leadingNumber();
    void cellNumber_data();
    void cellNumber();
    void rowIsDeleted_data();
    void rowIsDeleted();
};

void TestRowFilter::criterionTexts_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("column");

    QTest::newRow("baidu indexed") << 0 << "删除百度收录小于" << Kind::NumberAtMost << 2;
    QTest::newRow("baidu backlinks") << 1 << "删除百度反链小于" << Kind::NumberAtMost << 3;
    QTest::newRow("google indexed") << 2 << "删除GOOGLE收录小于" << Kind::NumberAtMost << 4;
    QTest::newRow("yahoo indexed") << 3 << "删除YAHOO收录小于" << Kind::NumberAtMost << 5;
    QTest::newRow("yahoo backlinks") << 4 << "删除YAHOO反链小于" << Kind::NumberAtMost << 6;
    QTest::newRow("yahoo without www") << 5 << "删除YAHOO不带W小于" << Kind::NumberAtMost << 7;
    QTest::newRow("pagerank") << 6 << "删除PR值小于" << Kind::NumberAtMost << 8;
    QTest::newRow("hyphen") << 7 << "删除带-的域名" << Kind::DomainHasHyphen << 1;
    QTest::newRow("registered") << 8 << "删除不可以注册的域名" << Kind::AlreadyRegistered << 9;
}

void TestRowFilter::criterionTexts()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(Kind, kind);
    QFETCH(int, column);

    const QStringList texts = RowFilter::criterionTexts();
    QCOMPARE(texts.size(), 9);
    QCOMPARE(texts.at(index), text);

    const std::optional<FilterCriterion> criterion = RowFilter::criterionFromText(text);
    QVERIFY(criterion.has_value());
    QCOMPARE(criterion->kind, kind);
    QCOMPARE(criterion->column, column);
}

void TestRowFilter::unknownCriterion_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << "";
    QTest::newRow("lower case") << "删除google收录小于";
    QTest::newRow("mixed case") << "删除Yahoo收录小于";
    QTest::newRow("trailing blank") << "删除PR值小于 ";
    QTest::newRow("leading blank") << " 删除PR值小于";
    QTest::newRow("prefix only") << "删除百度";
    QTest::newRow("with threshold typed in") << "删除百度收录小于10";
    QTest::newRow("full-width hyphen") << "删除带－的域名";
}

void TestRowFilter::unknownCriterion()
{
    QFETCH(QString, text);
    QVERIFY(!RowFilter::criterionFromText(text).has_value());
}

void TestRowFilter::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    const double inf = std::numeric_limits<double>::infinity();

    QTest::newRow("zero") << "0" << 0.0;
    QTest::newRow("integer") << "56" << 56.0;
    QTest::newRow("blanks inside") << " 1 2" << 12.0;
    QTest::newRow("blanks around sign") << " - 5 " << -5.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("upper exponent, signed") << "2E+2" << 200.0;
    QTest::newRow("negative exponent") << "25e-1" << 2.5;
    QTest::newRow("trailing letters") << "12abc" << 12.0;
    QTest::newRow("negative") << "-5" << -5.0;
    QTest::newRow("plus") << "+7" << 7.0;
    QTest::newRow("decimal") << "3.5" << 3.5;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("blanks only") << "   " << 0.0;
    QTest::newRow("dangling exponent") << "1e" << 1.0;
    QTest::newRow("dangling signed exponent") << "1e-" << 1.0;
    QTest::newRow("exponent then letters") << "1ex5" << 1.0;
    QTest::newRow("no integer part") << ".5" << 0.5;
    QTest::newRow("negative, no integer part") << "-.25" << -0.25;
    QTest::newRow("no fraction digits") << "5." << 5.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("point then exponent") << ".e3" << 0.0;
    QTest::newRow("group separator stops") << "1,000" << 1.0;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("double sign") << "--5" << 0.0;
    QTest::newRow("tab is not a blank") << "\t5" << 0.0;
    QTest::newRow("tab ends the number") << "1\t2" << 1.0;
    QTest::newRow("hex is not read") << "0x10" << 0.0;
    QTest::newRow("inf is not read") << "inf" << 0.0;
    QTest::newRow("full-width digits") << "１２" << 0.0;
    QTest::newRow("leading zeros") << "007" << 7.0;
    QTest::newRow("overflow") << "1e999" << inf;
    QTest::newRow("negative overflow") << "-2e400" << -inf;
    QTest::newRow("long digits overflow") << QString(400, u'9') << inf;
    QTest::newRow("underflow") << "1e-999" << 0.0;
    QTest::newRow("fraction underflow") << "0." + QString(400, u'0') + "1" << 0.0;
    QTest::newRow("fraction overflow") << "0.000001e999" << inf;
}

void TestRowFilter::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(RowFilter::leadingNumber(text), expected);
}

void TestRowFilter::cellNumber_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<double>("expected");

    QTest::newRow("plain") << "56" << true << 56.0;
    QTest::newRow("zero") << "0" << true << 0.0;
    QTest::newRow("grouped") << "1,230,000" << true << 1230000.0;
    QTest::newRow("grouped, short lead") << "12,345" << true << 12345.0;
    QTest::newRow("ungrouped large") << "1230000" << true << 1230000.0;
    QTest::newRow("trailing line feed") << "4\n" << true << 4.0;
    QTest::newRow("crlf") << "4\r\n" << true << 4.0;
    QTest::newRow("blanks around") << "  56 " << true << 56.0;
    QTest::newRow("tab before") << "\t7" << true << 7.0;
    QTest::newRow("decimal") << "3.5" << true << 3.5;
    QTest::newRow("grouped decimal") << "1,000.25" << true << 1000.25;
    QTest::newRow("negative") << "-1" << true << -1.0;
    QTest::newRow("beyond 2^53") << "12,345,678,901,234,567,890" << true << 12345678901234567890.0;

    QTest::newRow("failure text") << "查询失败" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blank") << " " << false << 0.0;
    QTest::newRow("line feed only") << "\n" << false << 0.0;
    QTest::newRow("german grouping") << "1.230.000" << false << 0.0;
    QTest::newRow("group of two") << "12,34" << false << 0.0;
    QTest::newRow("group of four") << "1,2345" << false << 0.0;
    QTest::newRow("lead of four") << "1234,567" << false << 0.0;
    QTest::newRow("leading separator") << ",123" << false << 0.0;
    QTest::newRow("trailing separator") << "123," << false << 0.0;
    QTest::newRow("double separator") << "1,,234" << false << 0.0;
    QTest::newRow("blank inside") << "1 230" << false << 0.0;
    QTest::newRow("trailing point") << "5." << false << 0.0;
    QTest::newRow("leading point") << ".5" << false << 0.0;
    QTest::newRow("exponent") << "1e3" << false << 0.0;
    QTest::newRow("unit suffix") << "56条" << false << 0.0;
    QTest::newRow("sign alone") << "-" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("full-width digits") << "５６" << false << 0.0;
    QTest::newRow("absurdly long") << QString(200, u'9') << false << 0.0;
}

void TestRowFilter::cellNumber()
{
    QFETCH(QString, cell);
    QFETCH(bool, readable);
    QFETCH(double, expected);

    const std::optional<double> number = RowFilter::cellNumber(cell);
    QCOMPARE(number.has_value(), readable);
    if (readable)
        QCOMPARE(*number, expected);
}

void TestRowFilter::rowIsDeleted_data()
{
    QTest::addColumn<QString>("criterion");
    QTest::addColumn<QString>("threshold");
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<bool>("deleted");

    const QString baidu = QStringLiteral("删除百度收录小于");
    const QString baiduLinks = QStringLiteral("删除百度反链小于");
    const QString google = QStringLiteral("删除GOOGLE收录小于");
    const QString yahoo = QStringLiteral("删除YAHOO收录小于");
    const QString yahooLinks = QStringLiteral("删除YAHOO反链小于");
    const QString yahooBare = QStringLiteral("删除YAHOO不带W小于");
    const QString pr = QStringLiteral("删除PR值小于");
    const QString hyphen = QStringLiteral("删除带-的域名");
    const QString registered = QStringLiteral("删除不可以注册的域名");

    QTest::newRow("below") << baidu << "10" << row({{2, "9"}}) << true;
    QTest::newRow("equal goes") << baidu << "10" << row({{2, "10"}}) << true;
    QTest::newRow("above stays") << baidu << "10" << row({{2, "11"}}) << false;
    QTest::newRow("zero at zero") << baidu << "0" << row({{2, "0"}}) << true;
    QTest::newRow("unfilled stays") << baidu << "10" << row({}) << false;
    QTest::newRow("failed stays") << baidu << "10" << row({{2, "查询失败"}}) << false;
    QTest::newRow("empty cell stays") << baidu << "10" << row({{2, ""}}) << false;
    QTest::newRow("two blanks stay") << baidu << "10" << row({{2, "  "}}) << false;
    QTest::newRow("grouped equal") << baidu << "1230000" << row({{2, "1,230,000"}}) << true;
    QTest::newRow("grouped above") << baidu << "1229999" << row({{2, "1,230,000"}}) << false;
    QTest::newRow("threshold blanks") << baidu << " 1 2" << row({{2, "12"}}) << true;
    QTest::newRow("threshold exponent") << baidu << "1e3" << row({{2, "1,000"}}) << true;
    QTest::newRow("threshold stops at comma") << baidu << "1,000" << row({{2, "2"}}) << false;
    QTest::newRow("threshold text is 0") << baidu << "abc" << row({{2, "0"}}) << true;
    QTest::newRow("threshold text is 0, 1 stays") << baidu << "abc" << row({{2, "1"}}) << false;
    QTest::newRow("negative threshold") << baidu << "-5" << row({{2, "0"}}) << false;
    QTest::newRow("fraction threshold") << baidu << "3.5" << row({{2, "3"}}) << true;

    // Each numeric criterion reads its own column and no other.
    const QStringList allLow =
        row({{2, "1"}, {3, "1"}, {4, "1"}, {5, "1"}, {6, "1"}, {7, "1"}, {8, "1"}});
    const std::pair<QString, int> numeric[] = {{baidu, 2}, {baiduLinks, 3}, {google, 4},
                                               {yahoo, 5}, {yahooLinks, 6}, {yahooBare, 7},
                                               {pr, 8}};
    for (const auto &[text, column] : numeric) {
        QStringList high = allLow;
        high[column] = QStringLiteral("500");
        QTest::addRow("column %d high stays", column) << text << "100" << high << false;
        QStringList low = row({});
        low[column] = QStringLiteral("50");
        QTest::addRow("column %d low goes", column) << text << "100" << low << true;
    }

    QTest::newRow("pagerank with line feed") << pr << "4" << row({{8, "4\n"}}) << true;
    QTest::newRow("pagerank above with line feed") << pr << "3" << row({{8, "4\n"}}) << false;

    QTest::newRow("hyphen inside") << hyphen << "" << row({{1, "my-site.com"}}) << true;
    QTest::newRow("hyphen first") << hyphen << "" << row({{1, "-a.cn"}}) << true;
    QTest::newRow("hyphen last") << hyphen << "" << row({{1, "a.com-"}}) << true;
    QTest::newRow("no hyphen") << hyphen << "" << row({{1, "mysite.com"}}) << false;
    QTest::newRow("full-width hyphen") << hyphen << "" << row({{1, "my－site.com"}}) << false;
    QTest::newRow("hyphen in label only")
        << hyphen << "" << row({{0, "a-b"}, {1, "ab.com"}}) << false;
    QTest::newRow("hyphen ignores threshold")
        << hyphen << "999" << row({{1, "ab.com"}, {2, "1"}}) << false;

    QTest::newRow("registered goes") << registered << "" << row({{9, "已被注册"}}) << true;
    QTest::newRow("available stays") << registered << "" << row({{9, "可注册"}}) << false;
    QTest::newRow("unchecked stays") << registered << "" << row({}) << false;
    QTest::newRow("registered with blank stays")
        << registered << "" << row({{9, "已被注册 "}}) << false;
    QTest::newRow("registered elsewhere stays")
        << registered << "" << row({{8, "已被注册"}, {9, "可注册"}}) << false;

    QTest::newRow("short row stays") << pr << "10" << QStringList{"x", "a.com", "1"} << false;
    QTest::newRow("short row reads what it has")
        << baidu << "10" << QStringList{"x", "a.com", "1"} << true;
    QTest::newRow("empty row stays") << hyphen << "" << QStringList{} << false;
}

void TestRowFilter::rowIsDeleted()
{
    QFETCH(QString, criterion);
    QFETCH(QString, threshold);
    QFETCH(QStringList, cells);
    QFETCH(bool, deleted);

    const std::optional<FilterCriterion> c = RowFilter::criterionFromText(criterion);
    QVERIFY(c.has_value());
    QCOMPARE(RowFilter::rowIsDeleted(*c, RowFilter::leadingNumber(threshold), cells), deleted);
}

QTEST_GUILESS_MAIN(TestRowFilter)
#include "tst_rowfilter.moc"
