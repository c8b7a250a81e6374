#include "RdapRecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

std::optional<QDateTime> utcDateTime(int year, int month, int day, int h, int m, int s)
{
    const QDate date(year, month, day);
    const QTime time(h, m, qMin(s, 59)); // a leap second reads as the second before it
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

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
        return utcDateTime(num(m, 3), monthNumber(m.capturedView(2)), num(m, 1), num(m, 4),
                           num(m, 5), num(m, 6));
    if (const auto m = rfc850.match(text); m.hasMatch()) {
        // A two-digit year more than 50 years ahead is in the past century.
        int year = 2000 + num(m, 3);
        if (year > now.date().year() + 50)
            year -= 100;
        return utcDateTime(year, monthNumber(m.capturedView(2)), num(m, 1), num(m, 4), num(m, 5),
                           num(m, 6));
    }
    if (const auto m = asctime.match(text); m.hasMatch())
        return utcDateTime(num(m, 6), monthNumber(m.capturedView(1)), num(m, 2), num(m, 3),
                           num(m, 4), num(m, 5));
    return std::nullopt;
}

RdapAnswer failed(const QString &why)
{
    RdapAnswer answer;
    answer.kind = RdapAnswer::Failed;
    answer.error = why;
    return answer;
}

RdapAnswer readDomain(const QByteArray &body)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return failed(QStringLiteral("RDAP answer is not JSON: %1 at byte %2")
                          .arg(parseError.errorString())
                          .arg(parseError.offset));
    const QJsonObject object = doc.object();
    if (!doc.isObject() || object.value(u"objectClassName").toString() != u"domain")
        return failed(QStringLiteral("RDAP answer is not a domain object"));

    RdapAnswer answer;
    answer.kind = RdapAnswer::Registered;
    const QJsonValue status = object.value(u"status");
    if (!status.isUndefined() && !status.isArray())
        return failed(QStringLiteral("RDAP \"status\" is not an array"));
    for (const QJsonValue &s : status.toArray()) {
        if (!s.isString())
            return failed(QStringLiteral("RDAP \"status\" holds a non-string"));
        const QString name = s.toString().trimmed().toLower();
        if (!name.isEmpty() && !answer.statuses.contains(name))
            answer.statuses << name;
    }

    const QJsonValue events = object.value(u"events");
    if (!events.isUndefined() && !events.isArray())
        return failed(QStringLiteral("RDAP \"events\" is not an array"));
    struct Slot {
        const char16_t *action;
        std::optional<QDateTime> RdapAnswer::*member;
    };
    static const Slot kSlots[] = {
        {u"registration", &RdapAnswer::registration},
        {u"expiration", &RdapAnswer::expiration},
        {u"last changed", &RdapAnswer::lastChanged},
        {u"last update of rdap database", &RdapAnswer::databaseUpdate},
    };
    for (const QJsonValue &e : events.toArray()) {
        const QJsonObject event = e.toObject();
        const QString action = event.value(u"eventAction").toString().trimmed().toLower();
        if (!e.isObject() || action.isEmpty())
            return failed(QStringLiteral("RDAP event without an eventAction"));
        for (const Slot &slot : kSlots) {
            if (action != QStringView(slot.action))
                continue;
            const std::optional<QDateTime> date =
                readRdapDate(event.value(u"eventDate").toString());
            if (!date)
                return failed(QStringLiteral("RDAP event \"%1\" has no valid date").arg(action));
            // Repeated events (a name changed twice): the latest is the one that counts.
            std::optional<QDateTime> &kept = answer.*slot.member;
            if (!kept || *kept < *date)
                kept = date;
        }
    }
    return answer;
}

} // namespace

std::optional<QDateTime> readRdapDate(QStringView text)
{
    static const QRegularExpression re(
        QStringLiteral(R"(^([0-9]{4})-([0-9]{2})-([0-9]{2})[Tt ])"
                       R"(([0-9]{2}):([0-9]{2}):([0-9]{2})(?:\.([0-9]{1,9}))?)"
                       R"((?:([Zz])|([+-])([0-9]{2}):?([0-9]{2}))$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const auto num = [&m](int i) { return m.capturedView(i).toInt(); };
    std::optional<QDateTime> at = utcDateTime(num(1), num(2), num(3), num(4), num(5), num(6));
    if (!at)
        return std::nullopt;
    const int ms = m.capturedView(7).left(3).toString().leftJustified(3, u'0').toInt();
    int offsetMinutes = 0;
    if (!m.hasCaptured(8)) {
        if (num(10) > 23 || num(11) > 59)
            return std::nullopt;
        offsetMinutes = (num(10) * 60 + num(11)) * (m.capturedView(9) == u"-" ? -1 : 1);
    }
    return at->addMSecs(m.hasCaptured(7) ? ms : 0).addSecs(-qint64(offsetMinutes) * 60);
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

RdapAnswer readAnswer(int httpStatus, const QByteArray &body, const QByteArray &retryAfterHeader,
                      const QDateTime &now)
{
    RdapAnswer answer;
    switch (httpStatus) {
    case 200:
        return readDomain(body);
    case 404:
        answer.kind = RdapAnswer::NotRegistered;
        return answer;
    case 400:
        answer.kind = RdapAnswer::InvalidName;
        return answer;
    case 429:
        answer.kind = RdapAnswer::SlowDown;
        answer.retryAfterSeconds = readRetryAfter(retryAfterHeader, now);
        return answer;
    default:
        return failed(QStringLiteral("RDAP server answered HTTP %1").arg(httpStatus));
    }
}
