#include "RdapClient.h"

#include "fetch/PageFetcher.h"
#include "text/Clock.h"
#include "text/Failure.h"

QString RdapResult::registrationCell() const
{
    switch (answer.kind) {
    case RdapAnswer::NotRegistered:
        return QStringLiteral("可注册");
    case RdapAnswer::Registered:
        return QStringLiteral("已被注册");
    case RdapAnswer::SlowDown:
        return kQueryRefused;
    case RdapAnswer::InvalidName:
    case RdapAnswer::Failed:
        break;
    }
    return kQueryFailed;
}

QString RdapResult::note() const
{
    QStringList lines{QStringLiteral("来源：RDAP")};
    if (!answer.statuses.isEmpty())
        lines << QStringLiteral("状态：") + answer.statuses.join(QStringLiteral(", "));
    if (const QString text = DropEstimate::estimateText(estimate); !text.isEmpty())
        lines << QStringLiteral("删除：") + text;
    if (!answer.error.isEmpty())
        lines << answer.error;
    return lines.join(u'\n');
}

RdapClient::RdapClient(PageFetcher *fetcher, RdapBootstrap bootstrap, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
    , m_bootstrap(std::move(bootstrap))
{
}

bool RdapClient::serves(const QString &name) const
{
    return m_bootstrap.domainUrl(name).has_value();
}

QCoro::Task<std::optional<RdapResult>>
RdapClient::query(QString name, QDate today, std::function<QCoro::Task<bool>()> beforeRequest)
{
    const std::optional<QString> url = m_bootstrap.domainUrl(name);
    if (!url)
        co_return RdapResult{};
    QPointer<RdapClient> self(this);
    if (beforeRequest) {
        const bool go = co_await beforeRequest();
        if (!go)
            co_return std::nullopt;
    }
    if (!self || !m_fetcher)
        co_return std::nullopt;
    const FetchResult page = co_await m_fetcher->fetch(*url, Charset::Utf8);
    if (!self || !m_fetcher)
        co_return std::nullopt;
    RdapResult result;
    result.served = true;
    result.answer = page.status == FetchResult::Status::Failed
                        ? RdapAnswer{RdapAnswer::Failed, {}, {}, {}, {}, {}, {}, page.error}
                        : readAnswer(page.httpStatus, page.body, page.retryAfter, Clock::nowUtc());
    result.estimate = DropEstimate::estimate(result.answer, today, m_lastStage.value(*url));
    if (result.estimate.stage != DropEstimate::Stage::Unknown)
        m_lastStage.insert(*url, result.estimate.stage);
    co_return result;
}
