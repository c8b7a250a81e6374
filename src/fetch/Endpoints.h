#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The host (with an optional ":port") of every external site the program reads.
// Paths and queries are fixed by each caller; only hosts are configurable.
struct Endpoints {
    QString baidu;        // web search, result counts
    QString google;       // web search, result counts
    QString yahoo;        // Chinese sitemap search
    QString registrar;    // domain availability check
    QString pagerank;     // PageRank tool page
    QString cnRegistry;   // CN registry deletion lists
    QString dailyLists;   // registrar's daily deletion lists
    QString deletionTool; // webmaster tool's deletion-date page
    QString icp;          // ICP filing search
    QString maker;        // maker's version file and product page
    QString iana;         // IANA's RDAP bootstrap file
    QString droplistUk;   // Nominet's .uk drop list
    QString droplistSe;   // the Swedish registry's .se release list
    QString droplistNu;   // the Swedish registry's .nu release list
    QString droplistPl;   // the Polish registry's deleted names
    QString archive;      // the web archive's capture index (CDX)
    QString doh;          // a DNS-over-HTTPS resolver's JSON API

    // The names used in an endpoints file, in the order of the fields above.
    static QStringList names();

    static Endpoints publicHosts();
    // Every endpoint at one host, as the simulator serves them all.
    static Endpoints allAt(const QString &hostPort);

    QString host(const QString &name) const;
    bool setHost(const QString &name, const QString &hostPort);

    // Renders "name = host" lines that parse() reads back.
    QString toFileText() const;

    // Reads "name = host[:port]" lines over `base`; '#' starts a comment, blank lines are skipped.
    // Any unknown name or malformed line rejects the whole file, with a message naming the line.
    static std::optional<Endpoints> parse(const QString &text, const Endpoints &base,
                                          QString *error);

    bool operator==(const Endpoints &) const = default;
};
