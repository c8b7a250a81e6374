#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringView>

#include <optional>

// When a site that asked us to slow down wants us back.

// An HTTP date in any of RFC 9110's three forms, in UTC; `now` places a two-digit year.
std::optional<QDateTime> readHttpDate(QStringView text, const QDateTime &now);

// Seconds to wait from a Retry-After value: a count of seconds, or an HTTP date taken relative
// to `now`, never below 0.
std::optional<int> readRetryAfter(const QByteArray &value, const QDateTime &now);
