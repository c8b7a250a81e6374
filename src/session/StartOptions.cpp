#include "StartOptions.h"

#include "fetch/PageFetcher.h"
#include "fetch/ProxyUrl.h"
#include "probes/QueryRun.h"
#include "sources/ListDownload.h"

#include <QCommandLineParser>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>

namespace {

const QString kEndpoints = QStringLiteral("endpoints");
const QString kProxy = QStringLiteral("proxy");

} // namespace

QString StartOptions::sourcesFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/sources.json");
}

void StartOptions::addTo(QCommandLineParser &parser)
{
    parser.addOption(QCommandLineOption(
        kEndpoints, QStringLiteral("Read site hosts from FILE (name = host[:port])."),
        QStringLiteral("FILE")));
    parser.addOption(QCommandLineOption(
        kProxy,
        QStringLiteral("Send every request through URL (http:// or socks5://[user[:password]@]"
                       "host:port) instead of the system's proxy settings."),
        QStringLiteral("URL")));
}

std::optional<StartOptions> StartOptions::read(const QCommandLineParser &parser, QString *error,
                                               const QString &settingsPath)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    StartOptions options;
    options.settings = Settings::load(settingsPath);
    options.rdapBootstrap = RdapBootstrap::load(
        RdapBootstrap::userFilePath(), RdapBootstrap::cachedFilePath(), &options.settings.warnings);
    QFile sources(sourcesFilePath());
    if (sources.open(QIODevice::ReadOnly)) {
        const QByteArray userFile = sources.readAll();
        // Both halves read the one file: a file that is no JSON object is said once.
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(userFile, &parseError);
        if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
            options.settings.warnings
                << QStringLiteral("sources.json: %1; the built-in sources stay")
                       .arg(parseError.error != QJsonParseError::NoError
                                ? QStringLiteral("not JSON: %1 at byte %2")
                                      .arg(parseError.errorString())
                                      .arg(parseError.offset)
                                : QStringLiteral("not a JSON object"));
        } else {
            options.recipes = Probes::recipesWithUserFile(userFile);
            options.listSources = ListSources::withUserFile(userFile);
            options.settings.warnings << options.recipes.warnings << options.listSources.warnings;
        }
    } else if (sources.exists()) {
        options.settings.warnings
            << QStringLiteral("cannot read %1: %2").arg(sources.fileName(), sources.errorString());
    }
    options.endpoints = options.settings.endpoints;
    options.proxy = options.settings.proxy;

    if (parser.isSet(kEndpoints)) {
        QFile file(parser.value(kEndpoints));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return fail(
                QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        QString why;
        const std::optional<Endpoints> parsed =
            Endpoints::parse(QString::fromUtf8(file.readAll()), options.endpoints, &why);
        if (!parsed)
            return fail(file.fileName() + QStringLiteral(": ") + why);
        options.endpoints = *parsed;
    }

    if (parser.isSet(kProxy)) {
        const QString url = parser.value(kProxy);
        QString why;
        options.proxy = parseProxyUrl(url, &why);
        if (!options.proxy)
            return fail(QStringLiteral("--proxy: %1: %2").arg(invalidProxyText(url), why));
    }
    return options;
}

void StartOptions::useSimulator(const Endpoints &simulated, const QByteArray &rdapBootstrapJson)
{
    endpoints = simulated;
    if (const std::optional<RdapBootstrap> table = RdapBootstrap::parse(rdapBootstrapJson, nullptr))
        rdapBootstrap = *table;
    recipes = Probes::builtInRecipes();
    listSources = ListSources::withUserFile({});
    // The simulator's lists must never stand in for a registry's after a failed download.
    listCacheFolder = ListDownload::defaultCacheFolder() + QStringLiteral("-demo");
    proxy = QNetworkProxy(QNetworkProxy::NoProxy);
}

void StartOptions::applyTo(PageFetcher &fetcher) const
{
    fetcher.setLimits(settings.fetchLimits());
    fetcher.setUserAgent(settings.userAgent);
    if (proxy)
        fetcher.setProxy(*proxy);
}

void StartOptions::applyTo(QueryRun &run, const Endpoints &siteEndpoints) const
{
    for (int s = 0; s < Probes::kSiteCount; ++s) {
        std::optional<int> recipeMs;
        for (int k = 0; k < Probes::kMetricBoxCount; ++k) {
            const MetricChoice &m = Probes::metric(k);
            const ProbeRecipe *api = m.column ? recipes.api(*m.column) : nullptr;
            if (api && m.site == Probes::Site(s))
                recipeMs = api->pacingMs;
        }
        run.setPacing(Probes::Site(s), settings.pacingMs(Probes::Site(s), siteEndpoints, recipeMs));
    }
    run.setBackoff(settings.backoff);
    run.setRecipes(recipes);
}
