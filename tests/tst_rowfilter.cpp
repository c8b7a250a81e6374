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
    void leadingNumber_data();
    void leadingNumber();
    void cellNumber_data();
    void cellNumber();
    void rowIsDeleted_data();
    void rowIsDeleted();
};

void TestRowFilter::criterionTexts_data()
{
    QTest::addColumn<int>("index"); // -1: not a criterion
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
    QTest::newRow("unknown: lower case") << -1 << "删除google收录小于" << Kind::NumberAtMost << -1;
    QTest::newRow("unknown: trailing blank") << -1 << "删除PR值小于 " << Kind::NumberAtMost << -1;
    QTest::newRow("unknown: prefix only") << -1 << "删除百度" << Kind::NumberAtMost << -1;
    QTest::newRow("unknown: with threshold typed in")
        << -1 << "删除百度收录小于10" << Kind::NumberAtMost << -1;
    QTest::newRow("unknown: full-width hyphen")
        << -1 << "删除带－的域名" << Kind::NumberAtMost << -1;
}

void TestRowFilter::criterionTexts()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(Kind, kind);
    QFETCH(int, column);

    const QStringList texts = RowFilter::criterionTexts();
    QCOMPARE(texts.size(), 9);
    QCOMPARE(texts.indexOf(text), index);

    const std::optional<FilterCriterion> criterion = RowFilter::criterionFromText(text);
    QCOMPARE(criterion.has_value(), index >= 0);
    if (!criterion)
        return;
    QCOMPARE(criterion->kind, kind);
    QCOMPARE(criterion->column, column);
}

void TestRowFilter::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    const double inf = std::numeric_limits<double>::infinity();

    QTest::newRow("zero") << "0" << 0.0;
    QTest::newRow("blanks inside") << " 1 2" << 12.0;
    QTest::newRow("blanks around sign") << " - 5 " << -5.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("upper exponent, signed") << "2E+2" << 200.0;
    QTest::newRow("negative exponent") << "25e-1" << 2.5;
    QTest::newRow("plus") << "+7" << 7.0;
    QTest::newRow("blanks only") << "   " << 0.0;
    QTest::newRow("dangling exponent") << "1e" << 1.0;
    QTest::newRow("dangling signed exponent") << "1e-" << 1.0;
    QTest::newRow("negative, no integer part") << "-.25" << -0.25;
    QTest::newRow("no fraction digits") << "5." << 5.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("group separator stops") << "1,000" << 1.0;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("double sign") << "--5" << 0.0;
    QTest::newRow("tab is not a blank") << "\t5" << 0.0;
    QTest::newRow("full-width digits") << "１２" << 0.0;
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

    QTest::newRow("zero") << "0" << true << 0.0;
    QTest::newRow("grouped") << "1,230,000" << true << 1230000.0;
    QTest::newRow("lead of three") << "123,456" << true << 123456.0;
    QTest::newRow("trailing line feed") << "4\n" << true << 4.0;
    QTest::newRow("blanks around") << "  56 " << true << 56.0;
    QTest::newRow("grouped decimal") << "1,000.25" << true << 1000.25;
    QTest::newRow("negative") << "-1" << true << -1.0;
    QTest::newRow("beyond 2^53") << "12,345,678,901,234,567,890" << true << 12345678901234567890.0;

    QTest::newRow("failure text") << "查询失败" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blank") << " " << false << 0.0;
    QTest::newRow("german grouping") << "1.230.000" << false << 0.0;
    QTest::newRow("group of two") << "12,34" << false << 0.0;
    QTest::newRow("group of four") << "1,2345" << false << 0.0;
    QTest::newRow("lead of four") << "1234,567" << false << 0.0;
    QTest::newRow("trailing separator") << "123," << false << 0.0;
    QTest::newRow("blank inside") << "1 230" << false << 0.0;
    QTest::newRow("trailing point") << "5." << false << 0.0;
    QTest::newRow("exponent") << "1e3" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
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
    const QString pr = QStringLiteral("删除PR值小于");
    const QString hyphen = QStringLiteral("删除带-的域名");
    const QString registered = QStringLiteral("删除不可以注册的域名");

    QTest::newRow("equal goes") << baidu << "10" << row({{2, "10"}}) << true;
    QTest::newRow("above stays") << baidu << "10" << row({{2, "11"}}) << false;
    QTest::newRow("zero at zero") << baidu << "0" << row({{2, "0"}}) << true;
    QTest::newRow("unfilled stays") << baidu << "10" << row({}) << false;
    QTest::newRow("failed stays") << baidu << "10" << row({{2, "查询失败"}}) << false;
    QTest::newRow("grouped equal") << baidu << "1230000" << row({{2, "1,230,000"}}) << true;
    QTest::newRow("grouped above") << baidu << "1229999" << row({{2, "1,230,000"}}) << false;
    QTest::newRow("threshold exponent") << baidu << "1e3" << row({{2, "1,000"}}) << true;
    QTest::newRow("threshold text is 0") << baidu << "abc" << row({{2, "0"}}) << true;

    QTest::newRow("other columns ignored")
        << baidu << "100"
        << row({{2, "500"}, {3, "1"}, {4, "1"}, {5, "1"}, {6, "1"}, {7, "1"}, {8, "1"}}) << false;

    QTest::newRow("pagerank with line feed") << pr << "4" << row({{8, "4\n"}}) << true;

    QTest::newRow("hyphen inside") << hyphen << "" << row({{1, "my-site.com"}}) << true;
    QTest::newRow("no hyphen, threshold ignored")
        << hyphen << "999" << row({{1, "mysite.com"}, {2, "1"}}) << false;
    QTest::newRow("full-width hyphen") << hyphen << "" << row({{1, "my－site.com"}}) << false;
    QTest::newRow("hyphen in label only")
        << hyphen << "" << row({{0, "a-b"}, {1, "ab.com"}}) << false;

    QTest::newRow("registered goes") << registered << "" << row({{9, "已被注册"}}) << true;
    QTest::newRow("available stays") << registered << "" << row({{9, "可注册"}}) << false;
    QTest::newRow("registered with blank stays")
        << registered << "" << row({{9, "已被注册 "}}) << false;
    QTest::newRow("registered elsewhere stays")
        << registered << "" << row({{8, "已被注册"}, {9, "可注册"}}) << false;

    QTest::newRow("short row stays") << pr << "10" << QStringList{"x", "a.com", "1"} << false;
    QTest::newRow("short row reads what it has")
        << baidu << "10" << QStringList{"x", "a.com", "1"} << true;
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
