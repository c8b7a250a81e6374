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

// How Varnel answers a site that refuses it ("查询受限"): ask again after a pause that doubles
// with each refusal in a row, up to a cap. A run and the single lookup share it.
struct Backoff {
    int tries = 3;         // requests per row and metric
    int firstSeconds = 30; // the first pause, when the site names none (Retry-After)
    int maxSeconds = 600;  // the longest pause, Retry-After included

    // The pause after the `refusalsInARow`th refusal in a row: the site's own Retry-After when
    // it gave one, else the first pause doubled for each refusal before.
    qint64 pauseMs(int refusalsInARow, std::optional<int> retryAfterSeconds) const;
};
