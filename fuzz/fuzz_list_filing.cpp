// A downloaded deletion list (gb2312) cut into lines, filed by suffix in chunks as the loader
// does, then each filed list split by length and numeric labels.
#include "FuzzCheck.h"

#include "Reference.h"
#include "fetch/PageFetcher.h"
#include "sources/LengthBreakdown.h"
#include "sources/SourceLists.h"
#include "text/Numbers.h"

#include <algorithm>

namespace {

using Sources::SourceLists;

void checkCutLines(const QString &page, const QList<QStringView> &pieces)
{
    // A final line feed ends the last line; it starts no empty one.
    FUZZ_CHECK(pieces.size() ==
               page.count(u'\n') + (page.endsWith(u'\n') || page.isEmpty() ? 0 : 1));
    QString joined;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        FUZZ_CHECK(!pieces[i].contains(u'\n'));
        joined.append(pieces[i]);
        if (i + 1 < pieces.size() || page.endsWith(u'\n'))
            joined.append(u'\n');
    }
    FUZZ_CHECK(joined == page);
}

void checkBreakdown(const QStringList &list, int index)
{
    const Sources::Categories categories = Sources::lengthBreakdown(list, index);
    const int base = Sources::suffix(index).baseLength;
    FUZZ_CHECK(base > 0);
    qsizetype longEnough = 0;
    qsizetype numeric = 0;
    for (const QString &name : list) {
        longEnough += name.size() >= base;
        const qsizetype dot = name.indexOf(u'.');
        numeric +=
            Numbers::isNumericLabel(dot < 0 ? QStringView(name) : QStringView(name).first(dot));
    }
    qsizetype lengthCategorised = 0;
    for (int c = 0; c < Sources::kCategoryCount; ++c) {
        const QStringList &category = categories[std::size_t(c)];
        FUZZ_CHECK(Fuzz::isSubsequence(category, list));
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
    const QString page = PageFetcher::decodeBody(in.rest(), Charset::Gb2312);

    const QList<QStringView> pieces = Sources::cutLines(page);
    checkCutLines(page, pieces);
    const qsizetype n = pieces.size();

    const auto fileLines = cn ? Sources::fileCnLines : Sources::fileDailyLines;
    SourceLists whole;
    const qsizetype skipped = fileLines(pieces, 0, n, whole);
    SourceLists chunked;
    qsizetype skippedInChunks = 0;
    for (qsizetype from = 0; from < n; from += chunk)
        skippedInChunks += fileLines(pieces, from, from + chunk, chunked);
    FUZZ_CHECK(skippedInChunks == skipped);
    // Bounds outside the pieces are clamped; these file nothing.
    fileLines(pieces, -3, 0, chunked);
    fileLines(pieces, n, n + 7, chunked);
    fileLines(pieces, n, 0, chunked);
    FUZZ_CHECK(chunked == whole);

    // Line by line, every piece not dropped lands once, in page order, in the list its rule
    // names.
    SourceLists single;
    qsizetype skippedByRule = 0;
    for (QStringView piece : pieces) {
        const auto [entry, index] = Reference::filing(piece, cn);
        if (index >= 0)
            single[std::size_t(index)].append(entry);
        skippedByRule += index == -1;
    }
    FUZZ_CHECK(single == whole);
    FUZZ_CHECK(skippedByRule == skipped);

    const int first = cn ? Sources::NetCn : Sources::Com;
    for (int i = 0; i < Sources::kSourceCount; ++i) {
        if (i < first || i >= first + 5)
            FUZZ_CHECK(whole[std::size_t(i)].isEmpty());
        else
            checkBreakdown(whole[std::size_t(i)], i);
    }
    return 0;
}
