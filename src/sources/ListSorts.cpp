#include "ListSorts.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace Sources {

namespace {

// The exchange procedure only compares lengths, so each length is replaced by its rank among the
// distinct lengths; with few distinct lengths a rank fits a byte.
std::vector<qsizetype> distinctLengths(const QStringList &list)
{
    std::unordered_set<qsizetype> seen;
    std::vector<qsizetype> distinct;
    for (const QString &entry : list) {
        if (seen.insert(entry.size()).second)
            distinct.push_back(entry.size());
    }
    std::sort(distinct.begin(), distinct.end());
    return distinct;
}

template <typename Rank>
std::vector<Rank> lengthRanks(const QStringList &list, const std::vector<qsizetype> &distinct)
{
    std::vector<Rank> ranks;
    ranks.reserve(list.size());
    for (const QString &entry : list) {
        ranks.push_back(Rank(std::lower_bound(distinct.begin(), distinct.end(), entry.size()) -
                             distinct.begin()));
    }
    return ranks;
}

// The first position from `from` on holding `rank`, or the end.
template <typename Rank>
qsizetype nextOfRank(const std::vector<Rank> &ranks, Rank rank, qsizetype from)
{
    const qsizetype n = qsizetype(ranks.size());
    if (from >= n)
        return n;
    if constexpr (sizeof(Rank) == 1) {
        const void *hit = std::memchr(ranks.data() + from, rank, size_t(n - from));
        return hit ? static_cast<const Rank *>(hit) - ranks.data() : n;
    } else {
        return std::find(ranks.begin() + from, ranks.end(), rank) - ranks.begin();
    }
}

// Pass i of the procedure swaps w[i] with the first later element shorter than w[i], then with
// the first after that one shorter still, and so on. Each of those is the head (first position
// from i on) of its rank, and exactly those heads are taken that lie nearer than the heads of all
// lower ranks. A rank only ever gains positions beyond its head, so heads move forward only and
// finding the next head costs O(n) per rank over the whole sort.
template <typename Rank> void sortByRank(QString *w, std::vector<Rank> ranks, qsizetype rankCount)
{
    const qsizetype n = qsizetype(ranks.size());
    std::vector<qsizetype> head(rankCount, n);
    for (qsizetype p = n - 1; p >= 0; --p)
        head[ranks[p]] = p;
    std::vector<Rank> chain;
    chain.reserve(rankCount);
    Rank lowest = 0;
    for (qsizetype i = 0; i + 1 < n; ++i) {
        const Rank held = ranks[i];
        while (head[lowest] == n)
            ++lowest;
        chain.clear();
        qsizetype nearest = n;
        for (Rank r = lowest; r < held; ++r) {
            if (head[r] < nearest) {
                nearest = head[r];
                chain.push_back(r);
            }
        }
        // Nearest head first: each swap leaves at that head the element w[i] held until then.
        Rank moved = held;
        for (auto r = chain.rbegin(); r != chain.rend(); ++r) {
            const qsizetype p = head[*r];
            w[i].swap(w[p]);
            ranks[p] = moved;
            moved = *r;
        }
        head[held] = nextOfRank(ranks, held, i + 1);
        for (Rank r : chain)
            head[r] = nextOfRank(ranks, r, head[r] + 1);
    }
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

qsizetype skipDigits(QStringView text, qsizetype at)
{
    while (at < text.size() && isAsciiDigit(text[at]))
        ++at;
    return at;
}

// The end of the decimal number starting at `at`, or `at` when there is none.
qsizetype numberEnd(QStringView text, qsizetype at)
{
    const qsizetype start = at;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-'))
        ++at;
    const qsizetype intStart = at;
    at = skipDigits(text, at);
    qsizetype digits = at - intStart;
    if (at < text.size() && text[at] == u'.') {
        const qsizetype fracEnd = skipDigits(text, at + 1);
        digits += fracEnd - (at + 1);
        if (digits > 0)
            at = fracEnd;
    }
    if (digits == 0)
        return start;
    if (at < text.size() && (text[at] == u'e' || text[at] == u'E')) {
        qsizetype exp = at + 1;
        if (exp < text.size() && (text[exp] == u'+' || text[exp] == u'-'))
            ++exp;
        const qsizetype expEnd = skipDigits(text, exp);
        if (expEnd > exp)
            at = expEnd;
    }
    return at;
}

} // namespace

void SortByLengthLiteral(QStringList &list)
{
    const qsizetype n = list.size();
    QString *w = list.data();
    for (qsizetype i = 0; i < n; ++i) {
        for (qsizetype j = i; j < n; ++j) {
            if (w[i].size() > w[j].size())
                w[i].swap(w[j]);
        }
    }
}

void SortByLength(QStringList &list)
{
    if (list.size() < 2)
        return;
    const std::vector<qsizetype> distinct = distinctLengths(list);
    const qsizetype rankCount = qsizetype(distinct.size());
    if (rankCount <= 256)
        sortByRank(list.data(), lengthRanks<std::uint8_t>(list, distinct), rankCount);
    else
        sortByRank(list.data(), lengthRanks<qsizetype>(list, distinct), rankCount);
}

double leadingNumber(QStringView text)
{
    qsizetype start = 0;
    while (start < text.size() && (text[start] == u' ' || text[start] == u'\t'))
        ++start;
    const qsizetype end = numberEnd(text, start);
    if (end == start)
        return 0.0;
    // The C locale reads the same text whatever the user's locale is; overflow gives infinity.
    return QLocale::c().toDouble(text.sliced(start, end - start));
}

QString shortestDecimal(double value)
{
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0.0 || (magnitude >= 1e-6 && magnitude < 1e21);
    // "+ 0.0" turns a negative zero into zero, which reads the same.
    return QString::number(value + 0.0, plain ? 'f' : 'g', QLocale::FloatingPointShortest);
}

QStringList SortBySize(const QStringList &input)
{
    std::vector<double> values;
    values.reserve(input.size());
    for (const QString &text : input)
        values.push_back(leadingNumber(text));
    std::stable_sort(values.begin(), values.end());
    QStringList sorted;
    sorted.reserve(input.size());
    for (double v : values)
        sorted.append(shortestDecimal(v));
    return sorted;
}

} // namespace Sources
