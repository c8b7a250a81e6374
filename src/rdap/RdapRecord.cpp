#include "RdapRecord.h"

#include "fetch/RetryAfter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <limits>

namespace {

std::optional<QDateTime> utcDateTime(int year, int month, int day, int h, int m, int s)
{
    const QDate date(year, month, day);
    const QTime time(h, m, qMin(s, 59)); // a leap second reads as the second before it
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
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
