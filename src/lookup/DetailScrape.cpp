#include "DetailScrape.h"

#include "text/Scrape.h"

namespace DetailScrape {

namespace {

constexpr QStringView noInformationMarker = u"没有查询到相应的信息";
constexpr QStringView cellMarker = u"deltd1\">";
constexpr QStringView cellEnd = u"</td";
constexpr QStringView countdownMarker = u">还剩：";

constexpr QStringView filingMarker = u"ap\"><a";
constexpr QStringView filingEnd = u"</td>";
constexpr QStringView linkMarker = u"_blank\">";

} // namespace

DeletionInfo scrapeDeletionPage(QStringView page)
{
    DeletionInfo info;
    if (page.contains(noInformationMarker)) {
        info.noInformation = true;
        return info;
    }

    static const QStringList cellNoise{QStringLiteral("<b>"), QStringLiteral("</b>"),
                                       QStringLiteral("(近似值)")};
    for (int k = 1; k < int(info.cells.size()); ++k) {
        const std::optional<QString> piece = Scrape::pieceAfter(page, cellMarker, k);
        if (!piece)
            break; // no k-th marker means none after it either
        info.cells[std::size_t(k)] = Scrape::removeAll(Scrape::cutAt(*piece, cellEnd), cellNoise);
    }

    if (const std::optional<QString> piece = Scrape::pieceAfter(page, countdownMarker))
        info.countdown = Scrape::removeAll(Scrape::cutAt(*piece, u"<"), {QStringLiteral(" ")});
    return info;
}

FilingResult scrapeFilingPage(QStringView page)
{
    const std::optional<QString> entry = Scrape::pieceAfter(page, filingMarker);
    if (!entry)
        return {FilingResult::NotFiled, {}};
    const QString cell = Scrape::cutAt(*entry, filingEnd);
    const std::optional<QString> link = Scrape::pieceAfter(cell, linkMarker);
    if (!link)
        return {FilingResult::Unreadable, {}};
    return {FilingResult::Filed, Scrape::cutAt(*link, u"<")};
}

} // namespace DetailScrape
