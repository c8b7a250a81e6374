#include "Recipes.h"

#include "fetch/SiteAddress.h"
#include "text/Numbers.h"
#include "text/Scrape.h"
#include "text/Words.h"

#include <QHostAddress>
#include <QUrl>

#include <algorithm>
#include <array>

namespace Probes {

namespace {

const std::array<ProbeRecipe, 6> &recipes()
{
    static const QString baiduMarker = QStringLiteral("找到相关结果");
    static const QString googleMarker = QStringLiteral("找到约 ");
    static const QString yahooCount = QStringLiteral("共 <strong>");
    static const QString yahooLinks = QStringLiteral("链向该地址的网页");
    static const std::array<ProbeRecipe, 6> table{{
        {BaiduSite, Charset::Gb2312, &Endpoints::baidu, QStringLiteral("/s?wd=site%3A"),
         baiduMarker, baiduMarker, QStringLiteral("个")},
        {BaiduDomain, Charset::Gb2312, &Endpoints::baidu, QStringLiteral("/s?wd=domain%3A"),
         baiduMarker, baiduMarker, QStringLiteral("个")},
        {GoogleSite, Charset::Utf8, &Endpoints::google,
         QStringLiteral("/search?hl=zh-CN&source=hp&q=site%3A"), googleMarker, googleMarker,
         QStringLiteral(" ")},
        {YahooPages, Charset::Utf8, &Endpoints::yahoo, QStringLiteral("/search?bwm=p&p="),
         QStringLiteral("被收录的网页"), yahooCount, QStringLiteral("<")},
        {YahooLinksWww, Charset::Utf8, &Endpoints::yahoo, QStringLiteral("/search?bwm=i&p=www."),
         yahooLinks, yahooCount, QStringLiteral("<")},
        {YahooLinksBare, Charset::Utf8, &Endpoints::yahoo, QStringLiteral("/search?bwm=i&p="),
         yahooLinks, yahooCount, QStringLiteral("<")},
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

std::optional<QString> scrapeCount(const ProbeRecipe &recipe, QStringView page)
{
    if (!page.contains(recipe.presenceMarker))
        return QStringLiteral("0");
    return countInPhrase(page, recipe.countMarker, recipe.countEnd);
}

std::optional<QString> countInPhrase(QStringView page, QStringView marker, QStringView end)
{
    const std::optional<QString> found = Scrape::pieceAfter(page, marker);
    if (!found)
        return QStringLiteral("0");
    const QStringView piece(*found);
    qsizetype at = 0;
    const auto skipBlanks = [&] {
        while (at < piece.size() && piece[at].isSpace())
            ++at;
    };
    skipBlanks();
    for (int words = 0; words < 3 && at < piece.size() && piece[at].isLetter(); ++words) {
        ++at;
        skipBlanks();
    }
    if (at == piece.size() || !Numbers::isAsciiDigit(piece[at]))
        return std::nullopt;

    // Blanks inside the number are dropped; the number ends at its last digit or comma.
    QString number;
    qsizetype numberEnd = at;
    for (; at < piece.size(); ++at) {
        const QChar c = piece[at];
        if (Numbers::isAsciiDigit(c) || c == u',') {
            number += c;
            numberEnd = at + 1;
        } else if (!c.isSpace()) {
            break;
        }
    }
    bool closed = end.isEmpty();
    for (qsizetype k = numberEnd; k <= at && !closed; ++k)
        closed = piece.sliced(k).startsWith(end);

    const QList<QStringView> groups = QStringView(number).split(u',');
    const bool grouped =
        groups.size() == 1 ||
        (groups.front().size() <= 3 && std::all_of(groups.begin() + 1, groups.end(),
                                                   [](QStringView g) { return g.size() == 3; }));
    if (!closed || !grouped)
        return std::nullopt;
    return number;
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
    const std::optional<QString> piece = Scrape::pieceAfter(toolPage, kPageRankFrameMarker);
    if (!piece)
        return std::nullopt;
    return Scrape::cutAt(*piece, u"\"");
}

std::optional<QString> scrapePageRank(QStringView answerPage)
{
    const std::optional<QString> piece = Scrape::pieceAfter(answerPage, u"Rank_");
    if (!piece)
        return std::nullopt;
    const QString rank = Scrape::removeAll(*piece, {QStringLiteral("1:1:")}).trimmed();
    // toInt takes signs and leading zeros too; a rank is written plain.
    bool isNumber = false;
    const int value = rank.toInt(&isNumber);
    if (!isNumber || value < 0 || value > 10 || rank != QString::number(value))
        return std::nullopt;
    return rank;
}

bool frameHostAllowed(const QString &frameAddress, const QString &configured)
{
    const QUrl frame(QStringLiteral("http://") + frameAddress);
    const QUrl site(QStringLiteral("http://") + configured);
    const QString host = frame.host();
    const QString siteHost = site.host();
    if (!frame.isValid() || host.isEmpty() || frame.port(80) != site.port(80))
        return false;
    if (host == siteHost)
        return true;
    if (!QHostAddress(siteHost).isNull() || !QHostAddress(host).isNull())
        return false;
    const qsizetype firstDot = siteHost.indexOf(u'.');
    const QString parent = siteHost.mid(firstDot + 1);
    return firstDot > 0 && parent.contains(u'.') && host.endsWith(u'.' + parent);
}

} // namespace Probes
