// Figures for lists a hostile server may send: how long filing, the length breakdown, the length
// sort and the import take on each, from the decoded page on, and the whole day load through the
// simulator for the largest.
#include "SiteSimulator.h"
#include "fetch/PageFetcher.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "sources/LengthBreakdown.h"
#include "sources/ListSorts.h"
#include "sources/SourceLists.h"
#include "table/ResultTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <QCoroTask>

#include <cstdio>
#include <functional>

using namespace Sources;

namespace {

constexpr qsizetype kMiB = 1024 * 1024;

struct Case {
    const char *name;
    QByteArray bytes;
};

QList<Case> cases()
{
    QByteArray distinct;
    for (int i = 0; i < 40'000; ++i) // 14 MB: under the size cap
        distinct += QByteArray(1 + (i * 7919) % 700, char('a' + i % 26)) + ".cn\r\n";
    return {
        {"a million empty lines (LF)", QByteArray(1'000'000, '\n')},
        {"a million empty lines (CR LF)", QByteArray("\r\n").repeated(1'000'000)},
        {"16 MiB of CRs, one line", QByteArray(16 * kMiB, '\r')},
        {"15 lines of 1 MiB", (QByteArray(kMiB, 'a') + ".com.cn\r\n").repeated(15)},
        {"a million lines with NUL bytes", QByteArray("ab\0c.com\r\n", 10).repeated(1'000'000)},
        {"a million lines of brackets", QByteArray("[]\r\n").repeated(1'000'000)},
        {"40,000 names of 700 lengths", distinct},
    };
}

double timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::printf("%-34s %9s %9s %9s %9s %9s %9s\n", "list (served as daily and CN file)", "decode",
                "file", "breakdown", "sort", "import", "day load");
    for (const Case &c : cases()) {
        QString text;
        const double decode =
            timed([&] { text = PageFetcher::decodeBody(c.bytes, Charset::Gb2312); });
        SourceLists lists;
        const double file = timed([&] {
            const QList<QStringView> pieces = cutLines(text);
            fileDailyLines(pieces, 0, pieces.size(), lists);
            fileCnLines(pieces, 0, pieces.size(), lists);
        });
        std::array<Categories, kSourceCount> categories;
        const double breakdown = timed([&] {
            for (int i = 0; i < kSourceCount; ++i)
                categories[std::size_t(i)] = lengthBreakdown(lists[std::size_t(i)], i);
        });
        const double sort = timed([&] {
            for (QStringList &list : lists)
                sortByLength(list);
        });
        // The largest category of any list, as the biggest import a user can make from it.
        const QStringList *largest = nullptr;
        for (const Categories &cats : categories) {
            for (const QStringList &cat : cats) {
                if (!largest || cat.size() > largest->size())
                    largest = &cat;
            }
        }
        ResultTable table;
        const double import = timed([&] { Sources::importCategory(table, *largest); });

        // The day button's whole road: both downloads, decoding and filing in chunks.
        SiteSimulator sim;
        sim.listen();
        sim.setFault(SiteSimulator::Route::DailyList, SiteSimulator::Fault::body(c.bytes));
        sim.setFault(SiteSimulator::Route::CnRegistryList, SiteSimulator::Fault::body(c.bytes));
        PageFetcher fetcher;
        DeletionLists loader(&fetcher, QDate(2026, 12, 6));
        loader.setEndpoints(sim.endpoints());
        const double load = timed([&] { QCoro::waitFor(loader.loadDay(2, QDate(2026, 12, 6))); });

        qsizetype filed = 0;
        for (const QStringList &list : loader.lists())
            filed += list.size();
        qsizetype wanted = 0;
        for (const QStringList &list : lists)
            wanted += list.size();
        std::printf("%-34s %6.1f ms %6.1f ms %6.1f ms %6.1f ms %6.1f ms %6.1f ms  %lld rows "
                    "imported, %s\n",
                    c.name, decode, file, breakdown, sort, import, load,
                    static_cast<long long>(table.rowCount()),
                    filed == wanted ? "loader filed every line" : "LOADER DIFFERS");
    }
    return 0;
}
