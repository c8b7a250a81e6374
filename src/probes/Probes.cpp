#include "Probes.h"

#include "fetch/Refusal.h"
#include "fetch/SiteAddress.h"
#include "probes/Recipes.h"
#include "text/Failure.h"

#include <array>

namespace Probes {

QString siteName(Site site)
{
    switch (site) {
    case Site::Baidu:
        return QStringLiteral("百度");
    case Site::Google:
        return QStringLiteral("google");
    case Site::Yahoo:
        return QStringLiteral("yahoo");
    case Site::Registrar:
        return QStringLiteral("注册");
    case Site::PageRank:
        return QStringLiteral("PR");
    }
    return {};
}

const RefusalSigns &refusalSigns(Site site)
{
    static const RefusalSigns baidu{
        {QStringLiteral("百度安全验证")}, QStringLiteral("captcha"), {}};
    static const RefusalSigns google{{QStringLiteral("unusual traffic from your computer network"),
                                      QStringLiteral("captcha-form")},
                                     {},
                                     QStringLiteral("/sorry/")};
    static const RefusalSigns generic;
    return site == Site::Baidu ? baidu : site == Site::Google ? google : generic;
}

const MetricChoice &metric(int index)
{
    static const std::array<MetricChoice, kMetricCount> metrics{{
        {QStringLiteral("百度收录"), QStringLiteral("baidu"), BaiduSite, Site::Baidu},
        {QStringLiteral("百度反链"), QStringLiteral("baidufl"), BaiduDomain, Site::Baidu},
        {QStringLiteral("GOOGLE收录"), QStringLiteral("google"), GoogleSite, Site::Google},
        {QStringLiteral("YAHOO收录"), QStringLiteral("yahoo"), YahooPages, Site::Yahoo},
        {QStringLiteral("YAHOO反链"), QStringLiteral("yahooflwww"), YahooLinksWww, Site::Yahoo},
        {QStringLiteral("YAHOO不带W"), QStringLiteral("yahoofl"), YahooLinksBare, Site::Yahoo},
        {QStringLiteral("PR值查询"), QStringLiteral("pr"), PageRank, Site::PageRank},
        {QStringLiteral("是否注册"), QStringLiteral("zhuce"), Registration, Site::Registrar},
    }};
    return metrics[std::size_t(qBound(0, index, kMetricCount - 1))];
}

QCoro::Task<QString> measure(ProbeEnv env, int metricIndex, QString domain)
{
    const MetricChoice &choice = metric(metricIndex);
    const RefusalSigns &signs = refusalSigns(choice.site);
    if (const ProbeRecipe *recipe = countRecipe(choice.column)) {
        const FetchResult page =
            co_await env.fetcher->fetch(recipeUrl(*recipe, env.endpoints, domain), recipe->charset);
        const Verdict verdict = judgeAnswer(page, signs, recipe->presenceMarker);
        co_return verdict == Verdict::Page ? scrapeCount(*recipe, page.text) : verdictText(verdict);
    }
    if (choice.column == Registration) {
        const FetchResult page =
            co_await env.fetcher->fetch(registrationUrl(env.endpoints, domain), Charset::Gb2312);
        const Verdict verdict = judgeAnswer(page, signs, kRegistrationAnswerMarker);
        co_return verdict == Verdict::Page ? scrapeRegistration(page.text) : verdictText(verdict);
    }

    const FetchResult tool =
        co_await env.fetcher->fetch(pageRankUrl(env.endpoints, domain), Charset::Utf8);
    const Verdict toolVerdict = judgeAnswer(tool, signs, kPageRankFrameMarker);
    if (toolVerdict != Verdict::Page)
        co_return verdictText(toolVerdict);
    const std::optional<QString> frame = pageRankFrameAddress(tool.text);
    FetchResult answer;
    if (frame) {
        // The frame's address comes from the page: it is followed only to the configured site.
        if (!frameHostAllowed(*frame, env.endpoints.pagerank) || !env.fetcher)
            co_return kQueryFailed;
        answer = co_await env.fetcher->fetch(siteAddress(*frame, {}), Charset::Utf8);
        const Verdict verdict = judgeAnswer(answer, signs, u"Ran");
        if (verdict != Verdict::Page)
            co_return verdictText(verdict);
    }
    if (env.answerPage)
        env.answerPage(answer.text);
    co_return scrapePageRank(answer.text);
}

QCoro::Task<void> runProbe(ProbeEnv env, int metricIndex)
{
    if (!env.table || !env.fetcher)
        co_return;
    const ProbeColumn column = metric(metricIndex).column;
    const QList<RowId> rows = env.table->rowIds();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (env.shouldStop && env.shouldStop())
            break;
        const int row = env.table->rowOf(rows[i]);
        if (row < 0) // the row went while an earlier one was measured
            continue;
        const QString value =
            co_await measure(env, metricIndex, env.table->cell(row, kDomainColumn));
        if (!env.table || !env.fetcher)
            co_return;
        env.table->setCellOf(rows[i], column, value);
        if (value == kQueryRefused && env.refused)
            env.refused();
        if (env.progress)
            env.progress(i + 1, rows.size());
    }
}

} // namespace Probes
