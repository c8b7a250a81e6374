// Figures for the deletion-list logic: filing big pages, length categories and the list sorts.
#include "Reference.h"
#include "sources/LengthBreakdown.h"
#include "sources/ListSorts.h"
#include "sources/SourceLists.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

using namespace Sources;

namespace {

constexpr int kRepetitions = 5;
// The two timings of filing_vs_split: short, so a shared machine's hiccups show in many.
constexpr int kRatioRepetitions = 11;

struct Timing {
    double best = 0;
    double median = 0;
};

// `prepare` runs untimed before each repetition, so work on a fresh copy is not counted.
Timing measure(int repetitions, const std::function<void()> &prepare,
               const std::function<void()> &work)
{
    std::vector<double> ms;
    for (int r = 0; r < repetitions; ++r) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2]};
}

void report(const char *what, const Timing &t)
{
    std::printf("%-58s best %9.1f ms   median %9.1f ms\n", what, t.best, t.median);
}

// Labels of 1..20 characters, mostly 4..10, as on a real deletion list.
QString realisticLabel(QRandomGenerator &rng)
{
    static constexpr char16_t kChars[] = u"abcdefghijklmnopqrstuvwxyz0123456789-";
    const int length = rng.bounded(10) < 8 ? 4 + rng.bounded(7) : 1 + rng.bounded(20);
    QString label(length, Qt::Uninitialized);
    for (QChar &c : label)
        c = QChar(kChars[rng.bounded(int(std::size(kChars)) - 1)]);
    return label;
}

QStringList realisticNames(int n, const QString &suffix, quint32 seed)
{
    QRandomGenerator rng(seed);
    QStringList names;
    names.reserve(n);
    for (int i = 0; i < n; ++i)
        names.append(realisticLabel(rng) + suffix);
    return names;
}

QString page(int lines, const QStringList &suffixes, quint32 seed)
{
    QRandomGenerator rng(seed);
    QString text;
    for (int i = 0; i < lines; ++i)
        text += realisticLabel(rng) + suffixes[rng.bounded(int(suffixes.size()))] + u'\n';
    return text;
}

// Descending runs over many distinct lengths: the chains of the length sort grow to the number
// of distinct lengths, the sort's worst realistic-memory shape.
QStringList descendingRuns(int n, int longest)
{
    QStringList names;
    names.reserve(n);
    for (int i = 0; i < n; ++i)
        names.append(QString(longest - i % longest, u'x'));
    return names;
}

// Random texts of lengths 0..longest: as many distinct lengths as a list can have in practice.
QStringList randomLengths(int n, int longest, quint32 seed)
{
    QRandomGenerator rng(seed);
    QStringList names;
    names.reserve(n);
    for (int i = 0; i < n; ++i)
        names.append(QString(rng.bounded(longest + 1), QChar(u'a' + i % 26)));
    return names;
}

// The cheapest honest line split of the page's own UTF-16 buffer: memchr for the feed's low byte,
// kept only where it starts a code unit whose high byte is zero.
std::vector<QStringView> splitWithMemchr(QStringView page)
{
    std::vector<QStringView> lines;
    const char *const bytes = reinterpret_cast<const char *>(page.data());
    const std::size_t size = std::size_t(page.size()) * 2;
    std::size_t start = 0;
    for (std::size_t at = 0;;) {
        const void *hit = std::memchr(bytes + at, '\n', size - at);
        if (!hit)
            break;
        at = std::size_t(static_cast<const char *>(hit) - bytes);
        if (at % 2 == 0 && bytes[at + 1] == 0) {
            lines.emplace_back(page.data() + start / 2, qsizetype(at - start) / 2);
            start = at + 2;
        }
        ++at;
    }
    if (start < size)
        lines.emplace_back(page.data() + start / 2, qsizetype(size - start) / 2);
    return lines;
}

// Returns cut + file of the daily page over its memchr split, both best of their repetitions.
double benchPages()
{
    const int lines = 1000000;
    const QString daily = page(lines, {".com", ".net", ".org", ".info", ".biz", ".com", ".com"}, 1);
    const QString cn = page(lines, {".cn", ".com.cn", ".net.cn", ".org.cn", ".gov.cn"}, 2);

    QList<QStringView> pieces;
    report("cut a 1,000,000-line daily page",
           measure(
               kRepetitions, [] {}, [&] { pieces = cutLines(daily); }));
    SourceLists lists;
    report("file its 1,000,000 pieces",
           measure(
               kRepetitions, [&] { lists = {}; },
               [&] { fileDailyLines(pieces, 0, pieces.size(), lists); }));
    std::vector<QStringView> split;
    const Timing memchrSplit = measure(
        kRatioRepetitions, [&] { split = {}; }, [&] { split = splitWithMemchr(daily); });
    report("memchr line split of the same page", memchrSplit);
    if (qsizetype(split.size()) != pieces.size())
        std::printf("  the memchr split found %lld lines, the cut %lld\n", qlonglong(split.size()),
                    qlonglong(pieces.size()));
    // The loader's way: one pass over the page, which it takes over, cutting and filing as it
    // goes. The loader owns the downloaded text; here each repetition gets a copy of its own.
    QString owned;
    const auto fileOwned = [&](bool cnFile, qsizetype chunk) {
        PageFiling filing(std::move(owned), cnFile);
        while (!filing.atEnd())
            filing.fileLines(chunk, lists);
    };
    const auto prepare = [&](const QString &text) {
        lists = {};
        owned = text;
        owned.detach();
    };
    const Timing cutAndFile = measure(
        kRatioRepetitions, [&] { prepare(daily); }, [&] { fileOwned(false, lines); });
    report("cut + file, whole page", cutAndFile);
    report("cut + file, in chunks of 10,000 lines",
           measure(
               kRepetitions, [&] { prepare(daily); }, [&] { fileOwned(false, 10000); }));
    std::printf("  filed: com %lld, info %lld, net %lld, org %lld, biz %lld\n",
                qlonglong(lists[Com].size()), qlonglong(lists[Info].size()),
                qlonglong(lists[Net].size()), qlonglong(lists[Org].size()),
                qlonglong(lists[Biz].size()));
    report("cut + file a 1,000,000-line CN page",
           measure(
               kRepetitions, [&] { prepare(cn); }, [&] { fileOwned(true, lines); }));
    return cutAndFile.best / memchrSplit.best;
}

