#include "Settings.h"

#include "fetch/ProxyUrl.h"
#include "fetch/SiteAddress.h"

#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace {

// In Probes::Site order: each site's pacing key, and the endpoint whose host decides whether it
// is on this machine (none for RDAP: the run judges each registry by its own address).
const char *const kSiteKeys[] = {"baidu",    "google", "yahoo",   "registrar",
                                 "pagerank", "rdap",   "archive", "doh"};
const char *const kSiteEndpoints[] = {"baidu",    "google", "yahoo",   "registrar",
                                      "pagerank", nullptr,  "archive", "doh"};
// The archive throttles heavy users; a resolver hardly minds.
constexpr int kDefaultPacingMs[] = {1500, 3000, 1000, 500, 1000, 1000, 1500, 100};
static_assert(std::size(kSiteKeys) == Probes::kSiteCount &&
              std::size(kSiteEndpoints) == Probes::kSiteCount &&
              std::size(kDefaultPacingMs) == Probes::kSiteCount);

// A header value Qt sends as it is: printable ASCII, so no line break can start another header.
bool isHeaderText(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
}

// Walks the file one known group at a time, reporting what does not belong or does not read.
class Reader final {
public:
    Reader(QSettings &file, QStringList &warnings)
        : m_file(file)
        , m_warnings(warnings)
    {
    }

    void enter(const char *group, const QStringList &knownKeys)
    {
        if (!m_group.isEmpty())
            m_file.endGroup();
        m_group = QLatin1String(group);
        m_file.beginGroup(m_group);
        // A nested group inside a known one is a misspelt key as far as the user can tell.
        for (const QString &key : m_file.allKeys()) {
            if (!knownKeys.contains(key))
                m_warnings << QStringLiteral("设置 [%1] %2 不是已知的键，已忽略").arg(m_group, key);
        }
    }

    // The value as written, blanks trimmed; nothing when the key is absent.
    std::optional<QString> text(const QString &key) const
    {
        if (!m_file.contains(key))
            return std::nullopt;
        const QVariant value = m_file.value(key);
        // QSettings splits an unquoted value at its commas.
        if (value.typeId() == QMetaType::QStringList)
            return value.toStringList().join(QStringLiteral(", ")).trimmed();
        return value.toString().trimmed();
    }

    // Sets `field` when the key is given and reads as a whole number in range; true then.
    bool number(const char *key, int min, int max, int &field)
    {
        const std::optional<QString> written = text(QLatin1String(key));
        if (!written)
            return false;
        bool ok = false;
        const int value = written->toInt(&ok);
        if (ok && value >= min && value <= max) {
            field = value;
            return true;
        }
        reject(QLatin1String(key), *written, QString::number(field));
        return false;
    }

    void reject(const QString &key, const QString &written, const QString &defaultText)
    {
        // A default in words comes in full-width brackets, which need no blank before them.
        const QString shown = defaultText.startsWith(u'（') ? defaultText : u' ' + defaultText;
        m_warnings << QStringLiteral("设置 [%1] %2 的值 \"%3\" 无效，已使用默认值%4")
                          .arg(m_group, key, written, shown);
    }

private:
    QSettings &m_file;
    QStringList &m_warnings;
    QString m_group;
};

template <typename Names> QStringList latin1List(const Names &names)
{
    QStringList out;
    for (const char *name : names)
        out << QLatin1String(name);
    return out;
}

} // namespace

QString Settings::defaultPath()
{
    // Qt names an INI file there varnel.ini; the file keeps the name the rest of the program and
    // its documentation give it, in the same folder.
    const QSettings place(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Varnel"),
                          QStringLiteral("varnel"));
    return QFileInfo(place.fileName()).absolutePath() + QStringLiteral("/varnel.conf");
}

int Settings::defaultPacingMs(Probes::Site site)
{
    return kDefaultPacingMs[int(site)];
}

int Settings::pacingMs(Probes::Site site, const Endpoints &finalEndpoints,
                       std::optional<int> recipeMs) const
{
    if (const std::optional<int> given = pacingGiven[std::size_t(site)])
        return *given;
    const char *endpoint = kSiteEndpoints[int(site)];
    if (endpoint && isLoopbackHost(finalEndpoints.host(QLatin1String(endpoint))))
        return 0;
    return recipeMs.value_or(defaultPacingMs(site));
}

