// A registry's drop list in every format. The first two bytes pick the format; the rest is the
// body, read as it came, read as a gzip list whatever it is, and gzipped here first, which must
// read as the body itself does.
#include "FuzzCheck.h"

#include "sources/DropList.h"

#include <QSet>

#include <zlib.h>

namespace {

using DropList::ListFormat;

const QDateTime kNow(QDate(2026, 12, 8), QTime(23, 30), Qt::OffsetFromUTC, -5 * 3600);

// `b` picks the kind, charset, time rule, header lines and JSON array key; `names` the name
// column and field, which may be missing from the body or empty.
ListFormat formatOf(std::uint8_t b, std::uint8_t names)
{
    static const char *const kNames[] = {"domain", "name", "", "NAME"};
    ListFormat f;
    f.kind = ListFormat::Kind(b % 3);
    f.charset = b & 4 ? QStringLiteral("gb2312") : QStringLiteral("utf-8");
    f.timeRule = ListFormat::TimeRule((b >> 3) % 3);
    f.releaseHourUtc = 4;
    f.headerLines = (b >> 5) % 3;
    f.nameColumn = QLatin1String(kNames[names % 4]);
    if (f.timeRule != ListFormat::TimeRule::None)
        f.timeColumn = QStringLiteral("drop_time");
    if (b & 0x80)
        f.arrayKey = QStringLiteral("data");
    f.nameField = QLatin1String(kNames[(names + 1) % 4]);
    f.timeField = QStringLiteral("release_at");
    return f;
}

QByteArray gzip(const QByteArray &data)
{
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&zs, uLong(data.size()))), '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    FUZZ_CHECK(deflate(&zs, Z_FINISH) == Z_STREAM_END);
    out.truncate(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return out;
}

void check(const DropList::Result &r, const ListFormat &format)
{
    if (!r.ok()) {
        FUZZ_CHECK(r.entries.isEmpty() && r.records == 0);
        return;
    }
    FUZZ_CHECK(r.records == r.entries.size() + r.duplicates + r.skipped);
    QSet<QString> seen;
    int untimed = 0;
    for (const DropList::Entry &e : r.entries) {
        FUZZ_CHECK(!e.name.isEmpty() && DropList::canonicalName(e.name) == e.name);
        FUZZ_CHECK(!seen.contains(e.name));
        seen.insert(e.name);
        if (format.timeRule == ListFormat::TimeRule::None)
            FUZZ_CHECK(!e.dropUtc);
        else if (e.dropUtc)
            FUZZ_CHECK(e.dropUtc->isValid() && e.dropUtc->timeSpec() == Qt::UTC);
        untimed += !e.dropUtc;
    }
    FUZZ_CHECK(r.badTimes == (format.timeRule == ListFormat::TimeRule::None ? 0 : untimed));
    const QDate tomorrow = kNow.toUTC().date().addDays(1);
    for (const DropList::Entry &e : DropList::droppingOn(r.entries, 1, kNow))
        FUZZ_CHECK(seen.contains(e.name) && e.dropUtc->date() == tomorrow);
}

bool sameResult(const DropList::Result &a, const DropList::Result &b)
{
    return a.entries == b.entries && a.records == b.records && a.skipped == b.skipped &&
           a.duplicates == b.duplicates && a.badTimes == b.badTimes && a.error == b.error;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::Input in(data, size);
    const std::uint8_t b = in.byte();
    ListFormat format = formatOf(b, in.byte());
    const QByteArray body = in.rest();

    const DropList::Result plain = DropList::read(body, format);
    check(plain, format);

    format.gzip = true;
    const DropList::Result raw = DropList::read(body, format);
    check(raw, format);
    if (!body.startsWith("\x1f\x8b"))
        FUZZ_CHECK(sameResult(raw, plain));

    const QByteArray packed = gzip(body);
    FUZZ_CHECK(sameResult(DropList::read(packed, format), plain));
    if (!body.isEmpty())
        FUZZ_CHECK(!DropList::read(packed, format, body.size() - 1).ok());
    return 0;
}
