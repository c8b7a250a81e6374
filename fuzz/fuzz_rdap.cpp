// RDAP answers and bootstrap files. The first bytes pick the HTTP status, the Retry-After header,
// the stage the name showed before and the name asked (the one the body names, or another); the
// rest is the body, read both as an answer and as a bootstrap file.
#include "FuzzCheck.h"

#include "fetch/SiteAddress.h"
#include "rdap/DropEstimate.h"
#include "rdap/RdapBootstrap.h"
#include "rdap/RdapRecord.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <ctime>
#include <iterator>

namespace {

using DropEstimate::Stage;

// An evening in Los Angeles (the process's time zone), already the next day in UTC.
const QDateTime kNow(QDate(2026, 12, 8), QTime(5, 43), Qt::UTC);
// No drop is further off than the whole cycle.
const QDateTime kHorizon = kNow.addDays(81);

bool isUtcDate(const std::optional<QDateTime> &at)
{
    return !at || (at->isValid() && at->timeSpec() == Qt::UTC);
}

void checkAnswer(int status, const RdapAnswer &answer, const QString &asked, const QByteArray &body)
{
    FUZZ_CHECK(answer.kind != RdapAnswer::Registered || status == 200);
    FUZZ_CHECK((answer.kind == RdapAnswer::NotRegistered) == (status == 404));
    FUZZ_CHECK((answer.kind == RdapAnswer::InvalidName) == (status == 400));
    FUZZ_CHECK((answer.kind == RdapAnswer::SlowDown) == (status == 429));
    FUZZ_CHECK(answer.error.isEmpty() == (answer.kind != RdapAnswer::Failed));
    FUZZ_CHECK(answer.warnings.isEmpty() || answer.kind == RdapAnswer::Registered);
    if (answer.retryAfterSeconds)
        FUZZ_CHECK(answer.kind == RdapAnswer::SlowDown && *answer.retryAfterSeconds >= 0);
    if (answer.kind != RdapAnswer::Registered) {
        FUZZ_CHECK(answer.statuses.isEmpty());
        FUZZ_CHECK(!answer.registration && !answer.expiration && !answer.lastChanged &&
                   !answer.databaseUpdate);
        return;
    }
    // Each status in its one spelling, and ", " splits them again.
    for (const QString &s : answer.statuses) {
        FUZZ_CHECK(!s.isEmpty() && s == s.simplified() && !s.contains(u','));
        FUZZ_CHECK(rdapStatusName(s) == s && answer.statuses.count(s) == 1);
    }
    FUZZ_CHECK(isUtcDate(answer.registration) && isUtcDate(answer.expiration) &&
               isUtcDate(answer.lastChanged) && isUtcDate(answer.databaseUpdate));
    // An answer about another name is no answer about this one.
    const QJsonValue ldhName = QJsonDocument::fromJson(body).object().value(u"ldhName");
    QString named = ldhName.toString().trimmed();
    if (named.endsWith(u'.'))
        named.chop(1);
    FUZZ_CHECK(ldhName.isUndefined() || (ldhName.isString() && !named.isEmpty()));
    if (std::all_of(named.cbegin(), named.cend(), [](QChar c) { return c.unicode() < 128; }))
        FUZZ_CHECK(named.compare(asked, Qt::CaseInsensitive) == 0 || ldhName.isUndefined());
}

void checkEstimate(const RdapAnswer &answer, Stage previous)
{
    const QDate today = kNow.toLocalTime().date();
    const DropEstimate::Estimate e = DropEstimate::estimate(answer, kNow, previous);
    const QString text = DropEstimate::estimateText(e);
    const QString countdown = DropEstimate::countdownText(e, today);
    FUZZ_CHECK(e.earliest.has_value() == e.latest.has_value());
    if (e.earliest) {
        // Always a date to show, never "预计 " with nothing after it.
        FUZZ_CHECK(*e.earliest <= *e.latest && *e.latest <= kHorizon);
        FUZZ_CHECK(text.startsWith(u"预计 ") && text.size() >= 13 && text[3].isDigit() &&
                   !text.endsWith(u' '));
        FUZZ_CHECK(countdown.startsWith(u"预计") && countdown.endsWith(u"天后"));
    }
    FUZZ_CHECK((e.stage == Stage::Dropped) == (text == u"已删除"));
    FUZZ_CHECK(e.earliest || e.stage == Stage::Dropped || text.isEmpty());
    FUZZ_CHECK(e.earliest || e.stage == Stage::Dropped ||
               countdown == (e.stage == Stage::Restoring ? u"恢复中" : u""));

    const auto withinCycle = [](const std::optional<QDateTime> &at) {
        return at && *at <= kHorizon ? at : std::nullopt;
    };
    const auto changedPlus = [&](int days) {
        return withinCycle(answer.lastChanged ? std::optional(answer.lastChanged->addDays(days))
                                              : std::nullopt);
    };
    const std::optional<QDateTime> renewedFrom =
        answer.expiration ? std::optional(answer.expiration->addYears(-1)) : std::nullopt;
    switch (answer.kind) {
    case RdapAnswer::Registered:
        FUZZ_CHECK((e.stage == Stage::Restoring) == answer.hasStatus(u"pending restore"));
        FUZZ_CHECK((e.stage == Stage::Redemption) == (answer.hasStatus(u"redemption period") &&
                                                      !answer.hasStatus(u"pending restore")));
        if (e.stage == Stage::Restoring)
            FUZZ_CHECK(!e.earliest);
        else if (e.stage == Stage::Redemption)
            FUZZ_CHECK(e.earliest == changedPlus(35) && e.latest == e.earliest);
        else if (e.stage == Stage::PendingDelete)
            FUZZ_CHECK(answer.hasStatus(u"pending delete") && e.earliest == changedPlus(5));
        else if (e.stage == Stage::Grace)
            FUZZ_CHECK(answer.hasStatus(u"auto renew period") &&
                       e.earliest.has_value() ==
                           (renewedFrom && renewedFrom->addDays(80) <= kHorizon) &&
                       (!e.earliest || *e.earliest == kNow.addDays(35)) &&
                       DropEstimate::realExpiry(answer) == DropEstimate::localDate(renewedFrom));
        else
            FUZZ_CHECK(e.stage == Stage::Active && !e.earliest);
        break;
    case RdapAnswer::NotRegistered:
        FUZZ_CHECK((e.stage == Stage::Dropped) ==
                   (previous == Stage::Redemption || previous == Stage::PendingDelete ||
                    previous == Stage::Dropped));
        FUZZ_CHECK(e.stage == Stage::Dropped || e.stage == Stage::Unknown);
        break;
    default:
        FUZZ_CHECK(e.stage == Stage::Unknown && !e.earliest);
    }

    if (const std::optional<DropEstimate::Age> age = DropEstimate::age(answer, today))
        FUZZ_CHECK(
            age->years >= 0 && age->days >= 0 && age->days <= 365 &&
            DropEstimate::localDate(answer.registration)->addYears(age->years).addDays(age->days) ==
                today);
}

void checkBootstrap(const QByteArray &body)
{
    QString error;
    const std::optional<RdapBootstrap> table = RdapBootstrap::parse(body, &error);
    if (!table) {
        FUZZ_CHECK(!error.isEmpty());
        return;
    }
    // Every suffix the table names finds a base for itself, however it is written, and is asked
    // over HTTPS unless its server is on this machine.
    for (const QString &suffix : table->suffixes()) {
        const std::optional<QString> base = table->baseFor(suffix);
        FUZZ_CHECK(base && base->endsWith(u'/'));
        FUZZ_CHECK(base->startsWith(u"https://") ||
                   (base->startsWith(u"http://") && isLoopbackHost(QUrl(*base).host())));
        FUZZ_CHECK(table->baseFor(suffix.toUpper() + u'.') == base);
        const std::optional<QString> url = table->domainUrl(QStringLiteral("x.") + suffix);
        FUZZ_CHECK(url && url->endsWith(QStringLiteral("domain/x.") + suffix));
    }
    RdapBootstrap merged = RdapBootstrap::builtIn();
    merged.merge(*table);
    for (const QString &suffix : table->suffixes())
        FUZZ_CHECK(merged.baseFor(suffix) == table->baseFor(suffix));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool losAngeles = [] {
        qputenv("TZ", "America/Los_Angeles");
        tzset();
        return true;
    }();
    Q_UNUSED(losAngeles)
    static const int kStatuses[] = {200, 404, 400, 429, 500, 503, 302, 0};
    Fuzz::Input in(data, size);
    const int status = kStatuses[in.byte() % std::size(kStatuses)];
    QByteArray retryAfter;
    for (int n = in.byte() % 64; n > 0 && in.left() > 0; --n)
        retryAfter += char(in.byte());
    const std::uint8_t stageAndName = in.byte();
    const Stage previous = Stage(stageAndName % 7);
    const QByteArray body = in.rest();
    const QString asked =
        stageAndName < 128
            ? RdapBootstrap::asciiName(
                  QJsonDocument::fromJson(body).object().value(u"ldhName").toString())
            : QStringLiteral("x.com");

    const RdapAnswer answer = readAnswer(asked, status, body, retryAfter, kNow);
    checkAnswer(status, answer, asked, body);
    checkEstimate(answer, previous);
    checkBootstrap(body);
    return 0;
}
