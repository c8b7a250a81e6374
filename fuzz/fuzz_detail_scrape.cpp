// The single-domain lookup's pages: the deletion-date page (utf-8) and the filing search
// (gb2312), on the same bytes.
#include "FuzzCheck.h"

#include "fetch/PageFetcher.h"
#include "lookup/DetailScrape.h"

namespace {

void checkDeletionPage(const QString &page)
{
    const DetailScrape::DeletionInfo info = DetailScrape::scrapeDeletionPage(page);
    FUZZ_CHECK(!info.cells[0].has_value());
    if (info.noInformation) {
        FUZZ_CHECK(page.contains(u"没有查询到相应的信息"));
        for (const std::optional<QString> &cell : info.cells)
            FUZZ_CHECK(!cell.has_value());
        FUZZ_CHECK(!info.countdown.has_value());
        return;
    }

    // One cell per cell marker, up to five, filled from the first on. The marker cannot
    // overlap itself, so counting occurrences counts the cells.
    const qsizetype markers = page.count(u"deltd1\">");
    for (qsizetype k = 1; k < qsizetype(info.cells.size()); ++k)
        FUZZ_CHECK(info.cells[std::size_t(k)].has_value() == (k <= markers));

    FUZZ_CHECK(info.countdown.has_value() == page.contains(u">还剩："));
    if (info.countdown) {
        FUZZ_CHECK(!info.countdown->contains(u' '));
        FUZZ_CHECK(!info.countdown->contains(u'<'));
    }
}

void checkFilingPage(const QString &page)
{
    using DetailScrape::FilingResult;
    const FilingResult filing = DetailScrape::scrapeFilingPage(page);
    FUZZ_CHECK((filing.kind == FilingResult::NotFiled) == !page.contains(u"ap\"><a"));
    if (filing.kind == FilingResult::Filed) {
        FUZZ_CHECK(!filing.number.contains(u'<'));
        FUZZ_CHECK(page.contains(QStringLiteral("_blank\">") + filing.number));
    } else {
        FUZZ_CHECK(filing.number.isEmpty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    checkDeletionPage(PageFetcher::decodeBody(body, Charset::Utf8));
    checkFilingPage(PageFetcher::decodeBody(body, Charset::Gb2312));
    return 0;
}
