#include "SourceLists.h"

#include "text/Scrape.h"

#include <algorithm>
#include <optional>

namespace Sources {

namespace {

// Lines that mention "com" are only kept while shorter than this.
constexpr qsizetype kComLineLimit = 18;

std::optional<int> dailyIndex(QStringView line)
{
    for (int index : {Com, Info, Net, Org}) {
        if (!line.contains(suffix(index).marker))
            continue;
        if (index == Com && line.size() >= kComLineLimit)
            return std::nullopt;
        return index;
    }
    return Biz;
}

int cnIndex(QStringView entry)
{
    for (int index : {NetCn, ComCn, GovCn, OrgCn}) {
        if (entry.contains(suffix(index).marker))
            return index;
    }
    return Cn;
}

QString cnEntry(QStringView line)
{
    const bool bracketed = line.contains(u'[') || line.contains(u']');
    static const QStringList brackets = {QStringLiteral("["), QStringLiteral("]")};
    return bracketed ? Scrape::removeAll(line.toString(), brackets) : line.toString();
}

void clampRange(qsizetype size, qsizetype &from, qsizetype &to)
{
    to = std::clamp<qsizetype>(to, 0, size);
    from = std::clamp<qsizetype>(from, 0, to);
}

} // namespace

QList<QStringView> cutLines(QStringView page)
{
    QList<QStringView> pieces;
    if (page.isEmpty())
        return pieces;
    pieces.reserve(page.count(u'\n') + 1);
    qsizetype start = 0;
    for (qsizetype feed; (feed = page.indexOf(u'\n', start)) >= 0; start = feed + 1)
        pieces.append(page.sliced(start, feed - start));
    pieces.append(page.sliced(start));
    return pieces;
}

void fileDailyLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                    SourceLists &lists)
{
    clampRange(pieces.size(), from, to);
    for (qsizetype i = from; i < to; ++i) {
        if (const std::optional<int> index = dailyIndex(pieces[i]))
            lists[*index].append(pieces[i].toString());
    }
}

void fileCnLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to, SourceLists &lists)
{
    clampRange(pieces.size(), from, to);
    for (qsizetype i = from; i < to; ++i) {
        QString entry = cnEntry(pieces[i]);
        lists[cnIndex(entry)].append(std::move(entry));
    }
}

} // namespace Sources
