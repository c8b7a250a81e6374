// The registration answer (gb2312) and both PageRank pages (utf-8) on the same bytes.
#include "FuzzCheck.h"

#include "fetch/PageFetcher.h"
#include "probes/Recipes.h"

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

    const QString rank = Probes::scrapePageRank(page);
    FUZZ_CHECK(!rank.contains(u':'));
    if (!page.contains(u"Ran") || !page.contains(u"Rank_"))
        FUZZ_CHECK(rank == u"0");
    return 0;
}
