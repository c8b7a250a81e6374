#include "Probes.h"

#include "fetch/Refusal.h"
#include "fetch/RetryAfter.h"
#include "fetch/SiteAddress.h"
#include "probes/Recipes.h"
#include "rdap/RdapClient.h"
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
    case Site::Rdap:
        return QStringLiteral("RDAP");
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
    static const std::array<MetricChoice, kRdapMetric + 1> metrics{{
        {QStringLiteral("百度收录"), QStringLiteral("baidu"), BaiduSite, Site::Baidu},
        {QStringLiteral("百度反链"), QStringLiteral("baidufl"), BaiduDomain, Site::Baidu},
        {QStringLiteral("GOOGLE收录"), QStringLiteral("google"), GoogleSite, Site::Google},
        {QStringLiteral("YAHOO收录"), QStringLiteral("yahoo"), YahooPages, Site::Yahoo},
        {QStringLiteral("YAHOO反链"), QStringLiteral("yahooflwww"), YahooLinksWww, Site::Yahoo},
        {QStringLiteral("YAHOO不带W"), QStringLiteral("yahoofl"), YahooLinksBare, Site::Yahoo},
        {QStringLiteral("PR值查询"), QStringLiteral("pr"), PageRank, Site::PageRank},
        {QStringLiteral("是否注册"), QStringLiteral("zhuce"), Registration, Site::Registrar},
        {QStringLiteral("RDAP"), QStringLiteral("rdap"), ProbeColumn(kLabelColumn), Site::Rdap},
    }};
    return metrics[std::size_t(qBound(0, index, kRdapMetric))];
}

namespace {

// One request of a measurement, after the site's pacing; nullopt: stopped or the fetcher went.
QCoro::Task<std::optional<FetchResult>> ask(const ProbeEnv &env, QString url, Charset charset)
{
    // Each await stands alone: gcc 12 miscompiles co_await inside && and co_return.
    if (env.beforeRequest) {
        const bool go = co_await env.beforeRequest();
        if (!go)
            co_return std::nullopt;
    }
    if (!env.fetcher)
        co_return std::nullopt;
    FetchResult answer = co_await env.fetcher->fetch(url, charset);
    if (!env.fetcher) // the window went during the wait: nothing is written
        co_return std::nullopt;
    co_return answer;
}

Measurement refusedOrFailed(Verdict verdict, const FetchResult &answer)
{
    Measurement m{verdictText(verdict), std::nullopt, {}, {}, {}, {}};
    if (answer.proxyFailed)
        m.proxyError = answer.error;
    if (verdict == Verdict::Refused)
        m.retryAfterSeconds = readRetryAfter(answer.retryAfter, QDateTime::currentDateTimeUtc());
    return m;
}

} // namespace

QCoro::Task<std::optional<Measurement>> measure(ProbeEnv env, int metricIndex, QString domain)
{
    const MetricChoice &choice = metric(metricIndex);
    const RefusalSigns &signs = refusalSigns(choice.site);
    if (const ProbeRecipe *recipe = countRecipe(choice.column)) {
        const std::optional<FetchResult> page =
            co_await ask(env, recipeUrl(*recipe, env.endpoints, domain), recipe->charset);
        if (!page)
            co_return std::nullopt;
        const Verdict verdict = judgeAnswer(*page, signs, recipe->presenceMarker);
        if (verdict != Verdict::Page)
            co_return refusedOrFailed(verdict, *page);
        co_return Measurement{scrapeCount(*recipe, page->text), std::nullopt, {}, {}, {}, {}};
    }
    if (metricIndex == kRdapMetric || (choice.column == Registration && env.registrationRdap &&
                                       env.registrationRdap->serves(domain))) {
        RdapClient *client = metricIndex == kRdapMetric ? env.rdap : env.registrationRdap;
        if (!client)
            co_return std::nullopt;
        const std::optional<RdapResult> r =
            co_await client->query(domain, QDate::currentDate(), env.beforeRequest);
        if (!r)
            co_return std::nullopt;
        Measurement m{r->served ? r->registrationCell() : QStringLiteral("无RDAP服务"),
                      r->answer.retryAfterSeconds, {}, {}, r->served ? r->note() : QString(), {}};
        if (metricIndex == kRdapMetric)
            m.rdap = std::make_shared<const RdapResult>(*r);
        co_return m;
    }
    if (choice.column == Registration) {
        const std::optional<FetchResult> page =
            co_await ask(env, registrationUrl(env.endpoints, domain), Charset::Gb2312);
        if (!page)
            co_return std::nullopt;
        const Verdict verdict = judgeAnswer(*page, signs, kRegistrationAnswerMarker);
        if (verdict != Verdict::Page)
            co_return refusedOrFailed(verdict, *page);
        co_return Measurement{scrapeRegistration(page->text), std::nullopt, {}, {}, {}, {}};
    }

    const std::optional<FetchResult> tool =
        co_await ask(env, pageRankUrl(env.endpoints, domain), Charset::Utf8);
    if (!tool)
        co_return std::nullopt;
    const Verdict toolVerdict = judgeAnswer(*tool, signs, kPageRankFrameMarker);
    if (toolVerdict != Verdict::Page)
        co_return refusedOrFailed(toolVerdict, *tool);
    const std::optional<QString> frame = pageRankFrameAddress(tool->text);
    if (!frame)
        co_return Measurement{scrapePageRank(QString()), std::nullopt, {}, {}, {}, {}};
    // The frame's address comes from the page: it is followed only to the configured site.
    if (!frameHostAllowed(*frame, env.endpoints.pagerank))
        co_return Measurement{kQueryFailed, std::nullopt, {}, {}, {}, {}};
    const std::optional<FetchResult> answer =
        co_await ask(env, siteAddress(*frame, {}), Charset::Utf8);
    if (!answer)
        co_return std::nullopt;
    const Verdict verdict = judgeAnswer(*answer, signs, u"Ran");
    if (verdict != Verdict::Page)
        co_return refusedOrFailed(verdict, *answer);
    co_return Measurement{scrapePageRank(answer->text), std::nullopt, answer->text, {}, {}, {}};
}

} // namespace Probes
