#include "ListSorts.h"

#include "sources/DeletionLists.h"
#include "text/Numbers.h"

#include <algorithm>
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

} // namespace

void sortByLength(QStringList &list)
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

QStringList sortBySize(const QStringList &input)
{
    std::vector<double> values;
    values.reserve(input.size());
    for (const QString &text : input)
        values.push_back(Numbers::leadingNumber(text));
    std::stable_sort(values.begin(), values.end());
    QStringList sorted;
    sorted.reserve(input.size());
    for (double v : values)
        sorted.append(Numbers::shortestDecimal(v));
    return sorted;
}

namespace {

void sortLists(DeletionLists &lists, std::initializer_list<int> indexes)
{
    for (int index : indexes) {
        QStringList entries = lists.list(index);
        sortByLength(entries);
        lists.setList(index, std::move(entries));
    }
}

} // namespace

void sortDomesticLists(DeletionLists &lists)
{
    sortLists(lists, {NetCn, ComCn, OrgCn, GovCn});
}

void sortInternationalLists(DeletionLists &lists)
{
    sortLists(lists, {Com, Info, Net, Org, Biz});
}

} // namespace Sources
