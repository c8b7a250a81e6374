#include "ListSources.h"

#include "fetch/Endpoints.h"
#include "fetch/SiteAddress.h"
#include "text/SourcesFile.h"

#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace ListSources {

namespace {

using Format = DropList::ListFormat;

const QString kDate = QStringLiteral("{date}");
const QString kCnToken = QStringLiteral("{cn_token}");

template <typename T> struct Named {
    const char *name;
    T value;
};

const Named<Format::Kind> kKinds[] = {
    {"lines", Format::Kind::Lines}, {"csv", Format::Kind::Csv}, {"json", Format::Kind::Json}};
const Named<Format::TimeRule> kTimeRules[] = {{"none", Format::TimeRule::None},
                                              {"iso_instant", Format::TimeRule::IsoInstant},
                                              {"date", Format::TimeRule::DateWithReleaseHourUtc}};
const Named<Filing> kFilings[] = {
    {"names", Filing::Names}, {"daily", Filing::Daily}, {"cn", Filing::Cn}};
const Named<QString> kCharsets[] = {{"utf-8", QStringLiteral("utf-8")},
                                    {"gb2312", QStringLiteral("gb2312")}};

// Every key an entry may have, and the one format it belongs to (none: every format). An
// unknown key is refused, so that a misspelt "gzip" cannot pass unnoticed.
const Named<std::optional<Format::Kind>> kKeys[] = {
    {"endpoint", std::nullopt},
    {"path", std::nullopt},
    {"format", std::nullopt},
    {"gzip", std::nullopt},
    {"charset", std::nullopt},
    {"time", std::nullopt},
    {"release_hour_utc", std::nullopt},
    {"filing", std::nullopt},
    {"header_lines", Format::Kind::Lines},
    {"name_column", Format::Kind::Csv},
    {"time_column", Format::Kind::Csv},
    {"array_key", Format::Kind::Json},
    {"name_field", Format::Kind::Json},
    {"time_field", Format::Kind::Json},
};

// Reads one entry's fields, keeping the first complaint.
class Fields {
public:
    explicit Fields(const QJsonObject &object)
        : m_object(object)
    {
    }

    const QString &why() const { return m_why; }
    bool ok() const { return m_why.isEmpty(); }
    bool has(const char *key) const { return m_object.contains(QLatin1String(key)); }
    void fail(const QString &why)
    {
        if (m_why.isEmpty())
            m_why = why;
    }

    QString text(const char *key, bool required)
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined() && required)
            fail(QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
        else if (!v.isUndefined() && !v.isString())
            fail(QStringLiteral("\"%1\" is not a string").arg(QLatin1String(key)));
        return v.toString();
    }

    bool flag(const char *key)
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (!v.isUndefined() && !v.isBool())
            fail(QStringLiteral("\"%1\" is not true or false").arg(QLatin1String(key)));
        return v.toBool();
    }

    int number(const char *key, int low, int high)
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        const double d = v.toDouble(-1);
        if (!v.isUndefined() && (!v.isDouble() || d != std::floor(d) || d < low || d > high))
            fail(QStringLiteral("\"%1\" is not a whole number from %2 to %3")
                     .arg(QLatin1String(key))
                     .arg(low)
                     .arg(high));
        return v.isDouble() && ok() ? int(d) : low;
    }

    template <typename T, std::size_t N>
    T choice(const char *key, const Named<T> (&choices)[N], bool required)
    {
        const QString value = text(key, required);
        if (!required && value.isEmpty() && !has(key))
            return choices[0].value;
        for (const Named<T> &c : choices) {
            if (value == QLatin1String(c.name))
                return c.value;
        }
        QStringList known;
        for (const Named<T> &c : choices)
            known << QLatin1String(c.name);
        if (ok())
            fail(QStringLiteral("\"%1\" is \"%2\", not one of %3")
                     .arg(QLatin1String(key), value, known.join(QStringLiteral(", "))));
        return choices[0].value;
    }

private:
    const QJsonObject &m_object;
    QString m_why;
};

bool isPath(const QString &path)
{
    static const QRegularExpression re(QStringLiteral(R"(^/[^\s{}]*$)"));
    return re.match(QString(path).remove(kDate).remove(kCnToken)).hasMatch();
}

