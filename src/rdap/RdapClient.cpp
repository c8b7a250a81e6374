#include "RdapClient.h"

#include "fetch/PageFetcher.h"
#include "text/Clock.h"

#include <QUrl>

QString RdapResult::registrationCell() const
{
    switch (answer.kind) {
    case RdapAnswer::NotRegistered:
        return kRegistrable;
    case RdapAnswer::Registered:
        return kRegistered;
    case RdapAnswer::SlowDown:
    case RdapAnswer::InvalidName:
    case RdapAnswer::Failed:
        break;
    }
    return stateText(registrationState());
}

CellState RdapResult::registrationState() const
{
    switch (answer.kind) {
    case RdapAnswer::NotRegistered:
    case RdapAnswer::Registered:
        return CellState::Value;
    case RdapAnswer::SlowDown:
        return CellState::Refused;
    case RdapAnswer::InvalidName:
    case RdapAnswer::Failed:
        break;
    }
    return CellState::Failed;
}

QString RdapResult::statusText() const
{
    return answer.statuses.join(QStringLiteral(", "));
}

QString RdapResult::note() const
{
    QStringList lines{QStringLiteral("来源：RDAP")};
    if (!answer.statuses.isEmpty())
        lines << QStringLiteral("状态：") + statusText();
    if (const QString text = DropEstimate::estimateText(estimate); !text.isEmpty())
        lines << QStringLiteral("删除：") + text;
    if (!answer.error.isEmpty())
        lines << answer.error;
    return (lines + answer.warnings).join(u'\n');
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

QString RdapClient::registryHost(const QString &name) const
{
    const std::optional<QString> url = m_bootstrap.domainUrl(name);
    return url ? QUrl(*url).host() : QString();
}

QCoro::Task<std::optional<RdapResult>>
RdapClient::query(QString name, std::function<QCoro::Task<bool>()> beforeRequest)
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
    const FetchResult page =
        co_await m_fetcher->fetch(*url, Charset::Utf8, QByteArrayLiteral("application/rdap+json"));
    if (!self || !m_fetcher)
        co_return std::nullopt;
    const QDateTime now = Clock::nowUtc();
    RdapResult result;
    result.served = true;
    result.answer = page.status == FetchResult::Status::Failed
                        ? RdapAnswer{RdapAnswer::Failed, {}, {}, {}, {}, {}, {}, page.error, {}}
                        : readAnswer(RdapBootstrap::asciiName(name), page.httpStatus, page.body,
                                     page.retryAfter, now);
    result.estimate = DropEstimate::estimate(result.answer, now, m_lastStage.value(*url));
    if (result.estimate.stage != DropEstimate::Stage::Unknown)
        m_lastStage.insert(*url, result.estimate.stage);
    co_return result;
}
