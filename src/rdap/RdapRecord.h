#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// What an RDAP server said about one domain name (RFC 9083 answers to RFC 9082 domain queries).
struct RdapAnswer {
    enum Kind { Registered, NotRegistered, InvalidName, SlowDown, Failed };

    Kind kind = Failed;
    QStringList statuses; // as rdapStatusName() gives them: "redemption period"
    std::optional<QDateTime> registration;
    std::optional<QDateTime> expiration; // as shown: a year ahead during the auto-renew grace
    std::optional<QDateTime> lastChanged;
    std::optional<QDateTime> databaseUpdate; // how fresh the server's copy is, nothing more
    std::optional<int> retryAfterSeconds;    // SlowDown only, when the server said how long
    QString error;                           // Failed only: why, for the user
    QStringList warnings; // Registered only: what did not read and was left out, for the user

    bool hasStatus(QStringView status) const { return statuses.contains(status); }
};

// Reads the answer to a query for `asciiName` (RdapBootstrap::asciiName): 200 with a domain
// object, 404, 400 and 429 mean what RFC 7480 says; any other status, a body that is not a domain
// object, or one about another name, is Failed. An event whose date does not read is left out
// with a warning. `now` turns a Retry-After date into seconds. Never throws, whatever the bytes.
RdapAnswer readAnswer(QStringView asciiName, int httpStatus, const QByteArray &body,
                      const QByteArray &retryAfterHeader, const QDateTime &now);

// A status as RFC 8056 names it in RDAP ("auto renew period"), however a registry writes it: in
// any case and spacing, or in EPP's spelling ("autoRenewPeriod", "ok" for "active"). A status of
// neither kind is kept in lower case, its blanks, commas and control characters made one blank,
// so that statuses joined with ", " split again.
QString rdapStatusName(QStringView status);

// An RFC 3339 date-time ("2026-01-11T04:00:00Z", any offset, optional fraction), in UTC.
std::optional<QDateTime> readRdapDate(QStringView text);
