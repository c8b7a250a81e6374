#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// Reading a registry's own drop list as it was downloaded: gzip, charset, the file's shape and
// its time rule come from a ListFormat, so that a new registry is a row of data, not code.
namespace DropList {

struct ListFormat {
    enum class Kind {
        Lines, // one name a line, optionally blanks or a tab and its time after it
        Csv,   // a header row naming the columns, then one row a name
        Json,  // an array of objects, each with a name field and an optional time field
    };
    enum class TimeRule {
        None,                   // the list gives no times
        IsoInstant,             // "2026-12-08T13:05:00Z"; an offset or a fraction may follow
        DateWithReleaseHourUtc, // "2026-12-08": released from releaseHourUtc on that UTC day
    };

    Kind kind = Kind::Lines;
    bool gzip = false;
    // "utf-8" or "gb2312", in any case; a body that opens with a UTF-8 byte-order mark is UTF-8.
    QString charset = QStringLiteral("utf-8");

    int headerLines = 0; // Lines: leading lines skipped whatever they hold, and not counted

    // Csv: by header name, in any case; the header is the first row that is not blank. Fields
    // may be quoted, with "" for a quote inside.
    QString nameColumn;
    QString timeColumn; // Csv: empty when the list has no times

    QString arrayKey;  // Json: the top-level key holding the array; empty: the document is one
    QString nameField; // Json
    QString timeField; // Json: empty when the list has no times

    TimeRule timeRule = TimeRule::None;
    int releaseHourUtc = 0; // 0..23

    bool operator==(const ListFormat &) const = default;
};

struct Entry {
    QString name; // lower-case ASCII, an IDN in its xn-- form
    std::optional<QDateTime> dropUtc;

    bool operator==(const Entry &) const = default;
};

struct Result {
    QList<Entry> entries; // in list order, the first of each name kept
    // Lines, data rows or array elements read; headers are not records. Every record is an
    // entry, a duplicate or skipped.
    int records = 0;
    int skipped = 0; // not names: blanks, markup, comments, repeated headers, names without a dot
    int duplicates = 0; // later records of a name already read
    int badTimes = 0;   // entries kept without a time although the format has a time rule
    QString error;      // the body could not be read at all; then there are no entries

    bool ok() const { return error.isEmpty(); }
};

// Registry lists run to a few megabytes; anything that inflates past this is refused.
inline constexpr qint64 kMaxInflatedBytes = 64 * 1024 * 1024;

// Never throws, whatever the bytes. A gzip format also takes a body that arrives inflated
// already, as it does when a server adds Content-Encoding and the fetcher undoes it.
Result read(const QByteArray &body, const ListFormat &format,
            qint64 maxInflatedBytes = kMaxInflatedBytes);

// The entry's name as a list writes it, made canonical: trimmed, one final dot dropped,
// lower-cased, a Unicode IDN turned into its ASCII form. Empty when it is not a host name
// (asciiHostName in text/HostName.h).
QString canonicalName(QStringView text);

// One time as the rule reads it, in UTC; nullopt when the text does not fit the rule. An instant
// without an offset is taken as UTC, as the registries write them; a date alone is no instant.
std::optional<QDateTime> readTime(QStringView text, const ListFormat &format);

// The entries whose drop instant falls on the UTC day `daysAhead` days after `now`'s UTC day,
// whatever zone `now` is given in. Entries without a time are never on a day.
QList<Entry> droppingOn(const QList<Entry> &entries, int daysAhead, const QDateTime &now);

} // namespace DropList
