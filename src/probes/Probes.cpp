#include "Probes.h"

#include "fetch/Refusal.h"
#include "fetch/RetryAfter.h"
#include "fetch/SiteAddress.h"
#include "probes/ApiAnswers.h"
#include "probes/Recipes.h"
#include "rdap/RdapClient.h"
#include "text/Clock.h"
#include "text/Words.h"

#include <array>
#include <functional>

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
    case Site::Archive:
        return QStringLiteral("存档");
    case Site::Doh:
        return QStringLiteral("他后缀");
    }
    return {};
}

const RefusalSigns &refusalSigns(Site site)
{
    // The texts of the search sites' block pages are their recipes' block markers.
    static const RefusalSigns baidu{{}, QStringLiteral("captcha"), {}};
    static const RefusalSigns google{{}, {}, QStringLiteral("/sorry/")};
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
        {QStringLiteral("存档"), QStringLiteral("archive"), ArchiveFirstYear, Site::Archive,
         ArchiveYears},
        {QStringLiteral("他后缀"), QStringLiteral("tlds"), OtherSuffixes, Site::Doh},
        {QStringLiteral("RDAP"), QStringLiteral("rdap"), std::nullopt, Site::Rdap},
    }};
    return metrics[std::size_t(qBound(0, index, kRdapMetric))];
}

namespace {

Measurement outcome(const QString &text, CellState state)
{
    Measurement m;
    m.cell = text;
    m.state = state;
    return m;
}

// One request of a measurement, after the site's pacing, judged: either the page to read or
// the cell it makes when it is none (failed, refused). nullopt: stopped, or the fetcher went.
struct Judged {
    FetchResult page;
    std::optional<Measurement> notAPage;
};

// One paced request, judged by `judge`.
QCoro::Task<std::optional<Judged>> fetchJudged(const ProbeEnv &env, QString url, Charset charset,
                                               QByteArray accept,
                                               std::function<Verdict(const FetchResult &)> judge)
{
    // Each await stands alone: gcc 12 miscompiles co_await inside && and co_return.
    if (env.beforeRequest) {
        const bool go = co_await env.beforeRequest();
        if (!go)
            co_return std::nullopt;
    }
    if (!env.fetcher)
        co_return std::nullopt;
    FetchResult fetched = co_await env.fetcher->fetch(url, charset, accept);
    Judged judged{std::move(fetched), std::nullopt};
    if (!env.fetcher) // the window went during the wait: nothing is written
        co_return std::nullopt;
    const Verdict verdict = judge(judged.page);
    if (verdict != Verdict::Page) {
        Measurement m = outcome(verdictText(verdict), verdictState(verdict));
        if (judged.page.proxyFailed)
            m.proxyError = judged.page.error;
        if (verdict == Verdict::Refused)
            m.retryAfterSeconds = readRetryAfter(judged.page.retryAfter, Clock::nowUtc());
        judged.notAPage = m;
    }
    co_return judged;
}

QCoro::Task<std::optional<Judged>> ask(const ProbeEnv &env, QString url, Charset charset,
                                       const RefusalSigns &signs, QStringView ownMarker)
{
    const std::optional<Judged> judged =
        co_await fetchJudged(env, url, charset, {}, [&](const FetchResult &page) {
            return judgeAnswer(page, signs, ownMarker);
        });
    co_return judged;
}

// A request to a public JSON API. It has no block page: 429 and 403 are its refusals (with
// back-off), any other error or no answer a failure.
QCoro::Task<std::optional<Judged>> askApi(const ProbeEnv &env, QString url, QByteArray accept)
{
    const std::optional<Judged> judged =
        co_await fetchJudged(env, url, Charset::Utf8, accept, [](const FetchResult &page) {
            if (page.gotPage())
                return Verdict::Page;
            const bool refused = page.status == FetchResult::Status::HttpError &&
                                 (page.httpStatus == 429 || page.httpStatus == 403);
            return refused ? Verdict::Refused : Verdict::Failed;
        });
    co_return judged;
}

// The archive's first capture year and years captured.
QCoro::Task<std::optional<Measurement>> measureArchive(ProbeEnv env, ProbeRecipe recipe,
                                                       QString domain)
{
    const std::optional<Judged> answer = co_await askApi(
        env, recipeUrl(recipe, env.endpoints, domain), QByteArrayLiteral("application/json"));
    if (!answer)
        co_return std::nullopt;
    if (answer->notAPage)
        co_return answer->notAPage;
    const ApiAnswers::ArchiveCells cells = ApiAnswers::readArchive(answer->page.body);
    Measurement m = outcome(cells.firstYear, cells.state);
    m.secondCell = cells.years;
    co_return m;
}

// How many of the label's other suffixes are taken: one NS question each, asked in turn. The
// first answer that cannot be read decides the cell, so nothing more is asked.
QCoro::Task<std::optional<Measurement>> measureOtherSuffixes(ProbeEnv env, ProbeRecipe recipe,
                                                             QString domain)
{
    QList<ApiAnswers::Doh> answers;
    for (const QString &name : ApiAnswers::otherSuffixNames(domain)) {
        // Google's resolver answers JSON to any Accept; Cloudflare's wants its own type.
        const std::optional<Judged> answer =
            co_await askApi(env, recipeUrl(recipe, env.endpoints, name),
                            QByteArrayLiteral("application/dns-json, application/json"));
        if (!answer)
            co_return std::nullopt;
        if (answer->notAPage)
            co_return answer->notAPage;
        answers << ApiAnswers::readDoh(answer->page.body);
        if (answers.last() == ApiAnswers::Doh::Failed)
            break;
    }
    const ApiAnswers::SuffixCell cell = ApiAnswers::combineSuffixes(answers);
    co_return outcome(cell.text, cell.state);
}

Measurement cell(const std::optional<QString> &text)
{
    return text ? outcome(*text, CellState::Value) : outcome(kQueryFailed, CellState::Failed);
}

} // namespace

