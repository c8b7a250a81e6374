#include "SimFeeds.h"

#include <QLocale>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace SimFeeds {

namespace {

constexpr int kNames = 30;

enum class Times { None, Instant, Date };

struct Registry {
    const char *id;
    QStringList suffixes;
    QString idnLetters; // empty: the registry takes no IDNs
    Times times;
};

const Registry &registryOf(File file)
{
    static const Registry uk{"uk",
                             {QStringLiteral("uk"), QStringLiteral("co.uk"),
                              QStringLiteral("org.uk"), QStringLiteral("me.uk")},
                             {},
                             Times::Instant};
    static const Registry se{"se", {QStringLiteral("se")}, QStringLiteral("åäöé"), Times::Date};
    static const Registry nu{"nu", {QStringLiteral("nu")}, QStringLiteral("åäöü"), Times::Date};
    static const Registry pl{
        "pl",
        {QStringLiteral("pl"), QStringLiteral("com.pl"), QStringLiteral("waw.pl")},
        QStringLiteral("ąćęłńóśźż"),
        Times::None};
    switch (file) {
    case File::UkCsvGz:
        return uk;
    case File::SeJson:
    case File::SeText:
        return se;
    case File::NuJson:
    case File::NuText:
        return nu;
    case File::PlText:
        break;
    }
    return pl;
}

// One record as the file writes it.
struct Row {
    QString name;
    QString time;
    quint64 hash;
};

struct Drawn {
    QList<Listed> listed;
    QList<Row> rows;
};

// FNV-1a of texts that differ in their last character differ in a few bits only; this spreads
// them over all 64 (MurmurHash3's finaliser).
quint64 mixed(quint64 h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    return h ^ (h >> 33);
}

QString label(quint64 h)
{
    static const char *const kSyllables[] = {"ka",  "lo",  "mi",  "ne",  "ru",  "sa",
                                             "to",  "vi",  "ber", "dal", "gen", "hus",
                                             "lin", "mar", "ost", "vik"};
    QString out;
    for (int i = 0, n = 2 + int(h % 2); i < n; ++i, h >>= 4)
        out += QLatin1String(kSyllables[(h >> 1) % 16]);
    if (h & 1)
        out += QString::number(h % 100);
    return out;
}

Drawn draw(const Registry &r, const QDate &day)
{
    Drawn d;
    const QString seed = QLatin1String(r.id) + u'/' + day.toString(Qt::ISODate) + u'/';
    for (int i = 0; d.listed.size() < kNames; ++i) {
        const quint64 h = mixed(SimContent::fnv1a((seed + QString::number(i)).toUtf8()));
        const qsizetype n = d.listed.size();
        QString unicode = label(h);
        const bool idn = !r.idnLetters.isEmpty() && n % 6 == 4;
        if (idn)
            unicode.insert(1, r.idnLetters[qsizetype(h % quint64(r.idnLetters.size()))]);
        unicode += u'.' + r.suffixes[qsizetype((h >> 40) % quint64(r.suffixes.size()))];
        const QString ace = QString::fromLatin1(QUrl::toAce(unicode));
        if (std::any_of(d.listed.cbegin(), d.listed.cend(),
                        [&](const Listed &l) { return l.name == ace; }))
            continue;

        Listed entry{ace, {}};
        Row row{idn ? (n % 12 == 4 ? unicode : ace.toUpper()) : (n % 7 == 3 ? ace.toUpper() : ace),
                {},
                h};
        const QDate date = day.addDays(n % 3);
        if (r.times == Times::Instant) {
            entry.dropUtc = QDateTime(date, QTime(0, 0), Qt::UTC).addSecs(60 * ((h >> 20) % 1440));
            row.time = entry.dropUtc.toString(Qt::ISODate);
        } else if (r.times == Times::Date) {
            entry.dropUtc = QDateTime(date, QTime(4, 0), Qt::UTC);
            row.time = date.toString(Qt::ISODate);
        }
        if (n == 8 && r.times != Times::None) {
            entry.dropUtc = QDateTime();
            row.time = QStringLiteral("soon");
        }
        d.listed << entry;
        d.rows << row;
        // Listed again, in capitals and with another time: the first listing stands.
        if (n % 10 == 5)
            d.rows << Row{d.listed[n - 2].name.toUpper(), row.time, h};
    }
    return d;
}

QByteArray gzip(const QByteArray &data)
{
    z_stream zs{};
    deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&zs, uLong(data.size()))), '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.truncate(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return out;
}

// Lines joined with `end`; junk goes in after the third record and again half-way.
QString joined(QStringList lines, const QStringList &junk, const QString &end)
{
    lines.insert(qMin<qsizetype>(3, lines.size()), junk.first());
    lines.insert(lines.size() / 2, junk.mid(1).join(end));
    return lines.join(end) + end;
}

