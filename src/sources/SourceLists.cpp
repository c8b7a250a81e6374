#include "SourceLists.h"

#include "probes/Scrape.h"

#include <algorithm>

namespace Sources {

namespace {

// Lines that mention "com" are only kept while shorter than this.
constexpr qsizetype kComLineLimit = 18;

// The com button cannot count beyond this; larger lists show a fixed text instead.
constexpr qsizetype kComCaptionLimit = 32768;

std::optional<int> dailyIndex(QStringView line)
{
    if (line.contains(u"com"))
        return line.size() < kComLineLimit ? std::optional<int>(Com) : std::nullopt;
    if (line.contains(u"info"))
        return Info;
    if (line.contains(u"net"))
        return Net;
    if (line.contains(u"org"))
        return Org;
    return Biz;
}

int cnIndex(QStringView entry)
{
    if (entry.contains(u".net.cn"))
        return NetCn;
    if (entry.contains(u".com.cn"))
        return ComCn;
    if (entry.contains(u"gov.cn"))
        return GovCn;
    if (entry.contains(u"org.cn"))
        return OrgCn;
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

Filing fileDailyLine(QStringView line)
{
    const std::optional<int> index = dailyIndex(line);
    return {index, index ? line.toString() : QString()};
}

Filing fileCnLine(QStringView line)
{
    QString entry = cnEntry(line);
    const int index = cnIndex(entry);
    return {index, std::move(entry)};
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

QString initialCaption(int index)
{
    static const std::array<QString, kSourceCount> captions = {
        QStringLiteral("com"),    QStringLiteral("info"),   QStringLiteral("net"),
        QStringLiteral("org"),    QStringLiteral("biz"),    QStringLiteral("net.cn"),
        QStringLiteral("com.cn"), QStringLiteral("org.cn"), QStringLiteral("gov.cn"),
        QStringLiteral("cn")};
    return index >= 0 && index < kSourceCount ? captions[index] : QString();
}

QString suffixCaption(int index, qsizetype count)
{
    static const std::array<QString, kSourceCount> prefixes = {
        QStringLiteral(".com 共："),   QStringLiteral(".info 共："),  QStringLiteral(".net 共："),
        QStringLiteral(".org 共："),   QStringLiteral(".biz 共："),   QStringLiteral("net.cn 共："),
        QStringLiteral("com.cn 共："), QStringLiteral("org.cn 共："), QStringLiteral("gov.cn 共："),
        QStringLiteral(".cn 共：")};
    if (index < 0 || index >= kSourceCount)
        return {};
    if (index == Com && count >= kComCaptionLimit)
        return QStringLiteral("大于32768条");
    // The biz list always ends with the empty piece after the file's last line feed.
    if (index == Biz)
        count = std::max<qsizetype>(count - 1, 0);
    return prefixes[index] + QString::number(count);
}

} // namespace Sources
