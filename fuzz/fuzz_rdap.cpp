// RDAP answers and bootstrap files. The first bytes pick the HTTP status, the Retry-After header
// and the stage the name showed before; the rest is the body, read both as an answer and as a
// bootstrap file.
#include "FuzzCheck.h"

#include "rdap/DropEstimate.h"
#include "rdap/RdapBootstrap.h"
#include "rdap/RdapRecord.h"

#include <iterator>

namespace {

using DropEstimate::Stage;

const QDateTime kNow(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);

bool isUtcDate(const std::optional<QDateTime> &at)
{
    return !at || (at->isValid() && at->timeSpec() == Qt::UTC);
}

void checkAnswer(int status, const RdapAnswer &answer)
{
    FUZZ_CHECK(answer.kind != RdapAnswer::Registered || status == 200);
    FUZZ_CHECK((answer.kind == RdapAnswer::NotRegistered) == (status == 404));
    FUZZ_CHECK((answer.kind == RdapAnswer::InvalidName) == (status == 400));
    FUZZ_CHECK((answer.kind == RdapAnswer::SlowDown) == (status == 429));
    FUZZ_CHECK(answer.error.isEmpty() == (answer.kind != RdapAnswer::Failed));
    if (answer.retryAfterSeconds)
        FUZZ_CHECK(answer.kind == RdapAnswer::SlowDown && *answer.retryAfterSeconds >= 0);
    if (answer.kind != RdapAnswer::Registered) {
        FUZZ_CHECK(answer.statuses.isEmpty());
        FUZZ_CHECK(!answer.registration && !answer.expiration && !answer.lastChanged &&
                   !answer.databaseUpdate);
        return;
    }
    for (const QString &s : answer.statuses) {
        FUZZ_CHECK(!s.isEmpty() && s == s.trimmed().toLower());
        FUZZ_CHECK(answer.statuses.count(s) == 1);
    }
    FUZZ_CHECK(isUtcDate(answer.registration) && isUtcDate(answer.expiration) &&
               isUtcDate(answer.lastChanged) && isUtcDate(answer.databaseUpdate));
}

void checkEstimate(const RdapAnswer &answer, Stage previous)
{
    const QDate today = kNow.date();
    const DropEstimate::Estimate e = DropEstimate::estimate(answer, today, previous);
    const QString text = DropEstimate::estimateText(e);
    FUZZ_CHECK(e.earliest.has_value() == e.latest.has_value());
    if (e.earliest)
        FUZZ_CHECK(*e.earliest <= *e.latest && text.startsWith(u"预计 "));
    FUZZ_CHECK((e.stage == Stage::Dropped) == (text == u"已删除"));
    FUZZ_CHECK(e.earliest || e.stage == Stage::Dropped || text.isEmpty());

    const auto changedPlus = [&](int days) {
        return answer.lastChanged ? std::optional(answer.lastChanged->date().addDays(days))
                                  : std::nullopt;
    };
    switch (answer.kind) {
    case RdapAnswer::Registered:
        FUZZ_CHECK((e.stage == Stage::Redemption) == answer.hasStatus(u"redemption period"));
        if (e.stage == Stage::Redemption)
            FUZZ_CHECK(e.earliest == changedPlus(35) && e.latest == e.earliest);
        else if (e.stage == Stage::PendingDelete)
            FUZZ_CHECK(answer.hasStatus(u"pending delete") && e.earliest == changedPlus(5));
        else if (e.stage == Stage::Grace)
            FUZZ_CHECK(answer.hasStatus(u"auto renew period") &&
                       e.earliest.has_value() == answer.expiration.has_value() &&
                       (!e.earliest || *e.earliest == today.addDays(35)) &&
                       DropEstimate::realExpiry(answer) ==
                           (answer.expiration
                                ? std::optional(answer.expiration->date().addYears(-1))
                                : std::nullopt));
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
        FUZZ_CHECK(age->years >= 0 && age->days >= 0 && age->days <= 365 &&
                   answer.registration->date().addYears(age->years).addDays(age->days) == today);
}

void checkBootstrap(const QByteArray &body)
{
    QString error;
    const std::optional<RdapBootstrap> table = RdapBootstrap::parse(body, &error);
    if (!table) {
        FUZZ_CHECK(!error.isEmpty());
        return;
    }
    // Every suffix the table names finds a base for itself, however it is written.
    for (const QString &suffix : table->suffixes()) {
        const std::optional<QString> base = table->baseFor(suffix);
        FUZZ_CHECK(base && base->endsWith(u'/'));
        FUZZ_CHECK(base->startsWith(u"https://") || base->startsWith(u"http://"));
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
    static const int kStatuses[] = {200, 404, 400, 429, 500, 503, 302, 0};
    Fuzz::Input in(data, size);
    const int status = kStatuses[in.byte() % std::size(kStatuses)];
    QByteArray retryAfter;
    for (int n = in.byte() % 64; n > 0 && in.left() > 0; --n)
        retryAfter += char(in.byte());
    const Stage previous = Stage(in.byte() % 6);
    const QByteArray body = in.rest();

    const RdapAnswer answer = readAnswer(status, body, retryAfter, kNow);
    checkAnswer(status, answer);
    checkEstimate(answer, previous);
    checkBootstrap(body);
    return 0;
}
