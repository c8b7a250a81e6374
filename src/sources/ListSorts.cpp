#include "ListSorts.h"

#include "sources/DeletionLists.h"
#include "text/Numbers.h"

#include <algorithm>
#include <bit>
#include <numeric>
#include <vector>

namespace Sources {

namespace {

// Counts over the values 0..size-1 (a Fenwick tree): how many added values lie below a value.
class CountsBelow final {
    Q_DISABLE_COPY_MOVE(CountsBelow)

public:
    explicit CountsBelow(qsizetype size)
        : m_tree(std::size_t(size) + 1, 0)
    {
    }

    qsizetype below(qsizetype value) const
    {
        qsizetype count = 0;
        for (qsizetype i = value; i > 0; i -= i & -i)
            count += m_tree[std::size_t(i)];
        return count;
    }

    void add(qsizetype value)
    {
        for (qsizetype i = value + 1; i < qsizetype(m_tree.size()); i += i & -i)
            ++m_tree[std::size_t(i)];
    }

private:
    std::vector<quint32> m_tree;
};

// The places 0..size-1 of one length's stretch of the result, each taken once: the k-th of those
// still free in O(log size) (a Fenwick tree of free places, searched by halving steps).
class FreePlaces final {
    Q_DISABLE_COPY_MOVE(FreePlaces)

public:
    FreePlaces() = default;

    void reset(qsizetype size)
    {
        m_tree.resize(std::size_t(size) + 1);
        for (qsizetype i = 1; i <= size; ++i)
            m_tree[std::size_t(i)] = quint32(i & -i);
        m_top = std::bit_floor(std::size_t(size));
    }

    // On the way down, each node whose range holds the place found loses it there and then.
    qsizetype take(qsizetype k)
    {
        const qsizetype size = qsizetype(m_tree.size()) - 1;
        qsizetype place = 0;
        for (qsizetype step = qsizetype(m_top); step > 0; step /= 2) {
            const qsizetype next = place + step;
            if (next > size)
                continue;
            quint32 &node = m_tree[std::size_t(next)];
            if (node <= quint32(k)) {
                place = next;
                k -= node;
            } else {
                --node;
            }
        }
        return place;
    }

private:
    std::vector<quint32> m_tree;
    std::size_t m_top = 0;
};

} // namespace

// Seen from the entries of one length L, the procedure depends only on where the shorter entries
// are, not on their lengths or on the longer entries. Each pass puts one shorter entry in its
// final place, and when the first entry of length L or less from i on has length L, that entry
// moves on to where the first shorter entry after it was. So the entries of length L, in list
// order, gather into one block that turns left by one place for each shorter entry passed: add
// an entry, turn by the shorter entries up to the next entry of length L (or the end), add the
// next, and so on. The block as it ends is their order in the result. It is found backwards:
// before the last turn by b, the entry added last stood at the end, b places before the end of
// the turned block. Each entry thus finds its place among those still free in O(log n), which
// costs the same whatever order the lengths come in.
void sortByLength(QStringList &list)
{
    const qsizetype n = list.size();
    if (n < 2)
        return;
    // The entries' lengths by rank among the distinct lengths. Lengths up to a few times the
    // number of entries are ranked through a table; longer ones, which real lists never have,
    // by a search.
    qsizetype longest = 0;
    for (const QString &entry : std::as_const(list))
        longest = std::max(longest, entry.size());
    std::vector<qsizetype> distinct;
    std::vector<quint32> rankOf;
    if (longest <= 4 * n) {
        rankOf.assign(std::size_t(longest) + 1, 0);
        for (const QString &entry : std::as_const(list))
            rankOf[std::size_t(entry.size())] = 1;
        for (qsizetype length = 0; length <= longest; ++length) {
            if (rankOf[std::size_t(length)]) {
                rankOf[std::size_t(length)] = quint32(distinct.size());
                distinct.push_back(length);
            }
        }
    } else {
        for (const QString &entry : std::as_const(list))
            distinct.push_back(entry.size());
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    }
    const qsizetype lengthCount = qsizetype(distinct.size());
    if (lengthCount == 1)
        return;

    // first[r]: where the entries of the r-th shortest length start in the result, which is
    // also how many entries are shorter.
    std::vector<qsizetype> ranks(static_cast<std::size_t>(n));
    std::vector<qsizetype> first(std::size_t(lengthCount) + 1, 0);
    for (qsizetype p = 0; p < n; ++p) {
        const qsizetype length = list.at(p).size();
        const qsizetype r =
            rankOf.empty()
                ? std::lower_bound(distinct.begin(), distinct.end(), length) - distinct.begin()
                : qsizetype(rankOf[std::size_t(length)]);
        ranks[std::size_t(p)] = r;
        ++first[std::size_t(r) + 1];
    }
    std::partial_sum(first.begin(), first.end(), first.begin());

    // The entries grouped by length in list order, each with the number of shorter entries
    // before it.
    std::vector<qsizetype> filled(first.begin(), first.end() - 1);
    std::vector<quint32> grouped(static_cast<std::size_t>(n));
    std::vector<quint32> shorterBefore(static_cast<std::size_t>(n));
    CountsBelow seen(lengthCount);
    for (qsizetype p = 0; p < n; ++p) {
        const qsizetype r = ranks[std::size_t(p)];
        const std::size_t g = std::size_t(filled[std::size_t(r)]++);
        grouped[g] = quint32(p);
        shorterBefore[g] = quint32(seen.below(r));
        seen.add(r);
    }

    QStringList sorted(n);
    QString *const from = list.data();
    QString *const to = sorted.data();
    FreePlaces places;
    for (qsizetype r = 0; r < lengthCount; ++r) {
        const qsizetype begin = first[std::size_t(r)];
        const qsizetype count = first[std::size_t(r) + 1] - begin;
        places.reset(count);
        qsizetype start = 0; // where the block as it is now begins among the free places
        for (qsizetype j = count - 1; j >= 0; --j) {
            const qsizetype size = j + 1;
            const std::size_t g = std::size_t(begin + j);
            const qsizetype shorterAfter =
                (j + 1 < count ? qsizetype(shorterBefore[g + 1]) : begin) - shorterBefore[g];
            const qsizetype at = (start + size - 1 - shorterAfter % size) % size;
            to[begin + places.take(at)] = std::move(from[grouped[g]]);
            start = size > 1 ? at % (size - 1) : 0;
        }
    }
    list = std::move(sorted);
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
