#pragma once

#include "fetch/Endpoints.h"
#include "probes/Recipes.h"
#include "rdap/RdapBootstrap.h"
#include "session/Settings.h"
#include "sources/ListSources.h"

#include <QNetworkProxy>
#include <QString>

#include <optional>

class PageFetcher;
class QueryRun;
class QCommandLineParser;

// What a program starts with: the settings file, then --endpoints FILE over its [endpoints], then
// --proxy URL over its [proxy] url. The window reads its options here so that varnel-cli can take
// the same ones without the two drifting apart.
struct StartOptions {
    Settings settings;
    Endpoints endpoints;
    std::optional<QNetworkProxy> proxy; // none: the system's proxy settings apply
    // Which RDAP server answers for which suffix: the built-in table, the last download and the
    // user's file over it (a file that does not read adds to settings.warnings).
    RdapBootstrap rdapBootstrap;
    // What the search-count metrics ask and read: the built-in recipes with the "probes" of the
    // user's sources.json over them (an entry that does not read adds to settings.warnings).
    Probes::RecipeTable recipes = Probes::builtInRecipes();
    // The lists the program can download: the built-in table with the "lists" of the user's
    // sources.json over it (an entry that does not read adds to settings.warnings).
    ListSources::Table listSources = ListSources::withUserFile({});
    // Where downloaded lists are kept between runs; empty: the program's cache folder.
    QString listCacheFolder;

    // The user's table of sources, beside the settings file.
    static QString sourcesFilePath();

    // Adds --endpoints FILE and --proxy URL.
    static void addTo(QCommandLineParser &parser);

    // Reads the settings at `settingsPath` and the options addTo() added. An endpoints file that
    // cannot be read or does not parse, or a --proxy that is not a proxy URL, gives nothing and a
    // message in `error`; a bad settings value only adds to settings.warnings.
    static std::optional<StartOptions> read(const QCommandLineParser &parser, QString *error,
                                            const QString &settingsPath = Settings::defaultPath());

    // Every site, every registry included, at a simulator in this process: its endpoints, its
    // RDAP bootstrap file, the built-in recipes and lists (it answers in their wording and
    // serves their paths) with a cache folder of their own, and no proxy
    // (Qt sends even loopback requests through one set).
    void useSimulator(const Endpoints &simulated, const QByteArray &rdapBootstrapJson);

    // The limits, user agent and proxy the settings and options ask of every request.
    void applyTo(PageFetcher &fetcher) const;
    // Each site's pacing (none for a loopback `endpoints` unless the settings give one), the
    // back-off after a refusal, and the recipes.
    void applyTo(QueryRun &run, const Endpoints &endpoints) const;
};
