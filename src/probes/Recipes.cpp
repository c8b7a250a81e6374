#include "Recipes.h"

#include "fetch/SiteAddress.h"
#include "text/Scrape.h"

#include <array>

namespace Probes {

namespace {

const std::array<ProbeRecipe, 6> &recipes()
{
    static const QString baiduMarker = QStringLiteral("找到相关结果");
    static const QString googleMarker = QStringLiteral("找到约 ");
    static const QString yahooCount = QStringLiteral("共 <strong>");
    static const QString yahooLinks = QStringLiteral("链向该地址的网页");
    static const QStringList baiduRemovals{QStringLiteral(" "), QStringLiteral("约")};
    static const std::array<ProbeRecipe, 6> table{{
        {QStringLiteral("baidu"), BaiduSite, Charset::Gb2312, &Endpoints::baidu,
         QStringLiteral("/s?wd=site%3A"), baiduMarker, baiduMarker, QStringLiteral("个"),
         baiduRemovals},
        {QStringLiteral("baidufl"), BaiduDomain, Charset::Gb2312, &Endpoints::baidu,
         QStringLiteral("/s?wd=domain%3A"), baiduMarker, baiduMarker, QStringLiteral("个"),
         baiduRemovals},
        {QStringLiteral("google"),
         GoogleSite,
         Charset::Utf8,
         &Endpoints::google,
         QStringLiteral("/search?hl=zh-CN&source=hp&q=site%3A"),
         googleMarker,
         googleMarker,
         QStringLiteral(" "),
         {}},
        {QStringLiteral("yahoo"),
         YahooPages,
         Charset::Utf8,
         &Endpoints::yahoo,
         QStringLiteral("/search?bwm=p&p="),
         QStringLiteral("被收录的网页"),
         yahooCount,
         QStringLiteral("<"),
         {}},
        {QStringLiteral("yahooflwww"),
         YahooLinksWww,
         Charset::Utf8,
         &Endpoints::yahoo,
         QStringLiteral("/search?bwm=i&p=www."),
         yahooLinks,
         yahooCount,
         QStringLiteral("<"),
         {}},
        {QStringLiteral("yahoofl"),
         YahooLinksBare,
         Charset::Utf8,
         &Endpoints::yahoo,
         QStringLiteral("/search?bwm=i&p="),
         yahooLinks,
         yahooCount,
         QStringLiteral("<"),
         {}},
    }};
    return table;
}

} // namespace

std::span<const ProbeRecipe> countRecipes()
{
    return recipes();
}

const ProbeRecipe *countRecipe(int column)
{
    for (const ProbeRecipe &r : recipes()) {
        if (r.column == column)
            return &r;
    }
    return nullptr;
}

QString recipeUrl(const ProbeRecipe &recipe, const Endpoints &endpoints, const QString &domain)
{
    return siteAddress(endpoints.*(recipe.endpoint), recipe.pathAndQuery, domain);
}

QString scrapeCount(const ProbeRecipe &recipe, QStringView page)
{
    if (!page.contains(recipe.presenceMarker))
        return QStringLiteral("0");
    const std::optional<QString> piece = Scrape::pieceAfter(page, recipe.countMarker);
    if (!piece)
        return QStringLiteral("0");
    return Scrape::removeAll(Scrape::cutAt(*piece, recipe.terminator), recipe.removals);
}

QString registrationUrl(const Endpoints &endpoints, const QString &domain)
{
    return siteAddress(endpoints.registrar, kRegistrationPath, domain);
}

QString scrapeRegistration(QStringView page)
{
    return page.contains(u"original>210") ? kRegistrable : kRegistered;
}

QString pageRankUrl(const Endpoints &endpoints, const QString &domain)
{
    return siteAddress(endpoints.pagerank, kPageRankPath, domain);
}

std::optional<QString> pageRankFrameAddress(QStringView toolPage)
{
    const std::optional<QString> piece = Scrape::pieceAfter(toolPage, u"<iframe src=\"http://");
    if (!piece)
        return std::nullopt;
    return Scrape::cutAt(*piece, u"\"");
}

QString scrapePageRank(QStringView answerPage)
{
    if (!answerPage.contains(u"Ran"))
        return QStringLiteral("0");
    const std::optional<QString> piece = Scrape::pieceAfter(answerPage, u"Rank_");
    if (!piece)
        return QStringLiteral("0");
    const QString rank = Scrape::removeAll(*piece, {QStringLiteral("1:1:")});
    return rank.contains(u':') ? QStringLiteral("0") : rank;
}

} // namespace Probes
