#include "table/ResultTable.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList blanks(const QString &domain)
{
    QStringList cells(kColumnCount - 1, kBlankCell);
    cells[0] = domain;
    return cells;
}

QStringList column(const ResultTable &t, int c)
{
    QStringList out;
    for (int r = 1; r <= t.RowCount(); ++r)
        out << t.CellText(r, c);
    return out;
}

void fill(ResultTable &t, const QStringList &values, int c = BaiduSite)
{
    t.ResetTable();
    for (int i = 0; i < values.size(); ++i) {
        t.AddRow(QString::number(i), blanks(QStringLiteral("d%1.com").arg(i)));
        t.SetCellText(i + 1, c, values[i]);
    }
}

} // namespace

class TestResultTable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void modelTester()
    {
        ResultTable t;
        QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::QtTest);
        fill(t, {QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("1,230,000")});
        t.SortByColumn(BaiduSite);
        t.RemoveRow(2);
        t.removeRowsWhere([](const ResultRow &r) { return r.cells[1] == u"d0.com"; });
        t.ResetTable();
        QCOMPARE(t.RowCount(), 0);
    }

    void headers()
    {
        QCOMPARE(ResultTable::headerText(1), QStringLiteral("查询域名"));
        QCOMPARE(ResultTable::headerText(7), QStringLiteral("yahoo不带W"));
        const int widths[kColumnCount] = {20, 100, 70, 70, 80, 70, 70, 80, 70, 70};
        for (int c = 0; c < kColumnCount; ++c)
            QCOMPARE(ResultTable::columnWidth(c), widths[c]);
    }

    void sortToggle_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("toggle");
        const QStringList v{QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("1,230,000")};
        QTest::newRow("first click descending as text")
            << v << QList<int>{BaiduSite} << QStringList{"9", "10", "1,230,000"} << "1";
        QTest::newRow("second click ascending")
            << v << QList<int>{BaiduSite, BaiduSite} << QStringList{"1,230,000", "10", "9"} << "0";
        QTest::newRow("third click descending again")
            << v << QList<int>{BaiduSite, BaiduSite, BaiduSite}
            << QStringList{"9", "10", "1,230,000"} << "1";
        QTest::newRow("another column keeps its own toggle")
            << v << QList<int>{BaiduSite, GoogleSite, BaiduSite}
            << QStringList{"1,230,000", "10", "9"} << "0";
        QTest::newRow("one row: nothing, toggle untouched")
            << QStringList{"5"} << QList<int>{BaiduSite} << QStringList{"5"} << "";
        QTest::newRow("no row") << QStringList{} << QList<int>{BaiduSite} << QStringList{} << "";
    }
    void sortToggle()
    {
        QFETCH(QStringList, values);
        QFETCH(QList<int>, clicks);
        QFETCH(QStringList, expected);
        QFETCH(QString, toggle);
        ResultTable t;
        fill(t, values);
        for (int c : clicks)
            t.SortByColumn(c);
        QCOMPARE(column(t, BaiduSite), expected);
        QCOMPARE(t.sortToggle(BaiduSite), toggle);
    }

    void smallTableThenSortStillDescends()
    {
        ResultTable t;
        fill(t, {QStringLiteral("1")});
        t.SortByColumn(BaiduSite);
        t.AddRow(QStringLiteral("1"), blanks(QStringLiteral("x.com")));
        t.SetCellText(2, BaiduSite, QStringLiteral("2"));
        t.SortByColumn(BaiduSite);
        QCOMPARE(column(t, BaiduSite), (QStringList{"2", "1"}));
    }

    void resetClearsToggles()
    {
        ResultTable t;
        fill(t, {QStringLiteral("1"), QStringLiteral("2")});
        t.SortByColumn(0);
        t.SortByColumn(BaiduSite);
        t.ResetTable();
        for (int c = 0; c < kColumnCount; ++c)
            QCOMPARE(t.sortToggle(c), QString());
    }

    void sortIsStableForEqualTexts()
    {
        ResultTable t;
        fill(t, {QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1")});
        t.SortByColumn(BaiduSite);
        QCOMPARE(column(t, kDomainColumn), (QStringList{"d0.com", "d1.com", "d2.com"}));
    }

    void identitySurvivesSortAndRemoval()
    {
        ResultTable t;
        fill(t, {QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("2")});
        const RowId first = t.rowId(1);
        const RowId second = t.rowId(2);
        t.SortByColumn(BaiduSite); // 3, 2, 1
        QCOMPARE(t.rowOf(first), 1);
        QCOMPARE(t.rowOf(second), 3);
        t.RemoveRow(1);
        QCOMPARE(t.rowOf(first), 0);
        QVERIFY(!t.setCellOf(first, PageRank, QStringLiteral("x")));
        QVERIFY(t.setCellOf(second, PageRank, QStringLiteral("7")));
        QCOMPARE(t.CellText(2, PageRank), QStringLiteral("7"));
        QCOMPARE(t.CellText(2, kDomainColumn), QStringLiteral("d1.com"));
        t.ResetTable();
        t.AddRow(QStringLiteral("0"), blanks(QStringLiteral("d1.com")));
        QCOMPARE(t.rowOf(second), 0); // a new table never inherits old identities
    }

    void outOfRangeIsHarmless()
    {
        ResultTable t;
        fill(t, {QStringLiteral("1")});
        QCOMPARE(t.CellText(0, 1), QString());
        QCOMPARE(t.CellText(2, 1), QString());
        QCOMPARE(t.CellText(1, kColumnCount), QString());
        t.SetCellText(5, 2, QStringLiteral("x"));
        t.RemoveRow(9);
        QCOMPARE(t.RowCount(), 1);
    }

    void removeRowsWhere_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("period"); // every period-th row is removed
        QTest::newRow("few runs") << 50 << 10;
        QTest::newRow("many runs") << 1000 << 2;
        QTest::newRow("all") << 30 << 1;
    }
    void removeRowsWhere()
    {
        QFETCH(int, rows);
        QFETCH(int, period);
        ResultTable t;
        QList<std::array<QString, kColumnCount>> batch;
        for (int i = 0; i < rows; ++i) {
            std::array<QString, kColumnCount> r;
            r.fill(kBlankCell);
            r[0] = QString::number(i);
            r[1] = QStringLiteral("d%1.com").arg(i);
            batch << r;
        }
        t.AddRows(batch);
        QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const RowId kept = t.rowId(2);
        const auto removed = t.removeRowsWhere(
            [period](const ResultRow &r) { return r.cells[0].toInt() % period == 0; });
        QCOMPARE(removed, qsizetype((rows + period - 1) / period));
        QCOMPARE(t.RowCount(), rows - int(removed));
        for (int r = 1; r <= t.RowCount(); ++r)
            QVERIFY(t.CellText(r, 0).toInt() % period != 0);
        if (period > 1)
            QCOMPARE(t.cellOf(kept, kDomainColumn), QStringLiteral("d1.com"));
    }
};

QTEST_GUILESS_MAIN(TestResultTable)
#include "tst_resulttable.moc"
