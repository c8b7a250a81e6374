#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

// What the simulated sites say about a domain. Every value is derived from the domain text alone
// (a stable hash, never qHash, which is seeded per process), so a test can compute what a client
// should scrape for any domain without a network. Value functions return the text exactly as the
// page prints it; an empty string means the page carries no such value.
namespace SimContent {

// FNV-1a, 64 bit.
quint64 fnv1a(QByteArrayView bytes);

// Result counts with thousands separators ("1,230,000"); empty: a page without a count.
QString baiduCount(const QString &domain, bool siteOperator);
QString googleCount(const QString &domain);

// Plain digits ("56"); empty: a page without the phrase. `target` is the domain or "www." + it.
QString yahooPages(const QString &domain);
QString yahooLinks(const QString &target);

bool registrable(const QString &domain);

// "0".."9"; empty: the tool's first page has no frame.
QString pageRank(const QString &domain);
// Whether the frame page ends with a line feed after the digit, as the real one sometimes does.
bool pageRankFrameEndsWithLineFeed(const QString &domain);

// The deletion-date tool's answer: five cells (age, registrar, registration date, last update,
// expiry date), each text as it stands between its <td class="deltd1"> and </td>, the deletion
// date and state in cells of another class, and the countdown text that follows "还剩：".
// Empty cells: "no information" page.
struct DeletionInfo {
    QStringList cells;
    QString deletion;
    QString state;
    QString countdown;
};
DeletionInfo deletionInfo(const QString &domain);

// "京ICP备12345678号" or "粤ICP备12345678号-2"; empty: the domain is not filed.
QString icpNumber(const QString &domain);

// Pages as the sites send them: gb2312 sites encoded as GB18030, the others as UTF-8.
QByteArray baiduPage(const QString &domain, bool siteOperator); // gb2312
QByteArray googlePage(const QString &domain);                   // utf-8
QByteArray yahooPagesPage(const QString &domain);               // utf-8
QByteArray yahooLinksPage(const QString &target);               // utf-8
QByteArray registrarAnswer(const QString &domain);              // gb2312
// `hostPort` is where the frame is fetched from: the page links back to its own host.
QByteArray pageRankPage(const QString &domain, const QString &hostPort); // utf-8
QByteArray pageRankFrame(const QString &domain);                         // utf-8
QByteArray deletionToolPage(const QString &domain);                      // utf-8
QByteArray icpPage(const QString &domain);                               // gb2312
QByteArray makerPage();                                                  // gb2312
QByteArray notFoundPage(const QString &target);                          // utf-8
// What a site sends with 429 or 503 when it wants the client to slow down: none of the markers
// any client looks for.
QByteArray throttledPage(int status); // utf-8

// What a site sends when it refuses automated queries: Baidu's security verification page,
// Google's "unusual traffic" page with its captcha form, or another site's "too frequent" page.
enum class BlockStyle { Baidu, Google, Generic };
QByteArray blockPage(BlockStyle style, bool gbCharset);

// The CN registry's deletion lists: plain text, CR LF after every line, deterministic by token.
QStringList cnListTokens();
// Empty for a token the registry does not publish.
QByteArray cnDeletionList(const QString &token);

// A registrar's deletion list for one day, `lines` names long, deterministic by date and length.
QByteArray dailyDeletionList(const QDate &date, int lines);

// RDAP registries (RFC 9082/9083) for the suffixes rdapSuffixes() names, each at
// /rdap/<suffix>/domain/<name>. A name's stage is forced by the start of its first label
// ("active-", "grace-", "redeem-", "pending-", "free-", "slow-", "broken-"), else drawn from the
// name; a name that is not letters, digits and hyphens in two labels or more is InvalidName.
enum class RdapStage {
    Active,        // 200, an ordinary registration
    AutoRenew,     // 200, "auto renew period": expired 1 to 44 days ago, shown a year ahead
    Redemption,    // 200, "redemption period" beside "pending delete", last changed on deletion
    PendingDelete, // 200, "pending delete" alone, last changed when it began
    NotRegistered, // 404 with an RDAP error object
    InvalidName,   // 400 with an RDAP error object
    SlowDown,      // 429 with Retry-After
    Malformed,     // 200 with a domain object cut off midway
};

QStringList rdapSuffixes(); // com, net, org, info, biz

// What a registry says of `name` on the UTC day `today`. Dates carry a time of day and are UTC;
// `expiration` is the one shown. Retry-After is sent as seconds, or as the HTTP date that many
// seconds after the moment of the request.
struct RdapInfo {
    RdapStage stage = RdapStage::NotRegistered;
    QStringList statuses;
    QDateTime registration;
    QDateTime expiration;
    QDateTime lastChanged;
    QDateTime databaseUpdate;
    int retryAfterSeconds = 0;
    bool retryAfterIsDate = false;
};
RdapInfo rdapInfo(const QString &name, const QDate &today);

// A name in `stage` under `suffix`; different `label`s give different names.
QString rdapNameFor(RdapStage stage, const QString &label,
                    const QString &suffix = QStringLiteral("com"));

// An answer with its own status and extra header lines ("Retry-After: 5\r\n").
struct Reply {
    int status = 200;
    QByteArray body;
    QByteArray headers;
};
// The answer of the registry for `suffix` to a query for `name`; `hostPort` is where its links
// point; `today` is the registry's day and `now` the moment of the request. A 429 asks for at
// most `maxRetryAfterSeconds`.
Reply rdapDomainReply(const QString &suffix, const QString &name, const QString &hostPort,
                      const QDate &today, const QDateTime &now, int maxRetryAfterSeconds);
// A bootstrap file in IANA's dns.json shape whose base URLs point at `hostPort`.
QByteArray rdapBootstrap(const QString &hostPort, const QDateTime &now);

} // namespace SimContent
