#pragma once

#include <QDate>
#include <QDateTime>

// The one source of "now" for every date and time decision (a day's lists, RDAP estimates, a
// lookup's countdown, notices, file stamps), replaceable so that tests can pin it to any moment.
namespace Clock {

// The current instant, in UTC.
QDateTime nowUtc();
// The local date at nowUtc().
QDate today();
// Pins "now" to `at` for tests; an invalid time returns to the system clock.
void setNow(const QDateTime &at);

} // namespace Clock
