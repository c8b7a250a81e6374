// Prints how long the result grid takes for the big operations a user triggers with one click:
// importing a category, a header-click sort, and the row filter; then what a filled grid of a
// million rows holds in memory. Ends with `FIGURE key value` lines a check can read.
#include "sources/CategoryImport.h"
#include "table/ResultTable.h"
#include "table/RowFilter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

QStringList names(qsizetype n)
{
    QRandomGenerator rng(7);
    QStringList out;
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const int len = 3 + int(rng.bounded(8));
        QString label(len, u'a');
        for (QChar &c : label)
            c = QChar(u'a' + rng.bounded(26));
        out << label + QStringLiteral(".com");
    }
    return out;
}

// Best of `repeats` runs of `work`, each after `prepare`.
double bestMs(int repeats, const std::function<void()> &prepare, const std::function<void()> &work)
{
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        prepare();
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

void fillCounts(ResultTable &table)
{
    QRandomGenerator rng(11);
    QList<RowId> ids = table.rowIds();
    for (RowId id : ids) {
        const quint32 r = rng.bounded(100);
        table.setCellOf(id, BaiduSite,
                        r < 20   ? kBlankCell
                        : r < 25 ? QStringLiteral("查询失败")
                                 : QLocale::c().toString(rng.bounded(2'000'000)));
    }
}

// Every column filled as a run leaves it: counts printed as the sites print them, a share of
// failures and blanks, the registration, archive and other-suffix answers.
void fillAll(ResultTable &table)
{
    QRandomGenerator rng(13);
    const QLocale grouped(QLocale::English, QLocale::UnitedStates);
    const QString verdicts[] = {kRegistrable, kRegistered, kNotRegistered, kQueryFailed};
    for (int row = 0; row < table.rowCount(); ++row) {
        for (int c = BaiduSite; c < PageRank; ++c) {
            const quint32 r = rng.bounded(100);
            const int n = int(rng.bounded(1 << int(rng.bounded(27))));
            if (r < 10)
                table.setCell(row, c, kQueryFailed, CellState::Failed);
            else if (r < 15)
                table.setCell(row, c, kBlankCell, CellState::Blank);
            else
                table.setCell(row, c, r < 80 ? grouped.toString(n) : QString::number(n));
        }
        table.setCell(row, PageRank, QString::number(rng.bounded(11)) + u'\n');
        table.setCell(row, Registration, verdicts[rng.bounded(4)]);
        const bool archived = rng.bounded(4) != 0;
        table.setCell(row, ArchiveFirstYear,
                      archived ? QString::number(1996 + rng.bounded(30)) : kNoArchive);
        table.setCell(row, ArchiveYears, QString::number(archived ? rng.bounded(30) : 0));
        table.setCell(row, OtherSuffixes, QStringLiteral("%1/8").arg(rng.bounded(9)));
    }
}

// The process's resident memory, in bytes.
qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList hundredK = names(100'000);
    const QStringList million = names(1'000'000);

    // First, in a grid of its own, so that nothing the runs below leave behind is counted.
    qint64 gridBytes = 0;
    {
        const qint64 before = residentBytes();
        ResultTable filled;
        Sources::importCategory(filled, million);
        fillAll(filled);
        gridBytes = residentBytes() - before;
    }
    ResultTable table;

    std::printf("result grid (best of 3)\n");
    std::printf("  import 100,000 names:            %8.1f ms\n",
                bestMs(
                    3, [] {}, [&] { Sources::importCategory(table, hundredK); }));
    std::printf("  sort 100,000 rows by domain:     %8.1f ms\n",
                bestMs(
                    3, [&] { Sources::importCategory(table, hundredK); },
                    [&] { table.sortByColumn(kDomainColumn); }));
    const double importMs = bestMs(
        3, [] {}, [&] { Sources::importCategory(table, million); });
    std::printf("  import 1,000,000 names:          %8.1f ms\n", importMs);
    const double countSortMs = bestMs(
        3,
        [&] {
            Sources::importCategory(table, million);
            fillCounts(table);
        },
        [&] { table.sortByColumn(BaiduSite); });
    std::printf("  sort 1,000,000 rows by a count:  %8.1f ms\n", countSortMs);
    qsizetype removed = 0;
    const double filterMs = bestMs(
        3,
        [&] {
            Sources::importCategory(table, million);
            fillCounts(table);
        },
        [&] {
            removed = RowFilter::filterRows(table, QStringLiteral("删除百度收录小于"),
                                            QStringLiteral("1000000"));
        });
    std::printf("  filter 1,000,000 rows (%lld go): %8.1f ms\n", static_cast<long long>(removed),
                filterMs);
    std::printf("  1,000,000 filled rows resident:  %8.1f MB\n", gridBytes / 1e6);

    std::printf("FIGURE grid_bytes_per_row %.0f\n", double(gridBytes) / double(million.size()));
    std::printf("FIGURE import_ns_per_row %.0f\n", importMs * 1e6 / double(million.size()));
    std::printf("FIGURE count_sort_ms_1m %.0f\n", countSortMs);
    return 0;
}
