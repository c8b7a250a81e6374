#include "Clock.h"

namespace {
QDateTime g_fixed;
}

namespace Clock {

QDateTime nowUtc()
{
    return g_fixed.isValid() ? g_fixed : QDateTime::currentDateTimeUtc();
}

QDate today()
{
    return nowUtc().toLocalTime().date();
}

void setNow(const QDateTime &at)
{
    g_fixed = at.toUTC();
}

} // namespace Clock
