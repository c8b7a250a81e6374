// Prints how long the result grid takes for the big operations a user triggers with one click:
// importing a category, a header-click sort, and the row filter.
#include "sources/CategoryImport.h"
#include "table/ResultTable.h"
#include "table/RowFilter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList hundredK = names(100'000);
    const QStringList million = names(1'000'000);
    ResultTable table;

    std::printf("result grid (best of 3)\n");
    std::printf("  import 100,000 names:            %8.1f ms\n",
                bestMs(
                    3, [] {}, [&] { Sources::importCategory(table, hundredK); }));
    std::printf("  sort 100,000 rows by domain:     %8.1f ms\n",
                bestMs(
                    3, [&] { Sources::importCategory(table, hundredK); },
                    [&] { table.sortByColumn(kDomainColumn); }));
    std::printf("  import 1,000,000 names:          %8.1f ms\n",
                bestMs(
                    3, [] {}, [&] { Sources::importCategory(table, million); }));
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
    return 0;
}
