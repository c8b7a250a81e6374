#pragma once

#include "RdapRecord.h"

#include <QDate>
#include <QString>

#include <optional>

// Where a name stands in the com/net/org deletion cycle and when it should be deleted: after
// expiry up to 45 days of auto-renew grace, then 30 days of redemption, then 5 of pending delete.
// Dates are UTC days. Every date here is an estimate and is shown as one.
namespace DropEstimate {

inline constexpr int kGraceDays = 45;
inline constexpr int kRedemptionDays = 30;
inline constexpr int kPendingDeleteDays = 5;

enum class Stage { Unknown, Active, Grace, Redemption, PendingDelete, Dropped };

struct Estimate {
    Stage stage = Stage::Unknown;
    std::optional<QDate> earliest; // the drop day, or the first day of a window
    std::optional<QDate> latest;   // the last day of a window; equal to earliest for one day
};

// What `answer` shows. `previous` is the stage the last answer for the same name showed: a name
// gone (404) after redemption or pending delete was deleted; any other 404, and an answer that is
// no answer (failed, slow down, invalid name), leave the stage Unknown.
Estimate estimate(const RdapAnswer &answer, const QDate &today, Stage previous = Stage::Unknown);

// "active", "grace", "redemption", "pending delete", "dropped"; "unknown" without an answer.
QString stageName(Stage stage);

// "预计 2026-12-20", "预计 2027-01-11 至 2027-02-25", "已删除"; empty when nothing is estimated.
QString estimateText(const Estimate &estimate);

// The expiry the name really had: during auto-renew grace the registry already shows the renewed
// year, so it is the shown expiration less one year.
std::optional<QDate> realExpiry(const RdapAnswer &answer);

// Full years since registration, and the days since the last anniversary.
struct Age {
    int years = 0;
    int days = 0;
};
std::optional<Age> age(const RdapAnswer &answer, const QDate &today);
QString ageText(const Age &age); // "12年34天"

} // namespace DropEstimate
