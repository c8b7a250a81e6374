#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "probes/Probes.h"
#include "probes/QueryRun.h"

#include <QNetworkProxy>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// The user's settings file, varnel.conf (INI), read once at start.
// Every value has a default; a value that does not read is reported in `warnings` and its default
// kept, so a typo never stops the program and never takes effect half-read.
struct Settings {
    Endpoints endpoints = Endpoints::publicHosts();
    // The pause before each request to a site, as the file gives it; see pacingMs().
    std::array<std::optional<int>, Probes::kSiteCount> pacingGiven;
    Backoff backoff;
    std::optional<QNetworkProxy> proxy; // none: the system's proxy settings apply
    int idleTimeoutS = 30;
    int totalTimeoutS = 90;
    int maxBodyMib = 16;
    QString userAgent; // empty: no User-Agent of ours
    // [sources] registration = rdap: the registration column asks the registries' RDAP servers
    // (the registrar's page for suffixes without one); registrar, the default, the page alone.
    bool registrationFromRdap = false;
    QStringList warnings;

    // varnel.conf in the platform's user configuration folder for Varnel: on Linux
    // $XDG_CONFIG_HOME/Varnel/ (~/.config/Varnel/), beside the user's rdap-dns.json.
    static QString defaultPath();
    // A missing file gives the defaults without a warning.
    static Settings load(const QString &path);

    static int defaultPacingMs(Probes::Site site);
    // The pause before each request to `site`: the file's value, else none when the site's
    // endpoint is on this machine (a simulator or a local mirror needs no politeness), else the
    // site's probe recipe's ("pacing_ms"), else the default. RDAP's is each registry's own, and
    // the run leaves a registry on this machine unpaced.
    int pacingMs(Probes::Site site, const Endpoints &finalEndpoints,
                 std::optional<int> recipeMs = std::nullopt) const;

    PageFetcher::Limits fetchLimits() const;
};
