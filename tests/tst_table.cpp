// The result grid's model and the row filter.
#include "table/GridExport.h"
#include "table/ResultTable.h"
#include "table/RowFilter.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

RowCells row(const QString &domain, std::initializer_list<std::pair<int, QString>> cells = {})
{
    RowCells r;
    r.fill(kBlankCell);
    r[kDomainColumn] = domain;
    for (const auto &[column, text] : cells)
        r[column] = text;
    return r;
}

// Column `c` top to bottom, '|' between the cells.
QString column(const ResultTable &table, int c)
{
    QStringList out;
    for (int r = 0; r < table.rowCount(); ++r)
        out << table.cell(r, c);
    return out.join(u'|');
}

} // namespace

class TestTable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void headerSortTogglesPerColumn()
    {
        ResultTable table;
        QAbstractItemModelTester tester(&table);
        table.appendRows({row(u"b.com"_s, {{BaiduSite, u"9"_s}})});
        table.sortByColumn(BaiduSite); // one row: nothing happens, not even the toggle
        QCOMPARE(table.sortDirection(BaiduSite), SortDirection::None);

        // Counts sort by value; what is not a number comes after them both ways.
        table.appendRows({row(u"a.com"_s, {{BaiduSite, u"1,230,000"_s}}),
                          row(u"c.com"_s, {{BaiduSite, u"查询失败"_s}}), row(u"d.com"_s),
                          row(u"e.com"_s, {{BaiduSite, u"10"_s}})});
        table.sortByColumn(BaiduSite);
        QCOMPARE(column(table, BaiduSite), u"1,230,000|10|9|查询失败| "_s);
        table.sortByColumn(BaiduSite);
        QCOMPARE(table.sortDirection(BaiduSite), SortDirection::Ascending);
        QCOMPARE(column(table, BaiduSite), u"9|10|1,230,000| |查询失败"_s);
        table.sortByColumn(BaiduSite);
        QCOMPARE(table.sortDirection(BaiduSite), SortDirection::Descending);
        // Another column starts with its own first click: descending; the domain sorts as text.
        table.sortByColumn(kDomainColumn);
        QCOMPARE(column(table, kDomainColumn), u"e.com|d.com|c.com|b.com|a.com"_s);
        table.clear();
        QCOMPARE(table.sortDirection(kDomainColumn), SortDirection::None);
    }

    void rowIdentityOutlivesSortAndRemoval()
    {
        ResultTable table;
        table.appendRows({row(u"b.com"_s), row(u"a.com"_s), row(u"c.com"_s)});
        const RowId c = table.rowId(2);
        table.sortByColumn(kDomainColumn);
        QCOMPARE(table.rowOf(c), 0);
        QVERIFY(table.setCellOf(c, PageRank, u"4"_s));
        QCOMPARE(table.cell(0, PageRank), u"4"_s);
        table.removeRowsWhere([c](const ResultRow &r) { return r.id == c; });
        QCOMPARE(table.rowOf(c), -1);
        QVERIFY(!table.setCellOf(c, PageRank, u"5"_s));
        QCOMPARE(column(table, PageRank), u" | "_s);
    }

    // A registry list's drop times: the column exists exactly while some row has one, sorts by
    // instant with the untimed rows last, and goes out with the export. The archive and
    // other-suffix columns follow it while ticked or filled.
    void laterColumnsComeAndGo()
    {
        ResultTable table;
        QAbstractItemModelTester tester(&table);
        table.appendRows({row(u"a.uk"_s), row(u"b.uk"_s), row(u"c.uk"_s)});
        QCOMPARE(table.columnCount(), kColumnCount);
        QCOMPARE(GridExport::header(table).size(), kColumnCount - 1);
        const QDateTime early(QDate(2026, 12, 8), QTime(13, 5), Qt::UTC);
        table.setDropTimes({early.addSecs(600), {}, early});
        QCOMPARE(table.columnCount(), kColumnCount + 1);
        QCOMPARE(table.headerData(kDropTimeColumn, Qt::Horizontal).toString(), u"删除时间"_s);
        QCOMPARE(GridExport::header(table).last(), u"删除时间"_s);
        QCOMPARE(QDateTime::fromString(GridExport::rows(table, {2}).value(0).last(), Qt::ISODate),
                 early);
        QCOMPARE(GridExport::rows(table, {1}).value(0).last(), QString());
        table.sortByColumn(kDropTimeColumn);
        QCOMPARE(column(table, kDomainColumn), u"a.uk|c.uk|b.uk"_s);
        table.sortByColumn(kDropTimeColumn);
        QCOMPARE(column(table, kDomainColumn), u"c.uk|a.uk|b.uk"_s);
        table.removeRowsWhere(
            [](const ResultRow &r) { return r.dropMs != ResultRow::kNoDropTime; });
        QCOMPARE(table.columnCount(), kColumnCount);
        QCOMPARE(table.sortDirection(kDropTimeColumn), SortDirection::None);

        table.setDropTimes({early});
        table.setWanted(OtherSuffixes, true);
        table.setCell(0, ArchiveYears, u"3"_s); // filled while not ticked: shown all the same
        QCOMPARE(GridExport::header(table).mid(kColumnCount - 1),
                 (QStringList{u"删除时间"_s, u"首次存档"_s, u"存档年数"_s, u"他后缀注册"_s}));
        QCOMPARE(table.data(table.index(0, table.sectionOf(ArchiveYears))).toString(), u"3"_s);
        QCOMPARE(GridExport::rows(table, {0}).value(0).mid(kColumnCount),
                 (QStringList{QString(), u"3"_s, QString()}));
        table.setWanted(OtherSuffixes, false);
        table.setWanted(ArchiveYears, false); // still holds a cell: stays
        QCOMPARE(table.columnCount(), kColumnCount + 3);
        table.clear();
        QCOMPARE(table.columnCount(), kColumnCount);
    }

    // Each row is named by its value, which is both its count and its registration cell; "~x" is
    // a failed query whose cells read "x".
    void filter_data()
    {
        QTest::addColumn<QString>("criterion");
        QTest::addColumn<QString>("threshold");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("kept");
        const QString baidu = u"删除百度收录小于"_s;
        const QStringList counts{"0", "10", "1,230,000", kBlankCell, "查询失败", "9", "~5"};
        QTest::newRow("equal goes, runs go, a failure stays")
            << baidu << "10" << counts << u"1,230,000| |查询失败|~5"_s;
        QTest::newRow("threshold not a number, so 0")
            << baidu << "abc" << counts << u"10|1,230,000| |查询失败|9|~5"_s;
        QTest::newRow("unknown criterion deletes nothing")
            << u"删除google收录小于"_s << "100" << counts << u"0|10|1,230,000| |查询失败|9|~5"_s;
        QTest::newRow("hyphen anywhere")
            << u"删除带-的域名"_s << "0" << QStringList{"a-b.com", "ab.com", "-x.com"}
            << u"ab.com"_s;
        QTest::newRow("registered only, not a failure reading so")
            << u"删除不可以注册的域名"_s << "0"
            << QStringList{"已被注册", "可注册", " ", "~已被注册"} << u"可注册| |~已被注册"_s;
        QTest::newRow("first capture later, and never captured, go")
            << u"删除首次存档晚于"_s << "2005"
            << QStringList{"2004", "2005", "2006", "无存档", "查询失败", "~2010"}
            << u"2004|2005|查询失败|~2010"_s;
        QTest::newRow("fewer other suffixes taken go")
            << u"删除他后缀注册少于"_s << "3" << QStringList{"3/8", "2/8", "0/9", "9", "~1/8"}
            << u"3/8|9|~1/8"_s;
        QStringList alternating; // 500 runs of one row to remove
        for (int i = 0; i < 1000; ++i)
            alternating << QString::number(i % 2);
        QTest::newRow("many runs in one pass")
            << baidu << "0" << alternating << QStringList(500, u"1"_s).join(u'|');
    }
    void filter()
    {
        QFETCH(QString, criterion);
        QFETCH(QString, threshold);
        QFETCH(QStringList, values);
        QFETCH(QString, kept);
        ResultTable table;
        QAbstractItemModelTester tester(&table);
        QList<RowCells> rows;
        for (const QString &value : values)
            rows << row(value, {{BaiduSite, value},
                                {Registration, value},
                                {ArchiveFirstYear, value},
                                {OtherSuffixes, value}});
        table.appendRows(rows);
        for (int r = 0; r < table.rowCount(); ++r) {
            if (values[r].startsWith(u'~')) {
                for (const int c : {BaiduSite, Registration, ArchiveFirstYear, OtherSuffixes})
                    table.setCell(r, c, values[r].mid(1), CellState::Failed);
            }
        }
        const qsizetype removed = RowFilter::filterRows(table, criterion, threshold);
        QCOMPARE(column(table, kDomainColumn), kept);
        QCOMPARE(removed, values.size() - table.rowCount());
    }
};

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
