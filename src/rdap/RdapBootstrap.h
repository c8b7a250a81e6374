#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// Which RDAP server answers for which suffix, read from a bootstrap file in IANA's dns.json shape
// (RFC 9224): {"services": [[[suffixes], [base URLs]], ...]}.
class RdapBootstrap final {
public:
    // nullopt, with a message in `error`, for text that is not JSON or not of that shape. A
    // service whose only base is plain HTTP to another machine is left out and named in
    // warnings(): whoever sits on the path could answer for its registry.
    static std::optional<RdapBootstrap> parse(const QByteArray &json, QString *error);

    // The table shipped inside the program (data/rdap-dns.json).
    static RdapBootstrap builtIn();

    // The user's own table, beside varnel.conf, applied suffix by suffix over the others.
    static QString userFilePath();
    // The last good download of IANA's file.
    static QString cachedFilePath();

    // The downloaded copy for every suffix it names and the built-in table for the rest; then
    // the user's file over both. A file that is missing is no error; a file that cannot be read
    // or parsed is skipped, with a message in `errors`, as are its warnings.
    static RdapBootstrap load(const QString &userFile = userFilePath(),
                              const QString &cachedFile = cachedFilePath(),
                              QStringList *errors = nullptr);

    // Writes a downloaded file to `path` only when it parses and names at least one suffix, so
    // that a bad download leaves the last good copy in place; the table it holds when written.
    static std::optional<RdapBootstrap> storeDownload(const QByteArray &json, const QString &path,
                                                      QString *error);

    // Lower-case A-labels without dots at the ends, as queries and answers name a domain; empty
    // when a Unicode name has no A-label form.
    static QString asciiName(const QString &name);

    // The base URL (ending in '/') of the server for `asciiName`, by the longest suffix of whole
    // labels the table holds; the name itself counts as a suffix. Case and a final dot are
    // ignored.
    std::optional<QString> baseFor(const QString &asciiName) const;
    // base + "domain/" + the name as lower-case A-labels (a Unicode name is converted); nullopt
    // when no server is known.
    std::optional<QString> domainUrl(const QString &name) const;

    // Every suffix `other` names takes its base from `other`; the rest stay.
    void merge(const RdapBootstrap &other);

    QStringList suffixes() const;
    bool isEmpty() const { return m_bases.isEmpty(); }
    const QStringList &warnings() const { return m_warnings; }

private:
    QHash<QString, QString> m_bases; // lower-case suffix without dots at its ends -> base URL
    QStringList m_warnings;
};
