#include "RetryAfter.h"

#include <QRegularExpression>

#include <limits>

namespace {

int monthNumber(QStringView name)
{
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 0; m < 12; ++m) {
        if (name == QLatin1String(kMonths[m]))
            return m + 1;
    }
    return 0;
}

std::optional<QDateTime> utcTime(int year, int month, int day, int h, int m, int s)
{
    const QDateTime at(QDate(year, month, day), QTime(h, m, qMin(s, 59)), Qt::UTC);
    return at.isValid() ? std::optional(at) : std::nullopt;
}

} // namespace

std::optional<QDateTime> readHttpDate(QStringView text, const QDateTime &now)
{
    // IMF-fixdate, the obsolete RFC 850 form, and asctime(), as RFC 9110 bids a reader accept.
    static const QRegularExpression imf(
        QStringLiteral(R"(^[A-Z][a-z]{2}, ([0-9]{2}) ([A-Z][a-z]{2}) ([0-9]{4}) )"
                       R"(([0-9]{2}):([0-9]{2}):([0-9]{2}) GMT$)"));
    static const QRegularExpression rfc850(
        QStringLiteral(R"(^[A-Z][a-z]+, ([0-9]{2})-([A-Z][a-z]{2})-([0-9]{2}) )"
                       R"(([0-9]{2}):([0-9]{2}):([0-9]{2}) GMT$)"));
    static const QRegularExpression asctime(
        QStringLiteral(R"(^[A-Z][a-z]{2} ([A-Z][a-z]{2}) ([ 0-9][0-9]) )"
                       R"(([0-9]{2}):([0-9]{2}):([0-9]{2}) ([0-9]{4})$)"));
    const auto num = [](const QRegularExpressionMatch &m, int i) {
        return m.capturedView(i).trimmed().toInt();
    };
    if (const auto m = imf.match(text); m.hasMatch())
        return utcTime(num(m, 3), monthNumber(m.capturedView(2)), num(m, 1), num(m, 4), num(m, 5),
                       num(m, 6));
    if (const auto m = rfc850.match(text); m.hasMatch()) {
        // A two-digit year more than 50 years ahead is in the past century.
        int year = 2000 + num(m, 3);
        if (year > now.date().year() + 50)
            year -= 100;
        return utcTime(year, monthNumber(m.capturedView(2)), num(m, 1), num(m, 4), num(m, 5),
                       num(m, 6));
    }
    if (const auto m = asctime.match(text); m.hasMatch())
        return utcTime(num(m, 6), monthNumber(m.capturedView(1)), num(m, 2), num(m, 3), num(m, 4),
                       num(m, 5));
    return std::nullopt;
}

std::optional<int> readRetryAfter(const QByteArray &value, const QDateTime &now)
{
    const QByteArray trimmed = value.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    const QString text = QString::fromLatin1(trimmed);
    if (digits.match(text).hasMatch()) {
        // Far too many digits for an int is still "a very long time".
        bool ok = false;
        const qulonglong seconds = trimmed.toULongLong(&ok);
        const qulonglong cap = qulonglong(std::numeric_limits<int>::max());
        return int(ok ? qMin(seconds, cap) : cap);
    }
    const std::optional<QDateTime> at = readHttpDate(text, now);
    if (!at || !now.isValid())
        return std::nullopt;
    const qint64 seconds = now.secsTo(*at);
    return int(qBound(qint64(0), seconds, qint64(std::numeric_limits<int>::max())));
}

qint64 Backoff::pauseMs(int refusalsInARow, std::optional<int> retryAfterSeconds) const
{
    const qint64 cap = qint64(maxSeconds) * 1000;
    if (retryAfterSeconds)
        return qMin(cap, qint64(*retryAfterSeconds) * 1000);
    return qMin(cap, qint64(firstSeconds) * 1000 << qBound(0, refusalsInARow - 1, 20));
}
