// The result grid's model and the row filter.
#include "table/ResultTable.h"
#include "table/RowFilter.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(RowCells)

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

QStringList column(const ResultTable &table, int c)
{
    QStringList out;
    for (int r = 0; r < table.rowCount(); ++r)
        out << table.cell(r, c);
    return out;
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
        QCOMPARE(column(table, BaiduSite),
                 (QStringList{u"1,230,000"_s, u"10"_s, u"9"_s, u"查询失败"_s, kBlankCell}));
        table.sortByColumn(BaiduSite);
        QCOMPARE(table.sortDirection(BaiduSite), SortDirection::Ascending);
        QCOMPARE(column(table, BaiduSite),
                 (QStringList{u"9"_s, u"10"_s, u"1,230,000"_s, kBlankCell, u"查询失败"_s}));
        table.sortByColumn(BaiduSite);
        QCOMPARE(table.sortDirection(BaiduSite), SortDirection::Descending);
        // Another column starts with its own first click: descending; the domain sorts as text.
        table.sortByColumn(kDomainColumn);
        QCOMPARE(column(table, kDomainColumn),
                 (QStringList{u"e.com"_s, u"d.com"_s, u"c.com"_s, u"b.com"_s, u"a.com"_s}));
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
        QCOMPARE(column(table, PageRank), (QStringList{kBlankCell, kBlankCell}));
    }

    void filter_data()
    {
        QTest::addColumn<QString>("criterion");
        QTest::addColumn<QString>("threshold");
        QTest::addColumn<QList<RowCells>>("rows");
        QTest::addColumn<QStringList>("kept");
        const QString baidu = u"删除百度收录小于"_s;
        const QList<RowCells> counts = {
            row(u"zero.com"_s, {{BaiduSite, u"0"_s}}),
            row(u"ten.com"_s, {{BaiduSite, u"10"_s}}),
            row(u"big.com"_s, {{BaiduSite, u"1,230,000"_s}}),
            row(u"blank.com"_s),
            row(u"failed.com"_s, {{BaiduSite, u"查询失败"_s}}),
            row(u"nine.com"_s, {{BaiduSite, u"9"_s}}),
        };
        QTest::newRow("zero threshold")
            << baidu << "0" << counts
            << QStringList{"ten.com", "big.com", "blank.com", "failed.com", "nine.com"};
        QTest::newRow("equal goes, runs go")
            << baidu << "10" << counts << QStringList{"big.com", "blank.com", "failed.com"};
        QTest::newRow("threshold not a number")
            << baidu << "abc" << counts
            << QStringList{"ten.com", "big.com", "blank.com", "failed.com", "nine.com"};
        QTest::newRow("hyphen anywhere")
            << u"删除带-的域名"_s << "0"
            << QList<RowCells>{row(u"a-b.com"_s), row(u"ab.com"_s), row(u"-x.com"_s)}
            << QStringList{"ab.com"};
        QTest::newRow("registered only")
            << u"删除不可以注册的域名"_s << "0"
            << QList<RowCells>{row(u"r.com"_s, {{Registration, u"已被注册"_s}}),
                               row(u"f.com"_s, {{Registration, u"可注册"_s}}), row(u"b.com"_s)}
            << QStringList{"f.com", "b.com"};
        QTest::newRow("unknown criterion deletes nothing")
            << u"删除google收录小于"_s << "100" << counts
            << QStringList{"zero.com", "ten.com", "big.com", "blank.com", "failed.com", "nine.com"};
    }
    void filter()
    {
        QFETCH(QString, criterion);
        QFETCH(QString, threshold);
        QFETCH(QList<RowCells>, rows);
        QFETCH(QStringList, kept);
        ResultTable table;
        QAbstractItemModelTester tester(&table);
        table.appendRows(rows);
        const qsizetype removed = RowFilter::filterRows(table, criterion, threshold);
        QCOMPARE(column(table, kDomainColumn), kept);
        QCOMPARE(removed, rows.size() - kept.size());
    }

    void manyRunsRemovedInOnePass()
    {
        ResultTable table;
        QAbstractItemModelTester tester(&table);
        QList<RowCells> rows;
        for (int i = 0; i < 1000; ++i)
            rows << row(QStringLiteral("n%1.com").arg(i), {{PageRank, QString::number(i % 2)}});
        table.appendRows(rows);
        QCOMPARE(RowFilter::filterRows(table, u"删除PR值小于"_s, u"0"_s), 500);
        QCOMPARE(table.rowCount(), 500);
        QCOMPARE(table.cell(499, kDomainColumn), u"n999.com"_s);
    }

    void tooltipShowsMarkupAsText()
    {
        ResultTable table;
        table.appendRows({row(u"<img src=x>.com"_s)});
        const QString tip = table.data(table.index(0, kDomainColumn), Qt::ToolTipRole).toString();
        QVERIFY(tip.contains(u"&lt;img src=x&gt;.com"_s));
        QVERIFY(!tip.contains(u"<img"_s));
    }
};

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
