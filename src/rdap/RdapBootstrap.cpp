#include "RdapBootstrap.h"

#include "fetch/SiteAddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

namespace {

const QString kFileName = QStringLiteral("rdap-dns.json");

// Lower-case A-labels joined by dots; a U-label is turned into its A-label first.
QString asciiSuffix(const QString &text)
{
    QString name = text.trimmed();
    while (name.endsWith(u'.'))
        name.chop(1);
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    const bool ascii =
        std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 128; });
    return ascii ? name.toLower() : QString::fromLatin1(QUrl::toAce(name));
}

bool isSuffix(const QString &suffix)
{
    static const QRegularExpression re(QStringLiteral("^[a-z0-9-]+(\\.[a-z0-9-]+)*$"));
    return re.match(suffix).hasMatch();
}

// The first https base, else the first http one to this machine; other schemes are for other
// clients. `insecure` gets the first http base to another machine, which is never used.
QString preferredBase(const QJsonArray &urls, bool *wrongType, QString *insecure)
{
    QString http;
    for (const QJsonValue &v : urls) {
        if (!v.isString()) {
            *wrongType = true;
            return {};
        }
        const QUrl url(v.toString().trimmed(), QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty())
            continue;
        QString base = url.toString();
        if (!base.endsWith(u'/'))
            base += u'/';
        if (url.scheme() == u"https")
            return base;
        if (url.scheme() != u"http")
            continue;
        QString &slot = isLoopbackHost(url.host()) ? http : *insecure;
        if (slot.isEmpty())
            slot = base;
    }
    return http;
}

// nullopt and no message: the file is not there.
std::optional<RdapBootstrap> readFile(const QString &path, QString *error)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QString why;
    std::optional<RdapBootstrap> table = RdapBootstrap::parse(file.readAll(), &why);
    if (!table)
        *error = QStringLiteral("%1: %2").arg(path, why);
    return table;
}

} // namespace

std::optional<RdapBootstrap> RdapBootstrap::parse(const QByteArray &json, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<RdapBootstrap> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON: %1 at byte %2")
                        .arg(parseError.errorString())
                        .arg(parseError.offset));
    if (!doc.isObject())
        return fail(QStringLiteral("not a JSON object"));
    const QJsonObject root = doc.object();

    RdapBootstrap table;
    const QJsonValue services = root.value(u"services");
    if (!services.isArray())
        return fail(QStringLiteral("\"services\" is missing or not an array"));
    const QJsonArray list = services.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QJsonArray service = list[i].toArray();
        const QString where = QStringLiteral("service %1").arg(i + 1);
        if (service.size() < 2 || !service[0].isArray() || !service[1].isArray())
            return fail(where + QStringLiteral(" is not a list of suffixes and a list of URLs"));
        bool wrongType = false;
        QString insecure;
        const QString base = preferredBase(service[1].toArray(), &wrongType, &insecure);
        if (wrongType)
            return fail(where + QStringLiteral(" has a URL that is not a string"));
        if (base.isEmpty() && insecure.isEmpty())
            return fail(where + QStringLiteral(" has no http or https base URL"));
        for (const QJsonValue &entry : service[0].toArray()) {
            const QString suffix = entry.isString() ? asciiSuffix(entry.toString()) : QString();
            if (!isSuffix(suffix))
                return fail(where + QStringLiteral(" names something that is not a domain suffix"));
            // The first service naming a suffix keeps it, as a reader going down the file would.
            if (!base.isEmpty() && !table.m_bases.contains(suffix))
                table.m_bases.insert(suffix, base);
        }
        if (base.isEmpty())
            table.m_warnings << where +
                                    QStringLiteral(" skipped: %1 is plain HTTP to another machine")
                                        .arg(insecure);
    }
    return table;
}

RdapBootstrap RdapBootstrap::builtIn()
{
    // Read once: the file is part of the program and cannot change while it runs.
    static const RdapBootstrap table = [] {
        QFile file(QStringLiteral(":/rdap/") + kFileName);
        QString why;
        std::optional<RdapBootstrap> parsed;
        if (file.open(QIODevice::ReadOnly))
            parsed = parse(file.readAll(), &why);
        if (!parsed)
            qFatal("the built-in RDAP bootstrap is broken: %s", qPrintable(why));
        return *parsed;
    }();
    return table;
}

QString RdapBootstrap::userFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + u'/' + kFileName;
}

QString RdapBootstrap::cachedFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + u'/' + kFileName;
}

RdapBootstrap RdapBootstrap::load(const QString &userFile, const QString &cachedFile,
                                  QStringList *errors)
{
    const auto note = [errors](const QString &why) {
        if (errors && !why.isEmpty())
            *errors << why;
    };
    RdapBootstrap table = builtIn();
    for (const QString &path : {cachedFile, userFile}) {
        QString why;
        const std::optional<RdapBootstrap> layer = readFile(path, &why);
        note(why);
        if (!layer)
            continue;
        // The download is IANA's word, however old: the built-in copy only fills its gaps.
        table.merge(*layer);
        for (const QString &warning : layer->warnings())
            note(QStringLiteral("%1: %2").arg(path, warning));
    }
    return table;
}

std::optional<RdapBootstrap> RdapBootstrap::storeDownload(const QByteArray &json,
                                                          const QString &path, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<RdapBootstrap> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QString why;
    const std::optional<RdapBootstrap> table = parse(json, &why);
    if (!table)
        return fail(QStringLiteral("downloaded bootstrap rejected: ") + why);
    if (table->isEmpty())
        return fail(QStringLiteral("downloaded bootstrap names no suffix"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Written aside and renamed over the old copy, so a failed write leaves it whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return table;
}

QString RdapBootstrap::asciiName(const QString &name)
{
    return asciiSuffix(name);
}

std::optional<QString> RdapBootstrap::baseFor(const QString &asciiName) const
{
    QString name = asciiName.trimmed().toLower();
    while (name.endsWith(u'.'))
        name.chop(1);
    if (name.isEmpty())
        return std::nullopt;
    // The whole name first, then one label fewer at a time: the longest suffix wins.
    for (qsizetype from = 0;;) {
        const auto it = m_bases.constFind(name.mid(from));
        if (it != m_bases.cend())
            return *it;
        const qsizetype dot = name.indexOf(u'.', from);
        if (dot < 0)
            return std::nullopt;
        from = dot + 1;
    }
}

std::optional<QString> RdapBootstrap::domainUrl(const QString &domain) const
{
    const QString name = asciiName(domain);
    const std::optional<QString> base = name.isEmpty() ? std::nullopt : baseFor(name);
    if (!base)
        return std::nullopt;
    return *base + QStringLiteral("domain/") + name;
}

void RdapBootstrap::merge(const RdapBootstrap &other)
{
    for (auto it = other.m_bases.cbegin(); it != other.m_bases.cend(); ++it)
        m_bases.insert(it.key(), it.value());
}

QStringList RdapBootstrap::suffixes() const
{
    QStringList out = m_bases.keys();
    out.sort();
    return out;
}
