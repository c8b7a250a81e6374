#include "SimApis.h"

#include "SimRandom.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTime>

#include <optional>

using namespace Qt::StringLiterals;

namespace SimContent {

namespace {

// Captures are drawn up to this year, whatever today is, so that answers never change.
constexpr int kLastYear = 2025;

template <typename Shape> struct Forced {
    const char *prefix;
    Shape shape;
};
const Forced<ArchiveShape> kArchiveForced[] = {
    {"archived-", ArchiveShape::Captured},
    {"noarchive-", ArchiveShape::Empty},
    {"headeronly-", ArchiveShape::HeaderOnly},
    {"broken-", ArchiveShape::Malformed},
};
const Forced<DohShape> kDohForced[] = {
    {"taken-", DohShape::Taken},      {"nons-", DohShape::NoRecord},
    {"nx-", DohShape::NxDomain},      {"servfail-", DohShape::ServFail},
    {"broken-", DohShape::Malformed},
};

template <typename Shape, std::size_t N>
std::optional<Shape> forced(const Forced<Shape> (&table)[N], const QString &name)
{
    for (const Forced<Shape> &f : table) {
        if (name.startsWith(QLatin1String(f.prefix)))
            return f.shape;
    }
    return std::nullopt;
}

template <typename Shape, std::size_t N>
QString prefixOf(const Forced<Shape> (&table)[N], Shape shape)
{
    for (const Forced<Shape> &f : table) {
        if (f.shape == shape)
            return QLatin1String(f.prefix);
    }
    return {};
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

ArchiveShape archiveShape(const QString &name)
{
    const QString ldh = name.toLower();
    if (const std::optional<ArchiveShape> shape = forced(kArchiveForced, ldh))
        return *shape;
    const int roll = rngFor("archive-shape", ldh).below(100);
    return roll < 80   ? ArchiveShape::Captured
           : roll < 90 ? ArchiveShape::Empty
           : roll < 98 ? ArchiveShape::HeaderOnly
                       : ArchiveShape::Malformed;
}

QList<int> archiveYears(const QString &name)
{
    QList<int> years;
    if (archiveShape(name) != ArchiveShape::Captured)
        return years;
    Rng rng = rngFor("archive-years", name.toLower());
    // A site comes and goes: each later year is captured more often than not.
    for (int year = 1996 + rng.below(kLastYear - 1996 + 1); year <= kLastYear; ++year) {
        if (years.isEmpty() || rng.chance(70))
            years << year;
    }
    return years;
}

QByteArray archiveAnswer(const QString &name)
{
    switch (archiveShape(name)) {
    case ArchiveShape::Empty:
        return "[]";
    case ArchiveShape::HeaderOnly:
        return "[[\"timestamp\"]]\n";
    case ArchiveShape::Malformed:
        return "[[\"timestamp\"],\n[\"2004031";
    case ArchiveShape::Captured:
        break;
    }
    Rng rng = rngFor("archive-stamps", name.toLower());
    QByteArrayList rows{"[\"timestamp\"]"};
    for (const int year : archiveYears(name)) {
        const QString stamp = QDate(year, 1, 1).addDays(rng.below(365)).toString(u"yyyyMMdd") +
                              QTime(0, 0).addSecs(rng.below(86400)).toString(u"HHmmss");
        rows << "[\"" + stamp.toLatin1() + "\"]";
    }
    // The archive writes one row a line.
    return '[' + rows.join(",\n") + "]\n";
}

DohShape dohShape(const QString &fqdn)
{
    const QString ldh = fqdn.toLower();
    if (const std::optional<DohShape> shape = forced(kDohForced, ldh))
        return *shape;
    const int roll = rngFor("doh-shape", ldh).below(100);
    const int taken = ldh.endsWith(QLatin1String(".com")) ? 70 : 35;
    return roll < taken       ? DohShape::Taken
           : roll < taken + 5 ? DohShape::NoRecord
           : roll < 99        ? DohShape::NxDomain
                              : DohShape::ServFail;
}

QByteArray dohAnswer(const QString &fqdn)
{
    const QString ldh = fqdn.toLower();
    const QString owner = ldh + u'.';
    const DohShape shape = dohShape(ldh);
    if (shape == DohShape::Malformed)
        return "{\"Status\":0,\"TC\":false,\"Answer\":[{\"name\":\"" + owner.toUtf8() + "\",\"ty";
    const int status = shape == DohShape::NxDomain ? 3 : shape == DohShape::ServFail ? 2 : 0;
    QJsonObject root{{u"Status"_s, status},
                     {u"TC"_s, false},
                     {u"RD"_s, true},
                     {u"RA"_s, true},
                     {u"AD"_s, false},
                     {u"CD"_s, false},
                     {u"Question"_s, QJsonArray{QJsonObject{{u"name"_s, owner}, {u"type"_s, 2}}}}};
    if (shape == DohShape::Taken) {
        Rng rng = rngFor("doh-host", ldh);
        const QString host = QStringLiteral("ns%2.hosting%1.example.").arg(rng.below(9) + 1);
        QJsonArray records;
        for (int i = 1; i <= 2 + rng.below(3); ++i)
            records << QJsonObject{{u"name"_s, owner},
                                   {u"type"_s, 2},
                                   {u"TTL"_s, 3600 * (1 + rng.below(48))},
                                   {u"data"_s, host.arg(i)}};
        root.insert(u"Answer"_s, records);
    } else if (shape != DohShape::ServFail) {
        const QString zone = ldh.section(u'.', 1) + u'.';
        root.insert(u"Authority"_s,
                    QJsonArray{QJsonObject{{u"name"_s, zone},
                                           {u"type"_s, 6},
                                           {u"TTL"_s, 900},
                                           {u"data"_s, u"a.nic."_s + zone + u" hostmaster."_s +
                                                           zone + u" 1 1800 900 604800 86400"_s}}});
    }
    return compact(root);
}

QString archiveNameFor(ArchiveShape shape, const QString &label, const QString &suffix)
{
    return prefixOf(kArchiveForced, shape) + label + u'.' + suffix;
}

QString dohLabelFor(DohShape shape, const QString &label)
{
    return prefixOf(kDohForced, shape) + label;
}

} // namespace SimContent
