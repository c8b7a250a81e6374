#include "DropList.h"

#include "fetch/PageFetcher.h"
#include "sources/SourceLists.h"
#include "text/HostName.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <zlib.h>

namespace DropList {

namespace {

// A name is at most 253 characters in its ASCII form; a Unicode form is shorter still. Longer
// text is no name, and is not worth handing to the IDN converter.
constexpr qsizetype kMaxNameChars = 253;

bool isGzip(const QByteArray &body)
{
    return body.size() >= 2 && uchar(body[0]) == 0x1f && uchar(body[1]) == 0x8b;
}

// The gzip file inflated; bytes after its end (some servers pad with zeros) are ignored.
QByteArray inflateGzip(const QByteArray &body, qint64 maxBytes, QString *error)
{
    z_stream zs{};
    if (inflateInit2(&zs, 15 + 16) != Z_OK) {
        *error = QStringLiteral("cannot start inflating");
        return {};
    }
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.constData()));
    zs.avail_in = uInt(body.size());
    QByteArray out;
    char chunk[64 * 1024];
    for (;;) {
        zs.next_out = reinterpret_cast<Bytef *>(chunk);
        zs.avail_out = sizeof chunk;
        const int rc = inflate(&zs, Z_NO_FLUSH);
        const qsizetype produced = qsizetype(sizeof chunk - zs.avail_out);
        if (out.size() + produced > maxBytes) {
            *error = QStringLiteral("the list inflates past %1 bytes").arg(maxBytes);
            break;
        }
        out.append(chunk, produced);
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK) {
            *error = rc == Z_BUF_ERROR && zs.avail_in == 0
                         ? QStringLiteral("the gzip file is cut off")
                         : QStringLiteral("the gzip file is damaged");
            break;
        }
    }
    inflateEnd(&zs);
    return error->isEmpty() ? out : QByteArray();
}

QString decode(const QByteArray &bytes, const ListFormat &format, QString *error)
{
    const bool utf8 = bytes.startsWith("\xef\xbb\xbf") ||
                      format.charset.compare(u"utf-8", Qt::CaseInsensitive) == 0;
    if (!utf8 && format.charset.compare(u"gb2312", Qt::CaseInsensitive) != 0) {
        *error = QStringLiteral("unknown charset \"%1\"").arg(format.charset);
        return {};
    }
    return PageFetcher::decodeBody(bytes, utf8 ? Charset::Utf8 : Charset::Gb2312);
}

// Collects entries in list order, counting what is not one.
class Collector {
public:
    Collector(Result &result, const ListFormat &format)
        : m_result(result)
        , m_format(format)
    {
    }

    void skip()
    {
        ++m_result.records;
        ++m_result.skipped;
    }

    // `time` is null when the record has no time field at all.
    void add(QStringView nameText, QStringView time)
    {
        ++m_result.records;
        QString name = canonicalName(nameText);
        if (name.isEmpty()) {
            ++m_result.skipped;
            return;
        }
        if (m_seen.contains(name)) {
            ++m_result.duplicates;
            return;
        }
        m_seen.insert(name);
        Entry entry{std::move(name), std::nullopt};
        if (m_format.timeRule != ListFormat::TimeRule::None) {
            entry.dropUtc = readTime(time, m_format);
            m_result.badTimes += !entry.dropUtc;
        }
        m_result.entries.append(std::move(entry));
    }

private:
    Result &m_result;
    const ListFormat &m_format;
    QSet<QString> m_seen;
};

void readLines(const QString &text, const ListFormat &format, Collector &out)
{
    const QList<QStringView> lines = Sources::cutLines(text);
    for (qsizetype i = qMax(0, format.headerLines); i < lines.size(); ++i) {
        const QStringView line = lines[i].trimmed();
        if (line.isEmpty()) {
            out.skip();
            continue;
        }
        const qsizetype split =
            std::find_if(line.begin(), line.end(), [](QChar c) { return c.isSpace(); }) -
            line.begin();
        out.add(line.first(split), line.sliced(split).trimmed());
    }
}

// One CSV line's fields; a quote opening a field runs to its closing quote, "" inside being one
// quote. Names never span lines, so neither does a record.
QStringList csvFields(QStringView line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c != u'"')
                field += c;
            else if (i + 1 < line.size() && line[i + 1] == u'"')
                field += line[++i];
            else
                quoted = false;
        } else if (c == u'"' && field.trimmed().isEmpty()) {
            field.clear();
            quoted = true;
        } else if (c == u',') {
            fields << field.trimmed();
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field.trimmed();
    return fields;
}

