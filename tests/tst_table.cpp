// The result grid's model and the row filter.
#include "Reference.h"
#include "table/GridExport.h"
#include "table/ResultTable.h"
#include "table/RowFilter.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
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

QList<RowCells> snapshot(const ResultTable &table)
{
    QList<RowCells> rows(table.rowCount());
    for (int r = 0; r < table.rowCount(); ++r) {
        for (int c = 0; c < kCellCount; ++c)
            rows[r][std::size_t(c)] = table.cell(r, c);
    }
    return rows;
}

// Cells of every kind a column may hold: counts as sites print them and texts that only look
// like counts, the words of failures and verdicts, years, shares.
const QStringList kPool{
    u"0"_s,    u"7"_s,     u"10"_s,       u"1,230,000"_s,     u"999"_s,       u"1,000"_s,
    u"007"_s,  u"4\n"_s,   u"12,34"_s,    kBlankCell,         QString(),      kQueryFailed,
    u"-3"_s,   u"3.5"_s,   kRegistrable,  kRegistered,        kNoArchive,     u"2004"_s,
    u"3/8"_s,  u"0/8"_s,   u"a-b.com"_s,  u"2,147,483,648"_s, u"600000000"_s, kStageActive,
    u"1998"_s, u"b.com"_s, kQueryRefused, u" 12"_s,
};

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
        table.sortByColumn(BaiduSite);
        QCOMPARE(table.sortDirection(BaiduSite), SortDirection::Descending);
        // Another column starts with its own first click: descending.
        table.sortByColumn(kDomainColumn);
        QCOMPARE(table.sortDirection(kDomainColumn), SortDirection::Descending);
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

    // Ids left far apart by removals are found as well as close ones.
    void rowOfIdsFarApart()
    {
        ResultTable table;
        QList<RowCells> rows;
        for (int i = 0; i < 3000; ++i)
            rows << row(u"n%1.com"_s.arg(i));
        table.appendRows(rows);
        const RowId first = table.rowId(0);
        const RowId gone = table.rowId(1);
        const RowId last = table.rowId(2999);
        table.removeRowsWhere([&](const ResultRow &r) { return r.id != first && r.id != last; });
        table.sortByColumn(kDomainColumn); // n2999 before n0
        QCOMPARE(table.rowOf(last), 0);
        QCOMPARE(table.rowOf(first), 1);
        for (const RowId absent : {RowId(0), gone, last + 1})
            QCOMPARE(table.rowOf(absent), -1);
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

    // A cell shows, exports and saves the text it was given, whatever form the grid keeps it in,
    // and the sort and the filter read the number that text reads as.
    void cellKeepsItsText_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<CellState>("state"); // as read when imported
        const auto add = [](const char *name, int column, const QString &text, CellState state) {
            QTest::newRow(name) << column << text << state;
        };
        const CellState value = CellState::Value;
        add("label", kLabelColumn, u"12"_s, value);
        add("label, failed word", kLabelColumn, kQueryFailed, value);
        add("domain", kDomainColumn, u"中文-名.com"_s, value);
        add("domain blank", kDomainColumn, kBlankCell, CellState::Blank);
        add("count", BaiduSite, u"1230000"_s, value);
        add("count grouped", BaiduSite, u"1,230,000"_s, value);
        add("count zero", GoogleSite, u"0"_s, value);
        add("largest kept as a count", GoogleSite, u"536,870,911"_s, value);
        add("past it", GoogleSite, u"536870912"_s, value);
        add("billions grouped", GoogleSite, u"25,270,000,000"_s, value);
        add("leading zero", YahooPages, u"007"_s, value);
        add("zero lead of a group", YahooPages, u"0,123"_s, value);
        add("group of four", YahooPages, u"1,0000"_s, value);
        add("group of two", YahooPages, u"12,34"_s, value);
        add("lead of four", YahooPages, u"1234,567"_s, value);
        add("signed", YahooLinksWww, u"-5"_s, value);
        add("decimal", YahooLinksWww, u"3.5"_s, value);
        add("blank around", YahooLinksWww, u" 12 "_s, value);
        add("PageRank with its line break", PageRank, u"4\n"_s, value);
        add("CR LF after", PageRank, u"4\r\n"_s, value);
        add("two line breaks", PageRank, u"4\n\n"_s, value);
        add("failed", PageRank, kQueryFailed, CellState::Failed);
        add("refused", BaiduDomain, kQueryRefused, CellState::Refused);
        add("blank", BaiduDomain, kBlankCell, CellState::Blank);
        add("empty", BaiduDomain, QString(), CellState::Blank);
        add("registered", Registration, kRegistered, value);
        add("RDAP stage", Registration, kStagePendingDelete, value);
        add("year", ArchiveFirstYear, u"2004"_s, value);
        add("no archive", ArchiveFirstYear, kNoArchive, value);
        add("years", ArchiveYears, u"18"_s, value);
        add("share", OtherSuffixes, u"3/8"_s, value);
        add("markup", OtherSuffixes, u"<b>3</b>"_s, value);
    }
    void cellKeepsItsText()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(CellState, state);
        ResultTable table;
        RowCells cells;
        cells[std::size_t(column)] = text;
        table.appendRows({cells, cells});
        table.setCell(1, column, text, CellState::Failed);
        table.appendSavedRows({table.savedRow(0), table.savedRow(1)});
        for (int r = 0; r < table.rowCount(); ++r) {
            QCOMPARE(table.cell(r, column), text);
            QCOMPARE(table.cellState(r, column), r % 2 ? CellState::Failed : state);
        }
        QString shown = text;
        QCOMPARE(table.data(table.index(2, table.sectionOf(column))).toString(),
                 shown.replace(u'\n', u' ').replace(u'\r', u' '));
        QCOMPARE(table.cellValue(2, column).number, Numbers::cellNumber(text));
    }

    // The header sort and the row filter on grids of random cells give what the same rules give
    // read from the texts.
    void sortAndFilterMatchTexts_data()
    {
        QTest::addColumn<quint32>("seed");
        for (const quint32 seed : {1u, 2u, 3u})
            QTest::addRow("seed %u", seed) << seed;
    }
    void sortAndFilterMatchTexts()
    {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        QList<RowCells> rows(300);
        QList<RowStates> states(rows.size());
        for (qsizetype r = 0; r < rows.size(); ++r) {
            for (int c = 0; c < kCellCount; ++c) {
                if (c == kDropTimeColumn)
                    continue;
                const QString &text = kPool[rng.bounded(int(kPool.size()))];
                rows[r][std::size_t(c)] = text;
                const CellState read = stateOfSavedText(text);
                states[r][std::size_t(c)] =
                    c < BaiduSite && read != CellState::Blank ? CellState::Value : read;
            }
        }
        const auto filled = [&](ResultTable &table) {
            table.appendRows(rows);
            // A failure whatever its text reads: the filter keeps its row.
            for (int r = 0; r < table.rowCount(); r += 7) {
                table.setCell(r, BaiduSite, rows[r][BaiduSite], CellState::Failed);
                states[r][BaiduSite] = CellState::Failed;
            }
        };

        for (const int c : std::initializer_list<int>{kLabelColumn, kDomainColumn, BaiduSite,
                                                      PageRank, Registration, ArchiveFirstYear,
                                                      ArchiveYears, OtherSuffixes}) {
            ResultTable table;
            filled(table);
            QList<RowCells> expected = rows;
            for (const bool descending : {true, false}) {
                table.sortByColumn(c);
                Reference::sortRows(expected, c, ResultTable::sortsAsNumber(c), descending);
                QVERIFY2(snapshot(table) == expected, qPrintable(u"column %1"_s.arg(c)));
            }
        }
        for (const QString &criterion : RowFilter::criterionTexts()) {
            for (const QString &threshold : {u"-1"_s, u"7"_s, u"1000"_s, u"2004"_s, u"3"_s}) {
                ResultTable table;
                filled(table);
                RowFilter::filterRows(table, criterion, threshold);
                const RowFilter::FilterCriterion rule = *RowFilter::criterionFromText(criterion);
                QList<RowCells> kept;
                for (qsizetype r = 0; r < rows.size(); ++r) {
                    const auto at = std::size_t(rule.column);
                    if (!Reference::deletes(rule.kind, Numbers::leadingNumber(threshold),
                                            rows[r][at], states[r][at]))
                        kept << rows[r];
                }
                QVERIFY2(snapshot(table) == kept, qPrintable(criterion + u' ' + threshold));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
