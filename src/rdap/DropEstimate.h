#pragma once

#include "RdapRecord.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

// Where a name stands in the com/net/org deletion cycle and when it should be deleted: after
// expiry up to 45 days of auto-renew grace, then 30 days of redemption, then 5 of pending delete.
// The cycle runs on the registry's instants; the user sees their local dates. Every date here is
// an estimate and is shown as one.
namespace DropEstimate {

inline constexpr int kGraceDays = 45;
inline constexpr int kRedemptionDays = 30;
inline constexpr int kPendingDeleteDays = 5;

enum class Stage { Unknown, Active, Grace, Redemption, PendingDelete, Dropped, Restoring };

struct Estimate {
    Stage stage = Stage::Unknown;
    std::optional<QDateTime> earliest; // the drop instant (UTC), or the first of a window
    std::optional<QDateTime> latest;   // the last instant of a window; equal to earliest for one
};

// What `answer` shows at `now`. `previous` is the stage the last answer for the same name showed:
// a name gone (404) after redemption or pending delete was deleted; any other 404, and an answer
// that is no answer (failed, slow down, invalid name), leave the stage Unknown. A drop further off
// than the whole cycle from `now` comes from a date no registry means (year 9999): no estimate.
Estimate estimate(const RdapAnswer &answer, const QDateTime &now, Stage previous = Stage::Unknown);

// "active", "grace", "redemption", "pending delete", "dropped", "恢复中" (a restore under way);
// "unknown" without an answer.
QString stageName(Stage stage);

// "预计 2026-12-20", "预计 2027-01-11 至 2027-02-25", "已删除"; empty when nothing is estimated.
QString estimateText(const Estimate &estimate);

// The countdown from the local day `today`: "预计12天后", "预计35至80天后", "已删除", "恢复中";
// empty when nothing is estimated.
QString countdownText(const Estimate &estimate, const QDate &today);

// The local date of an instant.
std::optional<QDate> localDate(const std::optional<QDateTime> &at);

// The expiry the name really had, as a local date: during auto-renew grace the registry already
// shows the renewed year, so it is the shown expiration less one year.
std::optional<QDate> realExpiry(const RdapAnswer &answer);

// Full years since registration, and the days since the last anniversary, to the local day `today`.
struct Age {
    int years = 0;
    int days = 0;
};
std::optional<Age> age(const RdapAnswer &answer, const QDate &today);
QString ageText(const Age &age); // "12年34天"

} // namespace DropEstimate
