#include "DropEstimate.h"

namespace DropEstimate {

namespace {

std::optional<QDate> dayOf(const std::optional<QDateTime> &at)
{
    return at ? std::optional(at->toUTC().date()) : std::nullopt;
}

Estimate oneDay(Stage stage, const std::optional<QDate> &day)
{
    return {stage, day, day};
}

} // namespace

Estimate estimate(const RdapAnswer &answer, const QDate &today, Stage previous)
{
    if (answer.kind == RdapAnswer::NotRegistered) {
        const bool wasDeleting = previous == Stage::Redemption ||
                                 previous == Stage::PendingDelete || previous == Stage::Dropped;
        return {wasDeleting ? Stage::Dropped : Stage::Unknown, std::nullopt, std::nullopt};
    }
    if (answer.kind != RdapAnswer::Registered)
        return {};

    const std::optional<QDate> changed = dayOf(answer.lastChanged);
    // Registries list "pending delete" beside "redemption period" too: redemption decides.
    if (answer.hasStatus(u"redemption period"))
        return oneDay(Stage::Redemption,
                      changed
                          ? std::optional(changed->addDays(kRedemptionDays + kPendingDeleteDays))
                          : std::nullopt);
    if (answer.hasStatus(u"pending delete"))
        return oneDay(Stage::PendingDelete,
                      changed ? std::optional(changed->addDays(kPendingDeleteDays)) : std::nullopt);
    if (answer.hasStatus(u"auto renew period")) {
        const std::optional<QDate> expiry = realExpiry(answer);
        if (!expiry)
            return {Stage::Grace, std::nullopt, std::nullopt};
        // Deleted today at the soonest, or on the grace's last day at the latest; then
        // redemption and pending delete run their full course.
        const int tail = kRedemptionDays + kPendingDeleteDays;
        const QDate earliest = today.addDays(tail);
        return {Stage::Grace, earliest, qMax(earliest, expiry->addDays(kGraceDays + tail))};
    }
    return {Stage::Active, std::nullopt, std::nullopt};
}

QString stageName(Stage stage)
{
    switch (stage) {
    case Stage::Active:
        return QStringLiteral("active");
    case Stage::Grace:
        return QStringLiteral("grace");
    case Stage::Redemption:
        return QStringLiteral("redemption");
    case Stage::PendingDelete:
        return QStringLiteral("pending delete");
    case Stage::Dropped:
        return QStringLiteral("dropped");
    case Stage::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString estimateText(const Estimate &estimate)
{
    if (estimate.stage == Stage::Dropped)
        return QStringLiteral("已删除");
    if (!estimate.earliest)
        return {};
    const QString first = estimate.earliest->toString(Qt::ISODate);
    if (!estimate.latest || *estimate.latest == *estimate.earliest)
        return QStringLiteral("预计 ") + first;
    return QStringLiteral("预计 %1 至 %2").arg(first, estimate.latest->toString(Qt::ISODate));
}

std::optional<QDate> realExpiry(const RdapAnswer &answer)
{
    const std::optional<QDate> shown = dayOf(answer.expiration);
    if (shown && answer.hasStatus(u"auto renew period"))
        return shown->addYears(-1);
    return shown;
}

std::optional<Age> age(const RdapAnswer &answer, const QDate &today)
{
    const std::optional<QDate> registered = dayOf(answer.registration);
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
