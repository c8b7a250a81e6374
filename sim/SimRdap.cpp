// The RDAP registries and their bootstrap file.
#include "SimContent.h"
#include "SimRandom.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>

#include <utility>

namespace SimContent {

namespace {

struct Forced {
    const char *prefix;
    RdapStage stage;
};
const Forced kForced[] = {
    {"active-", RdapStage::Active},      {"grace-", RdapStage::AutoRenew},
    {"redeem-", RdapStage::Redemption},  {"pending-", RdapStage::PendingDelete},
    {"free-", RdapStage::NotRegistered}, {"slow-", RdapStage::SlowDown},
    {"broken-", RdapStage::Malformed},
};

bool isLdhName(const QString &name)
{
    static const QRegularExpression re(
        QStringLiteral("^(?=.{1,253}$)([a-z0-9]([a-z0-9-]{0,61}[a-z0-9])?\\.)+"
                       "[a-z0-9]([a-z0-9-]{0,61}[a-z0-9])?$"));
    return re.match(name).hasMatch();
}

RdapStage stageOf(const QString &name)
{
    if (!isLdhName(name))
        return RdapStage::InvalidName;
    for (const Forced &f : kForced) {
        if (name.startsWith(QLatin1String(f.prefix)))
            return f.stage;
    }
    // Most names looked up are taken; the rest spread over the deletion cycle.
    const int roll = rngFor("rdap-stage", name).below(100);
    const std::pair<int, RdapStage> kOdds[] = {
        {40, RdapStage::Active},        {15, RdapStage::AutoRenew},     {15, RdapStage::Redemption},
        {10, RdapStage::PendingDelete}, {15, RdapStage::NotRegistered}, {2, RdapStage::SlowDown},
    };
    int left = roll;
    for (const auto &[percent, stage] : kOdds) {
        if ((left -= percent) < 0)
            return stage;
    }
    return RdapStage::Malformed;
}

QDateTime at(const QDate &day, int secondOfDay)
{
    return QDateTime(day, QTime(0, 0).addSecs(secondOfDay), Qt::UTC);
}

QString rfc3339(const QDateTime &t)
{
    return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + u'Z';
}

QString httpDate(const QDateTime &t)
{
    return QLocale::c().toString(t.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")) +
           QStringLiteral(" GMT");
}

QJsonObject link(const QString &href)
{
    return {{"value", href}, {"rel", "self"}, {"href", href}, {"type", "application/rdap+json"}};
}

QJsonArray conformance()
{
    return {"rdap_level_0", "icann_rdap_technical_implementation_guide_1",
            "icann_rdap_response_profile_1"};
}

QJsonObject errorObject(int code, const QString &title, const QString &description)
{
    return {{"errorCode", code},
            {"title", title},
            {"description", QJsonArray{description}},
            {"rdapConformance", QJsonArray{"rdap_level_0"}}};
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject domainObject(const QString &suffix, const QString &name, const RdapInfo &info,
                         const QString &hostPort)
{
    Rng rng = rngFor("rdap-registrar", name);
    struct Registrar {
        const char *name;
        int ianaId;
    };
    static const Registrar kRegistrars[] = {
        {"GoDaddy.com, LLC", 146},
        {"NameCheap, Inc.", 1068},
        {"Alibaba Cloud Computing (Beijing) Co., Ltd.", 420},
        {"Xin Net Technology Corporation", 120},
    };
    const Registrar &registrar = kRegistrars[rng.below(4)];
    // Verisign's registries print names in capitals; the others as asked.
    const bool capitals = suffix == u"com" || suffix == u"net";
    const QString shown = capitals ? name.toUpper() : name;
    const QString self = QStringLiteral("http://%1/rdap/%2/domain/%3").arg(hostPort, suffix, shown);

    QJsonArray events{
        QJsonObject{{"eventAction", "registration"}, {"eventDate", rfc3339(info.registration)}},
        QJsonObject{{"eventAction", "expiration"}, {"eventDate", rfc3339(info.expiration)}},
        QJsonObject{{"eventAction", "last changed"}, {"eventDate", rfc3339(info.lastChanged)}},
        QJsonObject{{"eventAction", "last update of RDAP database"},
                    {"eventDate", rfc3339(info.databaseUpdate)}},
    };
    QJsonArray nameservers;
    if (info.stage == RdapStage::Active || info.stage == RdapStage::AutoRenew) {
        for (const char *ns : {"ns1", "ns2"})
            nameservers << QJsonObject{
                {"objectClassName", "nameserver"},
                {"ldhName", (QLatin1String(ns) + QStringLiteral(".dns-host.net")).toUpper()}};
    }
    const QJsonObject entity{
        {"objectClassName", "entity"},
        {"handle", QString::number(registrar.ianaId)},
        {"roles", QJsonArray{"registrar"}},
        {"publicIds", QJsonArray{QJsonObject{{"type", "IANA Registrar ID"},
                                             {"identifier", QString::number(registrar.ianaId)}}}},
        {"vcardArray",
         QJsonArray{"vcard", QJsonArray{QJsonArray{"version", QJsonObject{}, "text", "4.0"},
                                        QJsonArray{"fn", QJsonObject{}, "text", registrar.name}}}},
    };
    return {
        {"objectClassName", "domain"},
        {"handle",
         QStringLiteral("%1_DOMAIN_%2-SIM").arg(rng.below(1'000'000'000)).arg(suffix.toUpper())},
        {"ldhName", shown},
        {"links", QJsonArray{link(self)}},
        {"status", QJsonArray::fromStringList(info.statuses)},
        {"entities", QJsonArray{entity}},
        {"events", events},
        {"nameservers", nameservers},
        {"secureDNS", QJsonObject{{"delegationSigned", false}}},
        {"rdapConformance", conformance()},
        {"notices",
         QJsonArray{QJsonObject{
             {"title", "Terms of Use"},
             {"description", QJsonArray{"Service subject to the registry's Terms of Use."}}}}},
    };
}

} // namespace

QStringList rdapSuffixes()
{
    return {QStringLiteral("com"), QStringLiteral("net"), QStringLiteral("org"),
            QStringLiteral("info"), QStringLiteral("biz")};
}

RdapInfo rdapInfo(const QString &name, const QDate &today)
{
    const QString ldh = name.toLower();
    RdapInfo info;
    info.stage = stageOf(ldh);
    Rng rng = rngFor("rdap-dates", ldh);
    const int clock = rng.below(86400); // registration and expiration share their time of day
    const auto day = [&](const QDate &d) { return at(d, clock); };
    const auto stamp = [&](const QDate &d) { return at(d, rng.below(86400)); };
    info.databaseUpdate = at(today, rng.below(3600));
    info.retryAfterSeconds = 1 + rng.below(300);
    info.retryAfterIsDate = rng.chance(50);

    // `expiry` is the day the registration ran out (or runs out, for an active name).
    QDate expiry;
    switch (info.stage) {
    case RdapStage::Active: {
        const QDate registered = today.addYears(-1 - rng.below(20)).addDays(-rng.below(365));
        expiry = registered.addYears(registered.daysTo(today) / 365 + 1 + rng.below(2));
        info.registration = day(registered);
        info.expiration = day(expiry);
        info.lastChanged = stamp(qMax(registered, today.addDays(-1 - rng.below(300))));
        static const char *const kLocks[] = {
            "client delete prohibited", "client transfer prohibited", "client update prohibited"};
        for (const char *lock : kLocks) {
            if (rng.chance(60))
                info.statuses << QLatin1String(lock);
        }
        if (rng.chance(10))
            info.statuses << QStringLiteral("client hold");
        if (info.statuses.isEmpty())
            info.statuses << QStringLiteral("active");
        return info;
    }
    case RdapStage::AutoRenew:
        expiry = today.addDays(-1 - rng.below(44));
        // The registry renewed the day after expiry and shows the renewed year.
        info.expiration = day(expiry.addYears(1));
        info.lastChanged = stamp(expiry.addDays(1));
        info.statuses << QStringLiteral("auto renew period");
        if (rng.chance(50))
            info.statuses << QStringLiteral("client transfer prohibited");
        break;
    case RdapStage::Redemption: {
        const QDate deleted = today.addDays(-rng.below(30));
        expiry = deleted.addDays(-rng.below(45));
        info.expiration = day(expiry); // deleting in grace undoes the renewal
        info.lastChanged = stamp(deleted);
        info.statuses << QStringLiteral("pending delete") << QStringLiteral("redemption period");
        break;
    }
    case RdapStage::PendingDelete: {
        const QDate began = today.addDays(-rng.below(5));
        expiry = began.addDays(-30 - rng.below(45));
        info.expiration = day(expiry);
        info.lastChanged = stamp(began);
        info.statuses << QStringLiteral("pending delete");
        break;
    }
    case RdapStage::Malformed:
    case RdapStage::NotRegistered:
    case RdapStage::InvalidName:
    case RdapStage::SlowDown:
        return info;
    }
    info.registration = day(expiry.addYears(-1 - rng.below(15)));
    return info;
}

QString rdapNameFor(RdapStage stage, const QString &label, const QString &suffix)
{
    if (stage == RdapStage::InvalidName)
        return QStringLiteral("bad_") + label + u'.' + suffix;
    for (const Forced &f : kForced) {
        if (f.stage == stage)
            return QLatin1String(f.prefix) + label + u'.' + suffix;
    }
    return label + u'.' + suffix;
}

Reply rdapDomainReply(const QString &suffix, const QString &name, const QString &hostPort,
                      const QDate &today, const QDateTime &now, int maxRetryAfterSeconds)
{
    const QString ldh = name.toLower();
    const RdapInfo info = rdapInfo(ldh, today);
    switch (info.stage) {
    case RdapStage::InvalidName:
        return {400,
                compact(errorObject(400, QStringLiteral("Bad Request"),
                                    QStringLiteral("The domain name is not valid."))),
                {}};
    case RdapStage::SlowDown: {
        const int seconds = qMin(info.retryAfterSeconds, maxRetryAfterSeconds);
        const QString wait =
            info.retryAfterIsDate ? httpDate(now.addSecs(seconds)) : QString::number(seconds);
        return {429,
                compact(errorObject(429, QStringLiteral("Too Many Requests"),
                                    QStringLiteral("Query rate exceeded; try again later."))),
                "Retry-After: " + wait.toLatin1() + "\r\n"};
    }
    case RdapStage::NotRegistered:
        break;
    default:
        // A registry answers only for its own suffix.
        if (!rdapSuffixes().contains(suffix) || !ldh.endsWith(u'.' + suffix))
            break;
        const QByteArray body = compact(domainObject(suffix, ldh, info, hostPort));
        if (info.stage == RdapStage::Malformed)
            return {200, body.left(body.size() * 2 / 3), {}};
        return {200, body, {}};
    }
    return {404,
            compact(errorObject(404, QStringLiteral("Not Found"),
                                QStringLiteral("The object you requested was not found."))),
            {}};
}

QByteArray rdapBootstrap(const QString &hostPort, const QDateTime &now)
{
    QJsonArray services;
    for (const QString &suffix : rdapSuffixes())
        services << QJsonArray{
            QJsonArray{suffix},
            QJsonArray{QStringLiteral("http://%1/rdap/%2/").arg(hostPort, suffix)}};
    return QJsonDocument(QJsonObject{{"version", "1.0"},
                                     {"publication", rfc3339(now)},
                                     {"description", "RDAP bootstrap file for Domain Name System "
                                                     "registrations (varnel-sim)"},
                                     {"services", services}})
        .toJson(QJsonDocument::Indented);
}

} // namespace SimContent