QCoro::Task<std::optional<Measurement>> measure(ProbeEnv env, int metricIndex, QString domain)
{
    const MetricChoice &choice = metric(metricIndex);
    const RefusalSigns &signs = refusalSigns(choice.site);
    if (const ProbeRecipe *recipe = choice.column ? env.recipes.find(*choice.column) : nullptr) {
        RefusalSigns recipeSigns = signs;
        recipeSigns.markers = recipe->blockMarkers;
        const std::optional<Judged> page =
            co_await ask(env, recipeUrl(*recipe, env.endpoints, domain), recipe->charset,
                         recipeSigns, recipe->presenceMarker);
        if (!page || page->notAPage)
            co_return page ? page->notAPage : std::nullopt;
        co_return cell(scrapeCount(*recipe, page->page.text));
    }
    if (const ProbeRecipe *recipe = choice.column ? env.recipes.api(*choice.column) : nullptr) {
        std::optional<Measurement> m;
        if (choice.site == Site::Archive)
            m = co_await measureArchive(env, *recipe, domain);
        else
            m = co_await measureOtherSuffixes(env, *recipe, domain);
        co_return m;
    }
    if (metricIndex == kRdapMetric || (choice.column == Registration && env.registrationRdap &&
                                       env.registrationRdap->serves(domain))) {
        RdapClient *client = metricIndex == kRdapMetric ? env.rdap : env.registrationRdap;
        if (!client)
            co_return std::nullopt;
        const std::optional<RdapResult> r = co_await client->query(domain, env.beforeRequest);
        if (!r)
            co_return std::nullopt;
        Measurement m = r->served ? outcome(r->registrationCell(), r->registrationState())
                                  : outcome(kNoRdapService, CellState::Value);
        m.retryAfterSeconds = r->answer.retryAfterSeconds;
        if (r->served)
            m.note = r->note();
        if (metricIndex == kRdapMetric)
            m.rdap = std::make_shared<const RdapResult>(*r);
        co_return m;
    }
    if (choice.column == Registration) {
        const std::optional<Judged> page =
            co_await ask(env, registrationUrl(env.endpoints, domain), Charset::Gb2312, signs,
                         kRegistrationAnswerMarker);
        if (!page || page->notAPage)
            co_return page ? page->notAPage : std::nullopt;
        co_return cell(scrapeRegistration(page->page.text));
    }

    const std::optional<Judged> tool = co_await ask(env, pageRankUrl(env.endpoints, domain),
                                                    Charset::Utf8, signs, kPageRankFrameMarker);
    if (!tool || tool->notAPage)
        co_return tool ? tool->notAPage : std::nullopt;
    const std::optional<QString> frame = pageRankFrameAddress(tool->page.text);
    if (!frame) // the tool knows no rank for the site
        co_return cell(QStringLiteral("0"));
    // The frame's address comes from the page: it is followed only to the configured site.
    if (!frameHostAllowed(*frame, env.endpoints.pagerank))
        co_return cell(std::nullopt);
    const std::optional<Judged> answer =
        co_await ask(env, siteAddress(*frame, {}), Charset::Utf8, signs, u"Ran");
    if (!answer || answer->notAPage)
        co_return answer ? answer->notAPage : std::nullopt;
    co_return cell(scrapePageRank(answer->page.text));
}

} // namespace Probes
