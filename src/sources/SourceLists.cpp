#include "SourceLists.h"

#include <algorithm>
#include <optional>

namespace Sources {

namespace {

// Lines of com names are only kept while shorter than this.
constexpr qsizetype kComLineLimit = 18;

// The list of one file whose suffix is the part of `entry` after its first dot.
std::optional<int> listOfSuffix(QStringView entry, bool cnFile)
{
    const QStringView suffixText = entry.sliced(entry.indexOf(u'.') + 1);
    for (int index = 0; index < kSourceCount; ++index) {
        const SuffixRecord &record = suffix(index);
        if (record.fromCnList == cnFile &&
            suffixText.compare(record.caption, Qt::CaseInsensitive) == 0)
            return index;
    }
    return std::nullopt;
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
    pieces.reserve(page.count(u'\n') + 1);
    qsizetype start = 0;
    for (qsizetype feed; (feed = page.indexOf(u'\n', start)) >= 0; start = feed + 1)
        pieces.append(page.sliced(start, feed - start));
    if (start < page.size())
        pieces.append(page.sliced(start));
    return pieces;
}

bool isNameLike(QStringView entry)
{
    if (entry.indexOf(u'.') <= 0)
        return false;
    for (qsizetype i = 0; i < entry.size(); ++i) {
        char32_t c = entry[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < entry.size() && entry[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(entry[i], entry[i + 1]);
            ++i;
        }
        if (c != u'-' && c != u'.' && !(c >= u'0' && c <= u'9') && !QChar::isLetter(c))
            return false;
    }
    return true;
}

qsizetype fileDailyLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                         SourceLists &lists)
{
    clampRange(pieces.size(), from, to);
    qsizetype skipped = 0;
    for (qsizetype i = from; i < to; ++i) {
        const QStringView entry = pieces[i].trimmed();
        const std::optional<int> index =
            isNameLike(entry) ? listOfSuffix(entry, false) : std::nullopt;
        if (!index)
            ++skipped;
        else if (*index != Com || entry.size() < kComLineLimit)
            lists[std::size_t(*index)].append(entry.toString());
    }
    return skipped;
}

qsizetype fileCnLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                      SourceLists &lists)
{
    clampRange(pieces.size(), from, to);
    qsizetype skipped = 0;
    for (qsizetype i = from; i < to; ++i) {
        QString line = pieces[i].toString();
        line.remove(u'[').remove(u']');
        const QString entry = line.trimmed();
        const std::optional<int> index =
            isNameLike(entry) ? listOfSuffix(entry, true) : std::nullopt;
        if (index)
            lists[std::size_t(*index)].append(entry);
        else
            ++skipped;
    }
    return skipped;
}

} // namespace Sources
