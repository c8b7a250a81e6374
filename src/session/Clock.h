#pragma once

#include <QDate>

// The local date, replaceable so that date logic is testable for any day.
namespace Clock {
QDate today();
// A fixed "today" for tests; an invalid date returns to the system clock.
void setToday(const QDate &date);
} // namespace Clock
