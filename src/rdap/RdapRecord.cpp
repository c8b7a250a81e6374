#include "RdapRecord.h"

#include "fetch/RetryAfter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
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

// Whether `given`, an ldhName or unicodeName, names `asciiName`: case and a final dot aside, and
// a Unicode name by its A-labels.
bool namesDomain(const QJsonValue &given, QStringView asciiName)
{
    QString name = given.toString().trimmed();
    if (name.endsWith(u'.'))
        name.chop(1);
    const bool ascii =
        std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 128; });
    if (!ascii)
        name = QString::fromLatin1(QUrl::toAce(name));
    return !name.isEmpty() && name.compare(asciiName, Qt::CaseInsensitive) == 0;
}

RdapAnswer readDomain(QStringView asciiName, const QByteArray &body)
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

    // A redirect gone astray, or a confused server, answers for another name: nothing of it
    // holds for this one.
    for (const char16_t *key : {u"ldhName", u"unicodeName"}) {
        const QJsonValue given = object.value(QStringView(key));
        if (!given.isUndefined() && !namesDomain(given, asciiName))
            return failed(QStringLiteral("RDAP answer is about another domain"));
    }

    RdapAnswer answer;
    answer.kind = RdapAnswer::Registered;
    const QJsonValue status = object.value(u"status");
    if (!status.isUndefined() && !status.isArray())
        return failed(QStringLiteral("RDAP \"status\" is not an array"));
    for (const QJsonValue &s : status.toArray()) {
        if (!s.isString())
            return failed(QStringLiteral("RDAP \"status\" holds a non-string"));
        const QString name = rdapStatusName(s.toString());
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
            // Registries have sent dates no reader takes (Nomulus: year 294247); the statuses
            // and the other events still say where the name stands.
            if (!date) {
                answer.warnings
                    << QStringLiteral("RDAP event \"%1\" has no valid date; left out").arg(action);
                continue;
            }
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

QString rdapStatusName(QStringView status)
{
    // RFC 8056's names; EPP writes each as one word in camel case.
    static const char *const kNames[] = {"active",
                                         "inactive",
                                         "associated",
                                         "validated",
                                         "locked",
                                         "obscured",
                                         "private",
                                         "proxy",
                                         "removed",
                                         "delete prohibited",
                                         "renew prohibited",
                                         "transfer prohibited",
                                         "update prohibited",
                                         "pending create",
                                         "pending delete",
                                         "pending renew",
                                         "pending restore",
                                         "pending transfer",
                                         "pending update",
                                         "add period",
                                         "auto renew period",
                                         "redemption period",
                                         "renew period",
                                         "transfer period",
                                         "client delete prohibited",
                                         "client hold",
                                         "client renew prohibited",
                                         "client transfer prohibited",
                                         "client update prohibited",
                                         "server delete prohibited",
                                         "server hold",
                                         "server renew prohibited",
                                         "server transfer prohibited",
                                         "server update prohibited"};
    static const QHash<QString, QString> kByKey = [] {
        QHash<QString, QString> byKey{{QStringLiteral("ok"), QStringLiteral("active")},
                                      {QStringLiteral("linked"), QStringLiteral("associated")}};
        for (const char *name : kNames)
            byKey.insert(QString::fromLatin1(name).remove(u' '), QString::fromLatin1(name));
        return byKey;
    }();
    QString key;
    QString plain;
    for (const QChar c : status) {
        const bool blank = c.isSpace() || c == u',' || c.category() == QChar::Other_Control;
        plain += blank ? u' ' : c.toLower();
        if (!blank)
            key += c.toLower();
    }
    return kByKey.value(key, plain.simplified());
}

RdapAnswer readAnswer(QStringView asciiName, int httpStatus, const QByteArray &body,
                      const QByteArray &retryAfterHeader, const QDateTime &now)
{
    RdapAnswer answer;
    switch (httpStatus) {
    case 200:
        return readDomain(asciiName, body);
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