PageFetcher::Limits Settings::fetchLimits() const
{
    PageFetcher::Limits limits;
    limits.transferTimeoutMs = idleTimeoutS * 1000;
    limits.totalDeadlineMs = totalTimeoutS * 1000;
    limits.maxBodyBytes = qint64(maxBodyMib) * 1024 * 1024;
    return limits;
}

Settings Settings::load(const QString &path)
{
    Settings s;
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        s.warnings << (file.status() == QSettings::AccessError
                           ? QStringLiteral("设置文件 %1 无法读取，已全部使用默认值")
                           : QStringLiteral("设置文件 %1 格式有误，已全部使用默认值"))
                          .arg(path);
        return s;
    }

    using Keys = std::initializer_list<const char *>;
    const QStringList groups =
        latin1List(Keys{"endpoints", "pacing", "backoff", "proxy", "network", "sources"});
    for (const QString &group : file.childGroups()) {
        if (!groups.contains(group))
            s.warnings << QStringLiteral("设置 [%1] 不是已知的分组，已忽略").arg(group);
    }
    for (const QString &key : file.childKeys())
        s.warnings << QStringLiteral("设置 %1 不在任何分组中，已忽略").arg(key);

    Reader read(file, s.warnings);
    read.enter("endpoints", Endpoints::names());
    for (const QString &name : Endpoints::names()) {
        const std::optional<QString> host = read.text(name);
        if (host && !s.endpoints.setHost(name, *host))
            read.reject(name, *host, s.endpoints.host(name));
    }

    read.enter("pacing", latin1List(kSiteKeys));
    for (int site = 0; site < Probes::kSiteCount; ++site) {
        int ms = kDefaultPacingMs[site];
        if (read.number(kSiteKeys[site], 0, 600'000, ms))
            s.pacingGiven[std::size_t(site)] = ms;
    }

    read.enter("backoff", latin1List(Keys{"tries", "first_s", "max_s"}));
    read.number("tries", 1, 20, s.backoff.tries);
    read.number("first_s", 1, 3600, s.backoff.firstSeconds);
    read.number("max_s", 1, 86400, s.backoff.maxSeconds);
    if (s.backoff.maxSeconds < s.backoff.firstSeconds) {
        const int used = std::max(Backoff().maxSeconds, s.backoff.firstSeconds);
        s.warnings << QStringLiteral("设置 [backoff] max_s 的值 %1 小于 first_s 的值 %2，已使用 %3")
                          .arg(s.backoff.maxSeconds)
                          .arg(s.backoff.firstSeconds)
                          .arg(used);
        s.backoff.maxSeconds = used;
    }

    read.enter("proxy", latin1List(Keys{"url"}));
    if (const std::optional<QString> url = read.text(QStringLiteral("url"));
        url && !url->isEmpty()) {
        s.proxy = parseProxyUrl(*url, nullptr);
        if (!s.proxy)
            s.warnings << QStringLiteral("设置 [proxy] url：%1，已使用默认值（系统代理设置）")
                              .arg(invalidProxyText(*url));
    }

    read.enter("network",
               latin1List(Keys{"idle_timeout_s", "total_timeout_s", "max_body_mib", "user_agent"}));
    read.number("idle_timeout_s", 1, 3600, s.idleTimeoutS);
    read.number("total_timeout_s", 1, 86400, s.totalTimeoutS);
    read.number("max_body_mib", 1, 1024, s.maxBodyMib);
    if (const std::optional<QString> agent = read.text(QStringLiteral("user_agent"))) {
        if (isHeaderText(*agent))
            s.userAgent = *agent;
        else
            read.reject(QStringLiteral("user_agent"), *agent, QStringLiteral("（空）"));
    }

    read.enter("sources", latin1List(Keys{"registration"}));
    if (const std::optional<QString> source = read.text(QStringLiteral("registration"))) {
        if (*source == u"rdap" || *source == u"registrar")
            s.registrationFromRdap = *source == u"rdap";
        else
            read.reject(QStringLiteral("registration"), *source, QStringLiteral("registrar"));
    }
    return s;
}
