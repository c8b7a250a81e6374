// A downloaded deletion list (gb2312) cut into lines, filed by suffix in chunks as the loader
// does, then each filed list split by length and numeric labels.
#include "FuzzCheck.h"

#include "fetch/PageFetcher.h"
#include "sources/LengthBreakdown.h"
#include "sources/SourceLists.h"

#include <algorithm>

namespace {

using Sources::SourceLists;

void checkCutLines(const QString &page, const QList<QStringView> &pieces)
{
    if (page.isEmpty()) {
        FUZZ_CHECK(pieces.isEmpty());
        return;
    }
    FUZZ_CHECK(pieces.size() == page.count(u'\n') + 1);
    QString joined;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        FUZZ_CHECK(!pieces[i].contains(u'\n'));
        if (i > 0)
            joined.append(u'\n');
        joined.append(pieces[i]);
    }
    FUZZ_CHECK(joined == page);
}

// Where the documented rules put a line of the daily file; -1: dropped.
int dailyRule(QStringView line)
{
    if (line.contains(u"com"))
        return line.size() < 18 ? Sources::Com : -1;
    if (line.contains(u"info"))
        return Sources::Info;
    if (line.contains(u"net"))
        return Sources::Net;
    if (line.contains(u"org"))
        return Sources::Org;
    return Sources::Biz;
}

int cnRule(QStringView entry)
{
    if (entry.contains(u".net.cn"))
        return Sources::NetCn;
    if (entry.contains(u".com.cn"))
        return Sources::ComCn;
    if (entry.contains(u"gov.cn"))
        return Sources::GovCn;
    if (entry.contains(u"org.cn"))
        return Sources::OrgCn;
    return Sources::Cn;
}

void checkBreakdown(const QStringList &list, int index)
{
    const Sources::Categories categories = Sources::LengthBreakdown(list, index);
    const int base = Sources::baseLength(index);
    FUZZ_CHECK(base > 0);
    // The biz and cn lists end with the file's trailing empty piece, which is never examined.
    const bool lastSkipped = index == Sources::Biz || index == Sources::Cn;
    const QStringList examined =
        lastSkipped ? list.first(std::max<qsizetype>(list.size() - 1, 0)) : list;
    qsizetype longEnough = 0;
    qsizetype numeric = 0;
    for (const QString &name : examined) {
        longEnough += name.size() >= base;
        const qsizetype dot = name.indexOf(u'.');
        numeric +=
            Sources::isNumericLabel(dot < 0 ? QStringView(name) : QStringView(name).first(dot));
    }
    qsizetype lengthCategorised = 0;
    for (int c = 0; c < Sources::kCategoryCount; ++c) {
        const QStringList &category = categories[std::size_t(c)];
        FUZZ_CHECK(Fuzz::isSubsequence(category, examined));
        if (c < 6)
            lengthCategorised += category.size();
        for (const QString &name : category) {
            if (c < 5)
                FUZZ_CHECK(name.size() == base + c);
            else if (c == 5)
                FUZZ_CHECK(name.size() >= base + 5);
        }
    }
    FUZZ_CHECK(lengthCategorised == longEnough);
    FUZZ_CHECK(categories[6].size() == numeric);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::Input in(data, size);
    const std::uint8_t mode = in.byte();
    const bool cn = mode & 1;
    const qsizetype chunk = 1 + (mode >> 1); // the loader's chunk, small to cross many bounds
    const QString page = PageFetcher::DecodeBody(in.rest(), Charset::Gb2312);

    const QList<QStringView> pieces = Sources::cutLines(page);
    checkCutLines(page, pieces);
    const qsizetype n = pieces.size();

    const auto fileLines = cn ? Sources::fileCnLines : Sources::fileDailyLines;
    SourceLists whole;
    fileLines(pieces, 0, n, whole);
    SourceLists chunked;
    for (qsizetype from = 0; from < n; from += chunk)
        fileLines(pieces, from, from + chunk, chunked);
    // Bounds outside the pieces are clamped; these file nothing.
    fileLines(pieces, -3, 0, chunked);
    fileLines(pieces, n, n + 7, chunked);
    fileLines(pieces, n, 0, chunked);
    FUZZ_CHECK(chunked == whole);

    // Line by line, every piece not dropped lands once, in page order, in the list its rule
    // names.
    SourceLists single;
    for (QStringView piece : pieces) {
        const Sources::Filing filing =
            cn ? Sources::fileCnLine(piece) : Sources::fileDailyLine(piece);
        if (cn) {
            QString bare = piece.toString();
            bare.remove(u'[').remove(u']');
            FUZZ_CHECK(filing.entry == bare);
            FUZZ_CHECK(filing.index && *filing.index == cnRule(bare));
        } else {
            const int rule = dailyRule(piece);
            FUZZ_CHECK(filing.index.has_value() == (rule >= 0));
            if (rule < 0)
                continue;
            FUZZ_CHECK(*filing.index == rule);
            FUZZ_CHECK(filing.entry == piece);
        }
        single[std::size_t(*filing.index)].append(filing.entry);
    }
    FUZZ_CHECK(single == whole);

    const int first = cn ? Sources::NetCn : Sources::Com;
    for (int i = 0; i < Sources::kSourceCount; ++i) {
        if (i < first || i >= first + 5)
            FUZZ_CHECK(whole[std::size_t(i)].isEmpty());
        else
            checkBreakdown(whole[std::size_t(i)], i);
    }
    return 0;
}