QByteArray csv(const Drawn &d)
{
    QStringList lines;
    for (const Row &row : d.rows) {
        const QString roid = QString::number(10'000'000 + row.hash % 90'000'000) + u"_DOMAIN-UK"_s;
        lines << (row.hash % 9 == 1 ? u"\"%1\",\"%2\",\"%3\""_s : u"%1,%2,%3"_s)
                     .arg(roid, row.name, row.time);
    }
    lines.prepend(QStringLiteral("roid,domain,drop_time"));
    const QStringList junk{QString(), QStringLiteral("roid,domain,drop_time"),
                           QStringLiteral("12345678_DOMAIN-UK,,2026-01-01T00:00:00Z"),
                           QStringLiteral("this line is no row"),
                           QStringLiteral("87654321_DOMAIN-UK,-broken-.uk,2026-01-01T00:00:00Z")};
    return gzip("\xef\xbb\xbf" + joined(lines, junk, QStringLiteral("\r\n")).toUtf8());
}

QByteArray json(const Drawn &d, bool bom)
{
    QStringList elements;
    for (const Row &row : d.rows)
        elements << u"{\"name\":\"%1\",\"release_at\":\"%2\"}"_s.arg(row.name, row.time);
    const QStringList junk{QStringLiteral("42"), QStringLiteral("{\"name\":null}"),
                           QStringLiteral("{\"release_at\":\"2026-01-01\"}"),
                           QStringLiteral("\"text\""),
                           QStringLiteral("{\"name\":\"no name\",\"release_at\":\"2026-01-01\"}")};
    QString array = joined(elements, junk, QStringLiteral(",\r\n"));
    array.chop(3);
    return (bom ? QByteArray("\xef\xbb\xbf") : QByteArray()) +
           (u"{\"data\":[\r\n"_s + array + u"\r\n]}\r\n"_s).toUtf8();
}

QByteArray text(const Drawn &d)
{
    QStringList lines;
    for (const Row &row : d.rows)
        lines << row.name + u'\t' + row.time;
    const QStringList junk{QString(), QStringLiteral("# comment"), QStringLiteral("<html>"),
                           QStringLiteral("nodots")};
    return "\xef\xbb\xbf" + joined(lines, junk, QStringLiteral("\r\n")).toUtf8();
}

QByteArray deleted(const Drawn &d, const QDate &day)
{
    QStringList lines{u"Domeny usunięte dnia %1"_s.arg(day.toString(Qt::ISODate))};
    for (const Row &row : d.rows)
        lines << row.name + (row.hash % 4 == 0 ? u"\r"_s : QString());
    const QStringList junk{QString(), QStringLiteral("<!-- koniec -->"),
                           QStringLiteral("-- 127.0.0.1 --")};
    return joined(lines, junk, QStringLiteral("\n")).toUtf8();
}

QByteArray httpDate(const QDateTime &at)
{
    return QLocale::c()
        .toString(at.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

// The fixed form of an HTTP date ("Tue, 08 Dec 2026 00:00:00 GMT"), the only one a client sends
// back; invalid for anything else.
QDateTime fromHttpDate(const QByteArray &text)
{
    const QString t = QString::fromLatin1(text).trimmed();
    const QDate date = QLocale::c().toDate(t.mid(5, 11), QStringLiteral("dd MMM yyyy"));
    const QTime time = QTime::fromString(t.mid(17, 8), QStringLiteral("hh:mm:ss"));
    return t.size() == 29 && t.endsWith(u" GMT") ? QDateTime(date, time, Qt::UTC) : QDateTime();
}

} // namespace

QList<Listed> listed(File file, const QDate &day)
{
    return draw(registryOf(file), day).listed;
}

QByteArray body(File file, const QDate &day)
{
    const Drawn d = draw(registryOf(file), day);
    switch (file) {
    case File::UkCsvGz:
        return csv(d);
    case File::SeJson:
    case File::NuJson:
        return json(d, file == File::NuJson);
    case File::SeText:
    case File::NuText:
        return text(d);
    case File::PlText:
        break;
    }
    return deleted(d, day);
}

SimContent::Reply reply(File file, const QDate &day, const Validators &validators)
{
    const QByteArray content = body(file, day);
    const QByteArray etag = '"' + QByteArray::number(SimContent::fnv1a(content), 16) + '"';
    const QDateTime lastModified(day, QTime(0, 0), Qt::UTC);
    const QByteArray headers =
        "Last-Modified: " + httpDate(lastModified) + "\r\nETag: " + etag + "\r\n";
    const QDateTime since = fromHttpDate(validators.ifModifiedSince);
    const bool current =
        validators.ifNoneMatch.isEmpty()
            ? since.isValid() && lastModified <= since
            : validators.ifNoneMatch.contains(etag) || validators.ifNoneMatch.trimmed() == "*";
    return current ? SimContent::Reply{304, {}, headers} : SimContent::Reply{200, content, headers};
}

} // namespace SimFeeds
