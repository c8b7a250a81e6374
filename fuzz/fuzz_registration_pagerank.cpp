// The registration answer (gb2312) and both PageRank pages (utf-8) on the same bytes.
#include "FuzzCheck.h"

#include "fetch/PageFetcher.h"
#include "probes/Recipes.h"
#include "text/Words.h"

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));

    // One substring test: only the sanitizers have something to say about it.
    Probes::scrapeRegistration(PageFetcher::decodeBody(body, Charset::Gb2312));

    const QString page = PageFetcher::decodeBody(body, Charset::Utf8);
    static const QString frameMarker = QStringLiteral("<iframe src=\"http://");
    const std::optional<QString> frame = Probes::pageRankFrameAddress(page);
    const qsizetype at = page.indexOf(frameMarker);
    FUZZ_CHECK(frame.has_value() == (at >= 0));
    if (frame) {
        // The address follows the first frame marker and ends at a quote, at the next frame
        // marker or at the end of the page.
        FUZZ_CHECK(!frame->contains(u'"'));
        const QStringView rest = QStringView(page).sliced(at + frameMarker.size());
        FUZZ_CHECK(Fuzz::startsWith(rest, *frame));
        const QStringView beyond = rest.sliced(frame->size());
        FUZZ_CHECK(beyond.isEmpty() || beyond.front() == u'"' ||
                   Fuzz::startsWith(beyond, frameMarker));
    }

    // A rank is one of "0" to "10" and stands after the first "Rank_" and "1:1:", blanks aside;
    // anything else, a page without "Rank_" included, is the failure.
    const QString rank = Probes::scrapePageRank(page).value_or(kQueryFailed);
    bool isRank = false;
    const int value = rank.toInt(&isRank);
    FUZZ_CHECK(rank == kQueryFailed || (isRank && value >= 0 && value <= 10));
    const qsizetype rankAt = page.indexOf(u"Rank_");
    if (rankAt < 0)
        FUZZ_CHECK(rank == kQueryFailed);
    else if (rank != kQueryFailed)
        FUZZ_CHECK(page.sliced(rankAt + 5).remove(u"1:1:"_s).trimmed().startsWith(rank));
    return 0;
}