void readCsv(const QString &text, const ListFormat &format, Result &result, Collector &out)
{
    const QList<QStringView> lines = Sources::cutLines(text);
    qsizetype at = 0;
    while (at < lines.size() && lines[at].trimmed().isEmpty())
        ++at;
    if (at == lines.size()) {
        result.error = QStringLiteral("the list has no header row");
        return;
    }
    const QStringList header = csvFields(lines[at++]);
    const auto column = [&header](const QString &name) {
        for (qsizetype i = 0; i < header.size(); ++i) {
            if (header[i].compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return qsizetype(-1);
    };
    const qsizetype nameAt = column(format.nameColumn);
    const qsizetype timeAt = format.timeColumn.isEmpty() ? -1 : column(format.timeColumn);
    if (nameAt < 0 || (!format.timeColumn.isEmpty() && timeAt < 0)) {
        result.error = QStringLiteral("the header has no \"%1\" column")
                           .arg(nameAt < 0 ? format.nameColumn : format.timeColumn);
        return;
    }
    for (; at < lines.size(); ++at) {
        const QStringList fields = csvFields(lines[at]);
        if (fields.size() <= nameAt || fields == header)
            out.skip();
        else
            out.add(fields[nameAt], timeAt >= 0 && timeAt < fields.size()
                                        ? QStringView(fields[timeAt])
                                        : QStringView());
    }
}

void readJson(const QString &text, const ListFormat &format, Result &result, Collector &out)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.error = QStringLiteral("not JSON: %1 at byte %2")
                           .arg(parseError.errorString())
                           .arg(parseError.offset);
        return;
    }
    const QJsonValue array =
        format.arrayKey.isEmpty() ? QJsonValue(doc.array()) : doc.object().value(format.arrayKey);
    if (format.arrayKey.isEmpty() ? !doc.isArray() : !array.isArray()) {
        result.error = format.arrayKey.isEmpty()
                           ? QStringLiteral("the document is not an array")
                           : QStringLiteral("no \"%1\" array in the document").arg(format.arrayKey);
        return;
    }
    for (const QJsonValue element : array.toArray()) {
        const QJsonValue name = element.toObject().value(format.nameField);
        if (!name.isString()) {
            out.skip();
            continue;
        }
        const QString time = format.timeField.isEmpty()
                                 ? QString()
                                 : element.toObject().value(format.timeField).toString();
        out.add(name.toString(), time);
    }
}

} // namespace

Result read(const QByteArray &body, const ListFormat &format, qint64 maxInflatedBytes)
{
    Result result;
    QByteArray bytes = body;
    if (format.gzip && isGzip(body))
        bytes = inflateGzip(body, maxInflatedBytes, &result.error);
    const QString text = result.ok() ? decode(bytes, format, &result.error) : QString();
    if (!result.ok())
        return result;
    Collector out(result, format);
    switch (format.kind) {
    case ListFormat::Kind::Lines:
        readLines(text, format, out);
        break;
    case ListFormat::Kind::Csv:
        readCsv(text, format, result, out);
        break;
    case ListFormat::Kind::Json:
        readJson(text, format, result, out);
        break;
    }
    return result;
}

QString canonicalName(QStringView text)
{
    QStringView trimmed = text.trimmed();
    if (trimmed.endsWith(u'.'))
        trimmed.chop(1);
    if (trimmed.size() > kMaxNameChars)
        return {};
    return asciiHostName(trimmed.toString()).value_or(QString());
}

std::optional<QDateTime> readTime(QStringView text, const ListFormat &format)
{
    QString time = text.trimmed().toString();
    switch (format.timeRule) {
    case ListFormat::TimeRule::None:
        return std::nullopt;
    case ListFormat::TimeRule::IsoInstant: {
        if (time.size() < 16 || (time[10] != u'T' && time[10] != u' '))
            return std::nullopt;
        time[10] = u'T';
        QDateTime at = QDateTime::fromString(time, Qt::ISODateWithMs);
        if (!at.isValid())
            return std::nullopt;
        if (at.timeSpec() == Qt::LocalTime)
            at = QDateTime(at.date(), at.time(), Qt::UTC);
        return at.toUTC();
    }
    case ListFormat::TimeRule::DateWithReleaseHourUtc: {
        const QDate date = QDate::fromString(time, Qt::ISODate);
        const QDateTime at(date, QTime(format.releaseHourUtc, 0), Qt::UTC);
        if (time.size() != 10 || !at.isValid())
            return std::nullopt;
        return at;
    }
    }
    return std::nullopt;
}

QList<Entry> droppingOn(const QList<Entry> &entries, int daysAhead, const QDateTime &now)
{
    const QDate day = now.toUTC().date().addDays(daysAhead);
    QList<Entry> out;
    for (const Entry &entry : entries) {
        if (entry.dropUtc && entry.dropUtc->toUTC().date() == day)
            out.append(entry);
    }
    return out;
}

} // namespace DropList
