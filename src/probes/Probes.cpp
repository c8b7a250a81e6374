#include "Probes.h"

#include "fetch/SiteAddress.h"
#include "probes/Recipes.h"
#include "text/Failure.h"

#include <array>

namespace Probes {

const MetricChoice &metric(int index)
{
    static const std::array<MetricChoice, kMetricCount> metrics{{
        {QStringLiteral("百度收录"), QStringLiteral("baidu"), BaiduSite},
        {QStringLiteral("百度反链"), QStringLiteral("baidufl"), BaiduDomain},
        {QStringLiteral("GOOGLE收录"), QStringLiteral("google"), GoogleSite},
        {QStringLiteral("YAHOO收录"), QStringLiteral("yahoo"), YahooPages},
        {QStringLiteral("YAHOO反链"), QStringLiteral("yahooflwww"), YahooLinksWww},
        {QStringLiteral("YAHOO不带W"), QStringLiteral("yahoofl"), YahooLinksBare},
        {QStringLiteral("PR值查询"), QStringLiteral("pr"), PageRank},
        {QStringLiteral("是否注册"), QStringLiteral("zhuce"), Registration},
    }};
    return metrics[std::size_t(qBound(0, index, kMetricCount - 1))];
}

QCoro::Task<QString> measure(ProbeEnv env, int metricIndex, QString domain)
{
    const ProbeColumn column = metric(metricIndex).column;
    if (const ProbeRecipe *recipe = countRecipe(column)) {
        const FetchResult page =
            co_await env.fetcher->fetch(recipeUrl(*recipe, env.endpoints, domain), recipe->charset);
        co_return page.gotPage() ? scrapeCount(*recipe, page.text) : kQueryFailed;
    }
    if (column == Registration) {
        const FetchResult page =
            co_await env.fetcher->fetch(registrationUrl(env.endpoints, domain), Charset::Gb2312);
        co_return page.gotPage() ? scrapeRegistration(page.text) : kQueryFailed;
    }

    const FetchResult tool =
        co_await env.fetcher->fetch(pageRankUrl(env.endpoints, domain), Charset::Utf8);
    const std::optional<QString> frame =
        tool.gotPage() ? pageRankFrameAddress(tool.text) : std::nullopt;
    FetchResult answer;
    if (frame && env.fetcher)
        answer = co_await env.fetcher->fetch(siteAddress(*frame, {}), Charset::Utf8);
    if (env.answerPage)
        env.answerPage(answer.text);
    if (!tool.gotPage() || (frame && !answer.gotPage()))
        co_return kQueryFailed;
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
        if (env.progress)
            env.progress(i + 1, rows.size());
    }
}

} // namespace Probes
