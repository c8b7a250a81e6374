#include "DetailLookup.h"

#include "fetch/Refusal.h"
#include "fetch/SiteAddress.h"
#include "lookup/DetailScrape.h"
#include "text/Clock.h"
#include "text/HostName.h"

#include <QTimer>

#include <QCoroTimer>

namespace {

using Field = DetailLookup::Field;

// The deletion page's table cell behind each date field.
constexpr std::pair<Field, int> kCellOf[] = {
    {Field::Age, 1}, {Field::Registered, 3}, {Field::Expires, 5}};
constexpr Field kDateFields[] = {Field::Age, Field::Registered, Field::Expires, Field::Countdown};

} // namespace

DetailLookup::DetailLookup(PageFetcher *fetcher, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
{
}

QString DetailLookup::fieldCaption(Field field)
{
    switch (field) {
    case Field::Age:
        return QStringLiteral("域名年龄");
    case Field::Filing:
        return QStringLiteral("是否备案");
    case Field::Registered:
        return QStringLiteral("注册时间");
    case Field::Expires:
        return QStringLiteral("到期时间");
    case Field::Countdown:
        return QStringLiteral("删除倒记时");
    }
    return {};
}

QCoro::Task<bool> DetailLookup::fillFromRdap(QString domain, quint64 generation)
{
    if (!m_rdap || !m_rdap->serves(domain))
        co_return false;
    QPointer<DetailLookup> self(this);
    const std::optional<RdapResult> r = co_await askRdap(domain, generation);
    if (!self || generation != m_generation || !r || !r->served ||
        (r->answer.kind != RdapAnswer::Registered && r->answer.kind != RdapAnswer::NotRegistered))
        co_return false;
    const QString note = r->note();
    const auto show = [&](Field field, const QString &text) {
        Q_EMIT valueChanged(field, text.isEmpty() ? kNoInformation : text);
        Q_EMIT valueNoteChanged(field, note);
    };
    const auto shown = [](const std::optional<QDate> &day) {
        return day ? day->toString(Qt::ISODate) : QString();
    };
    // Local days, as the user counts them; the registry's instants are UTC.
    const QDate today = Clock::today();
    const std::optional<DropEstimate::Age> age = DropEstimate::age(r->answer, today);
    show(Field::Age, age ? DropEstimate::ageText(*age) : QString());
    show(Field::Registered, shown(DropEstimate::localDate(r->answer.registration)));
    show(Field::Expires, shown(DropEstimate::realExpiry(r->answer)));
    show(Field::Countdown, DropEstimate::countdownText(r->estimate, today));
    co_return true;
}

QCoro::Task<std::optional<RdapResult>> DetailLookup::queryRdap(QString domain)
{
    const std::optional<RdapResult> r = co_await askRdap(domain, m_generation);
    co_return r;
}

QCoro::Task<std::optional<RdapResult>> DetailLookup::askRdap(QString domain, quint64 generation)
{
    QPointer<DetailLookup> self(this);
    for (int attempt = 1; m_rdap; ++attempt) {
        const std::optional<RdapResult> r = co_await m_rdap->query(domain);
        if (!self || generation != m_generation || !r)
            co_return std::nullopt;
        if (r->answer.kind != RdapAnswer::SlowDown || attempt >= m_backoff.tries) {
            Q_EMIT rdapRead(*r);
            co_return r;
        }
        const qint64 pauseMs = m_backoff.pauseMs(attempt, r->answer.retryAfterSeconds);
        Q_EMIT notice(QStringLiteral("RDAP：查询受限，%1 秒后重试").arg(pauseMs / 1000));
        QTimer pause;
        pause.setSingleShot(true);
        connect(this, &DetailLookup::abandoned, &pause, [&pause] { pause.start(0); });
        pause.start(int(pauseMs));
        co_await pause;
        if (!self || generation != m_generation)
            co_return std::nullopt;
    }
    co_return std::nullopt;
}

void DetailLookup::abandon()
{
    ++m_generation;
    Q_EMIT abandoned();
}

QCoro::Task<void> DetailLookup::lookUp(QString domain)
{
    abandon(); // the lookup this one supersedes stops waiting
    const quint64 generation = m_generation;
    for (Field field : kDateFields)
        Q_EMIT valueChanged(field, kReset);
    Q_EMIT valueChanged(Field::Filing, kReset);
    if (domain.isEmpty()) {
        Q_EMIT emptyInput();
        co_return;
    }
    const std::optional<QString> host = asciiHostName(domain);
    if (!host) {
        Q_EMIT invalidInput(domain);
        co_return;
    }
    domain = *host;
    if (!m_fetcher)
        co_return;

    QPointer<DetailLookup> self(this);
    const FetchResult dates = co_await m_fetcher->fetch(
        siteAddress(m_endpoints.deletionTool, u"/DomainDel/?wd=", domain), Charset::Utf8);
    if (!self || generation != m_generation)
        co_return;
    const Verdict datesVerdict = judgeAnswer(dates, {}, u"deltd1");
    const DetailScrape::DeletionInfo info = DetailScrape::scrapeDeletionPage(dates.text);
    for (Field field : kDateFields)
        Q_EMIT valueNoteChanged(field, {});
    bool fromRdap = false;
    if (datesVerdict != Verdict::Page || info.noInformation)
        fromRdap = co_await fillFromRdap(domain, generation);
    if (!self || generation != m_generation)
        co_return;
    if (fromRdap) {
        // The registry said what the page could not.
    } else if (datesVerdict != Verdict::Page) {
        Q_EMIT fetchFailed(dates.error.isEmpty() ? verdictText(datesVerdict) : dates.error);
        for (Field field : kDateFields)
            Q_EMIT valueChanged(field, verdictText(datesVerdict));
    } else if (info.noInformation) {
        for (Field field : kDateFields)
            Q_EMIT valueChanged(field, kNoInformation);
    } else {
        for (const auto &[field, cell] : kCellOf) {
            if (info.cells[std::size_t(cell)])
                Q_EMIT valueChanged(field, *info.cells[std::size_t(cell)]);
        }
        if (info.countdown)
            Q_EMIT valueChanged(Field::Countdown, *info.countdown);
    }

    if (!m_fetcher)
        co_return;
    const FetchResult filing = co_await m_fetcher->fetch(
        siteAddress(m_endpoints.icp, u"/s?keytype=0&q=", domain), Charset::Gb2312);
    if (!self || generation != m_generation)
        co_return;
    const Verdict filingVerdict = judgeAnswer(filing, {}, u"ap\"><a");
    if (filingVerdict != Verdict::Page) {
        // Not being able to ask is not the same as "not filed".
        Q_EMIT fetchFailed(filing.error.isEmpty() ? verdictText(filingVerdict) : filing.error);
        Q_EMIT valueChanged(Field::Filing, verdictText(filingVerdict));
        co_return;
    }
    const DetailScrape::FilingResult result = DetailScrape::scrapeFilingPage(filing.text);
    if (result.kind == DetailScrape::FilingResult::Filed)
        Q_EMIT valueChanged(Field::Filing, result.number);
    else if (result.kind == DetailScrape::FilingResult::NotFiled)
        Q_EMIT valueChanged(Field::Filing, kNotFiled);
}