void benchBreakdown()
{
    const QStringList names = realisticNames(1000000, QStringLiteral(".com"), 3);
    Categories categories;
    report("length categories of 1,000,000 com names",
           measure(
               kRepetitions, [] {}, [&] { categories = lengthBreakdown(names, Com); }));
    std::printf("  categories:");
    for (const QStringList &c : categories)
        std::printf(" %lld", qlonglong(c.size()));
    std::printf("\n");
}

// Returns the slower of the 1,000,000-name descending runs over 1,000,000 realistic names.
double benchSortByLength()
{
    const QStringList small = realisticNames(32767, QStringLiteral(".com"), 4);
    QStringList work;
    const Timing literal = measure(
        3, [&] { work = small; }, [&] { Reference::sortByLengthLiteral(work); });
    const QStringList literalResult = work;
    report("SortByLengthLiteral, 32,767 realistic names", literal);
    const Timing fast = measure(
        kRepetitions, [&] { work = small; }, [&] { sortByLength(work); });
    report("SortByLength, 32,767 realistic names", fast);
    std::printf("  literal / fast (best): %.0fx, same order: %s\n", literal.best / fast.best,
                work == literalResult ? "yes" : "NO");

    const QStringList big = realisticNames(1000000, QStringLiteral(".com"), 5);
    const Timing typical = measure(
        kRepetitions, [&] { work = big; }, [&] { sortByLength(work); });
    report("SortByLength, 1,000,000 realistic names", typical);
    double worst = 0;

    for (const auto &[n, longest] : {std::pair{100000, 64}, std::pair{100000, 256},
                                     std::pair{1000000, 16}, std::pair{1000000, 64}}) {
        const QStringList runs = descendingRuns(n, longest);
        const QByteArray what = QStringLiteral("SortByLength, %1 names in descending runs %2..1")
                                    .arg(n)
                                    .arg(longest)
                                    .toUtf8();
        const Timing t = measure(
            3, [&] { work = runs; }, [&] { sortByLength(work); });
        report(what.constData(), t);
        if (n == 1000000)
            worst = std::max(worst, t.best);
    }
    for (const auto &[n, longest] : {std::pair{200000, 200}, std::pair{50000, 1000}}) {
        const QStringList names = randomLengths(n, longest, 8);
        const QByteArray what = QStringLiteral("SortByLength, %1 texts of random lengths 0..%2")
                                    .arg(n)
                                    .arg(longest)
                                    .toUtf8();
        report(what.constData(), measure(
                                     3, [&] { work = names; }, [&] { sortByLength(work); }));
    }
    const QStringList runs = descendingRuns(32767, 256);
    const Timing runsLiteral = measure(
        1, [&] { work = runs; }, [&] { Reference::sortByLengthLiteral(work); });
    report("SortByLengthLiteral, 32,767 names in descending runs 256..1", runsLiteral);
    const Timing runsFast = measure(
        3, [&] { work = runs; }, [&] { sortByLength(work); });
    report("SortByLength, 32,767 names in descending runs 256..1", runsFast);
    std::printf("  literal / fast (best): %.0fx\n", runsLiteral.best / runsFast.best);
    return worst / typical.best;
}

void benchSortBySize()
{
    QRandomGenerator rng(6);
    QStringList sizes;
    for (int i = 0; i < 1000000; ++i)
        sizes.append(QString::number(rng.bounded(100000)) + QStringLiteral("KB"));
    report("SortBySize, 1,000,000 texts", measure(
                                              kRepetitions, [] {}, [&] { sortBySize(sizes); }));
}

} // namespace

int main()
{
    const double filingVsSplit = benchPages();
    benchBreakdown();
    const double sortWorstVsTypical = benchSortByLength();
    benchSortBySize();
    std::printf("FIGURE filing_vs_split %.2f\n", filingVsSplit);
    std::printf("FIGURE sort_worst_vs_typical %.2f\n", sortWorstVsTypical);
    return 0;
}
