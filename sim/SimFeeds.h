#pragma once

#include "SimContent.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

// The registries' own drop lists as they publish them, a new set every UTC day, derived from the
// day alone. Each file holds what makes a reader careful: a byte-order mark, CR LF line ends,
// names in upper case, IDNs as punycode and as Unicode, names listed twice, a time that is no
// time, and lines that are no names.
namespace SimFeeds {

enum class File {
    UkCsvGz, // /current/uk.csv.gz: gzipped CSV "roid,domain,drop_time", the drop minute in UTC
    SeJson,  // /bardate_domains.json: {"data":[{"name":…,"release_at":"YYYY-MM-DD"}]}
    SeText,  // /bardate_domains.txt: name, tab, release date
    NuJson,  // /bardate_domains_nu.json
    NuText,  // /bardate_domains_nu.txt
    PlText,  // /deleted_domains.txt: a header line with the date, then one name a line
};

struct Listed {
    QString name;      // lower-case ASCII, an IDN as xn--
    QDateTime dropUtc; // invalid when the file gives no time, or one that cannot be read
};

// What `file` of `day` lists, as a careful reader gives it: each name once, at its first place;
// a release date is released at 04:00 UTC.
QList<Listed> listed(File file, const QDate &day);

// The file as the registry sends it.
QByteArray body(File file, const QDate &day);

// A request's conditional headers, as sent; empty when not sent.
struct Validators {
    QByteArray ifModifiedSince;
    QByteArray ifNoneMatch;
};

// The answer to a GET of `file` on `day`: 200 with Last-Modified (the day's start, UTC) and an
// ETag, or an empty 304 when the validators show that the client has this day's file. An ETag
// decides before a date, as in HTTP.
SimContent::Reply reply(File file, const QDate &day, const Validators &validators);

} // namespace SimFeeds