std::optional<ListSource> readRow(const QString &id, const QJsonValue &value, QString *why)
{
    static const QRegularExpression idRe(QStringLiteral("^[a-z0-9_-]{1,32}$"));
    if (!idRe.match(id).hasMatch()) {
        *why = QStringLiteral("the key is not 1 to 32 lower-case letters, digits, '-' or '_'");
        return std::nullopt;
    }
    if (!value.isObject()) {
        *why = QStringLiteral("not an object");
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    Fields f(object);
    ListSource row;
    row.id = id;
    row.endpoint = f.text("endpoint", true);
    row.path = f.text("path", true);
    Format &format = row.format;
    format.kind = f.choice("format", kKinds, true);
    format.gzip = f.flag("gzip");
    format.charset = f.choice("charset", kCharsets, false);
    format.timeRule = f.choice("time", kTimeRules, false);
    format.releaseHourUtc = f.number("release_hour_utc", 0, 23);
    format.headerLines = f.number("header_lines", 0, 1000);
    format.nameColumn = f.text("name_column", format.kind == Format::Kind::Csv);
    format.timeColumn = f.text("time_column", false);
    format.arrayKey = f.text("array_key", false);
    format.nameField = f.text("name_field", format.kind == Format::Kind::Json);
    format.timeField = f.text("time_field", false);
    row.filing = f.choice("filing", kFilings, false);

    for (auto it = object.begin(); it != object.end(); ++it) {
        const auto key = std::find_if(std::begin(kKeys), std::end(kKeys), [&](const auto &k) {
            return it.key() == QLatin1String(k.name);
        });
        if (key == std::end(kKeys))
            f.fail(QStringLiteral("unknown key \"%1\"").arg(it.key()));
        else if (key->value && *key->value != format.kind)
            f.fail(QStringLiteral("\"%1\" does not belong to this format").arg(it.key()));
    }
    if (!Endpoints::names().contains(row.endpoint))
        f.fail(QStringLiteral("unknown endpoint \"%1\"").arg(row.endpoint));
    if (!isPath(row.path))
        f.fail(QStringLiteral("the path does not start with '/', or holds a blank or an unknown "
                              "placeholder"));
    const bool timed = format.timeRule != Format::TimeRule::None;
    if ((format.timeRule == Format::TimeRule::DateWithReleaseHourUtc) != f.has("release_hour_utc"))
        f.fail(QStringLiteral("\"release_hour_utc\" goes with \"time\": \"date\", and only there"));
    // A list of lines has its time after the name; the others name where it is.
    const QString &timeKey =
        format.kind == Format::Kind::Csv ? format.timeColumn : format.timeField;
    if (format.kind != Format::Kind::Lines && timed == timeKey.isEmpty())
        f.fail(QStringLiteral("a time column or field goes with \"time\", and only there"));
    if (row.filing != Filing::Names && format.kind != Format::Kind::Lines)
        f.fail(QStringLiteral("only a list of lines is filed by suffix"));
    *why = f.why();
    return f.ok() ? std::optional(row) : std::nullopt;
}

// The "lists" object of a sources file; empty, with a warning, when the file cannot be read.
QJsonObject listsOf(const QByteArray &json, const QString &file, QStringList *warnings)
{
    QString why;
    const QJsonObject lists = SourcesFile::section(json, u"lists", &why);
    if (!why.isEmpty())
        *warnings << QStringLiteral("%1: %2; its lists are left out").arg(file, why);
    return lists;
}

} // namespace

bool ListSource::isDayIndexed() const
{
    return path.contains(kDate) || path.contains(kCnToken);
}

const ListSource *Table::find(const QString &id) const
{
    const auto it = std::find_if(lists.cbegin(), lists.cend(),
                                 [&id](const ListSource &s) { return s.id == id; });
    return it == lists.cend() ? nullptr : &*it;
}

Table merge(const QByteArray &builtIn, const QByteArray &userFile)
{
    Table table;
    QString why;
    const QJsonObject builtInLists =
        listsOf(builtIn, QStringLiteral("the built-in sources table"), &table.warnings);
    for (auto it = builtInLists.begin(); it != builtInLists.end(); ++it) {
        if (std::optional<ListSource> row = readRow(it.key(), it.value(), &why))
            table.lists << *row;
        else
            table.warnings << QStringLiteral("built-in list \"%1\": %2").arg(it.key(), why);
    }
    if (userFile.isEmpty())
        return table;

    const QJsonObject userLists =
        listsOf(userFile, QStringLiteral("sources.json"), &table.warnings);
    QList<ListSource> added;
    for (auto it = userLists.begin(); it != userLists.end(); ++it) {
        const auto builtInRow = std::find_if(table.lists.begin(), table.lists.end(),
                                             [&](const ListSource &s) { return s.id == it.key(); });
        std::optional<ListSource> row = readRow(it.key(), it.value(), &why);
        if (!row) {
            table.warnings << QStringLiteral("sources.json: list \"%1\": %2; %3")
                                  .arg(it.key(), why,
                                       builtInRow == table.lists.end()
                                           ? QStringLiteral("it is left out")
                                           : QStringLiteral("the built-in row stays"));
            continue;
        }
        row->origin = Origin::UserFile;
        if (builtInRow == table.lists.end())
            added << *row;
        else
            *builtInRow = *row;
    }
    table.lists << added;
    return table;
}

Table withUserFile(const QByteArray &userFile)
{
    return merge(SourcesFile::builtIn(), userFile);
}

QString addressOf(const ListSource &source, const QString &hostPort, const QString &path)
{
    return source.filing == Filing::Names ? secureSiteAddress(hostPort, path)
                                          : siteAddress(hostPort, path);
}

QString pathFor(const ListSource &source, const QString &dateText, const QString &cnToken)
{
    return QString(source.path).replace(kDate, dateText).replace(kCnToken, cnToken);
}

} // namespace ListSources
