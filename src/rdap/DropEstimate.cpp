#include "DropEstimate.h"

#include "text/Words.h"

namespace DropEstimate {

namespace {

constexpr int kCycleTailDays = kRedemptionDays + kPendingDeleteDays;

std::optional<QDateTime> plusDays(const std::optional<QDateTime> &at, int days)
{
    return at ? std::optional(at->addDays(days)) : std::nullopt;
}

// The estimate, unless it lies further off than a whole cycle from `now`: a registry's date in
// year 9999 means "never", and a drop date after it would not even print.
Estimate dated(Stage stage, const std::optional<QDateTime> &earliest,
               const std::optional<QDateTime> &latest, const QDateTime &now)
{
    const QDateTime horizon = now.addDays(kGraceDays + kCycleTailDays + 1);
    if (!earliest || !latest || *latest > horizon)
        return {stage, std::nullopt, std::nullopt};
    return {stage, earliest, latest};
}

std::optional<QDateTime> realExpiryInstant(const RdapAnswer &answer)
{
    if (answer.expiration && answer.hasStatus(u"auto renew period"))
        return answer.expiration->addYears(-1);
    return answer.expiration;
}

} // namespace

Estimate estimate(const RdapAnswer &answer, const QDateTime &now, Stage previous)
{
    if (answer.kind == RdapAnswer::NotRegistered) {
        const bool wasDeleting = previous == Stage::Redemption ||
                                 previous == Stage::PendingDelete || previous == Stage::Dropped;
        return {wasDeleting ? Stage::Dropped : Stage::Unknown, std::nullopt, std::nullopt};
    }
    if (answer.kind != RdapAnswer::Registered)
        return {};

    // RFC 3915: a restore asked for during redemption shows "pending restore" beside the
    // deletion statuses, and the name is kept.
    if (answer.hasStatus(u"pending restore"))
        return {Stage::Restoring, std::nullopt, std::nullopt};
    // Registries list "pending delete" beside "redemption period" too: redemption decides.
    if (answer.hasStatus(u"redemption period")) {
        const std::optional<QDateTime> drop = plusDays(answer.lastChanged, kCycleTailDays);
        return dated(Stage::Redemption, drop, drop, now);
    }
    if (answer.hasStatus(u"pending delete")) {
        const std::optional<QDateTime> drop = plusDays(answer.lastChanged, kPendingDeleteDays);
        return dated(Stage::PendingDelete, drop, drop, now);
    }
    if (answer.hasStatus(u"auto renew period")) {
        // Deleted now at the soonest, or at the grace's end at the latest; then redemption and
        // pending delete run their full course.
        const std::optional<QDateTime> expiry = realExpiryInstant(answer);
        const QDateTime earliest = now.addDays(kCycleTailDays);
        const std::optional<QDateTime> latest =
            expiry ? std::optional(qMax(earliest, expiry->addDays(kGraceDays + kCycleTailDays)))
                   : std::nullopt;
        return dated(Stage::Grace, earliest, latest, now);
    }
    return {Stage::Active, std::nullopt, std::nullopt};
}

QString stageName(Stage stage)
{
    switch (stage) {
    case Stage::Active:
        return kStageActive;
    case Stage::Grace:
        return kStageGrace;
    case Stage::Redemption:
        return kStageRedemption;
    case Stage::PendingDelete:
        return kStagePendingDelete;
    case Stage::Dropped:
        return kStageDropped;
    case Stage::Restoring:
        return kStageRestoring;
    case Stage::Unknown:
        break;
    }
    return kStageUnknown;
}

QString estimateText(const Estimate &estimate)
{
    if (estimate.stage == Stage::Dropped)
        return kDropped;
    if (!estimate.earliest)
        return {};
    const QString first = localDate(estimate.earliest)->toString(Qt::ISODate);
    const QString last = localDate(estimate.latest)->toString(Qt::ISODate);
    if (first == last)
        return QStringLiteral("预计 ") + first;
    return QStringLiteral("预计 %1 至 %2").arg(first, last);
}

QString countdownText(const Estimate &estimate, const QDate &today)
{
    if (estimate.stage == Stage::Dropped)
        return kDropped;
    if (estimate.stage == Stage::Restoring)
        return stageName(estimate.stage);
    if (!estimate.earliest)
        return {};
    const qint64 first = today.daysTo(*localDate(estimate.earliest));
    const qint64 last = today.daysTo(*localDate(estimate.latest));
    if (first == last)
        return QStringLiteral("预计%1天后").arg(first);
    return QStringLiteral("预计%1至%2天后").arg(first).arg(last);
}

std::optional<QDate> localDate(const std::optional<QDateTime> &at)
{
    return at ? std::optional(at->toLocalTime().date()) : std::nullopt;
}

std::optional<QDate> realExpiry(const RdapAnswer &answer)
{
    return localDate(realExpiryInstant(answer));
}

std::optional<Age> age(const RdapAnswer &answer, const QDate &today)
{
    const std::optional<QDate> registered = localDate(answer.registration);
    if (!registered || *registered > today)
        return std::nullopt;
    int years = today.year() - registered->year();
    if (registered->addYears(years) > today)
        --years;
    return Age{years, int(registered->addYears(years).daysTo(today))};
}

QString ageText(const Age &age)
{
    return QStringLiteral("%1年%2天").arg(age.years).arg(age.days);
}

} // namespace DropEstimate
