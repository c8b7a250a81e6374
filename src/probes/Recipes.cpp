#include "Recipes.h"

#include "fetch/SiteAddress.h"
#include "probes/Probes.h"
#include "text/Numbers.h"
#include "text/Scrape.h"
#include "text/SourcesFile.h"
#include "text/Words.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

const QString kName = QStringLiteral("{name}");

} // namespace

QString ProbeRecipe::pathTemplate() const
{
    return pathAndQuery + kName + afterName;
}

namespace Probes {

namespace {

// Every key an entry may have; an unknown key is refused, so that a misspelt "none_markers"
// cannot pass unnoticed.
const QLatin1String kKeys[] = {
    QLatin1String("endpoint"),        QLatin1String("path"),          QLatin1String("charset"),
    QLatin1String("presence_marker"), QLatin1String("count_marker"),  QLatin1String("count_end"),
    QLatin1String("none_markers"),    QLatin1String("block_markers"),
};
const QLatin1String kApiKeys[] = {QLatin1String("endpoint"), QLatin1String("path"),
                                  QLatin1String("pacing_ms")};

// Reads one entry's fields, keeping the first complaint.
class Fields {
public:
    explicit Fields(const QJsonObject &object)
        : m_object(object)
    {
    }

    const QString &why() const { return m_why; }
    void fail(const QString &why)
    {
        if (m_why.isEmpty())
            m_why = why;
    }

    // A missing optional text is null; a present one is never empty unless `mayBeEmpty`.
    QString text(QLatin1String key, bool required, bool mayBeEmpty = false)
    {
        const QJsonValue v = m_object.value(key);
        if (v.isUndefined()) {
            if (required)
                fail(QStringLiteral("\"%1\" is missing").arg(key));
            return {};
        }
        if (!v.isString() || (!mayBeEmpty && v.toString().isEmpty()))
            fail(QStringLiteral("\"%1\" is not a text of one character or more").arg(key));
        return v.toString();
    }

    // Empty texts would match every page: a none marker would zero each count, a block marker
    // refuse each answer.
    QStringList texts(QLatin1String key)
    {
        const QJsonValue v = m_object.value(key);
        QStringList out;
        for (const QJsonValue item : v.toArray()) {
            if (!item.isString() || item.toString().isEmpty())
                break;
            out << item.toString();
        }
        if (!v.isArray() || out.size() != v.toArray().size())
            fail(QStringLiteral("\"%1\" is not a list of texts of one character or more").arg(key));
        return out;
    }

private:
    const QJsonObject &m_object;
    QString m_why;
};

std::optional<ProbeRecipe> readRecipe(const ProbeRecipe &shape, const QJsonValue &value,
                                      QString *why)
{
    if (!value.isObject()) {
        *why = QStringLiteral("not an object");
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    Fields f(object);
    ProbeRecipe r;
    r.metric = shape.metric;
    r.column = shape.column;
    r.kind = shape.kind;
    r.endpoint = f.text(QLatin1String("endpoint"), true);
    const QString path = f.text(QLatin1String("path"), true);
    const bool api = r.kind == ProbeRecipe::Kind::Api;
    const QString charset = api ? QStringLiteral("utf-8") : f.text(QLatin1String("charset"), true);
    if (api) {
        // An entry without its own pacing keeps the built-in one.
        r.pacingMs = shape.pacingMs;
        const QJsonValue pacing = object.value(QLatin1String("pacing_ms"));
        if (!pacing.isUndefined()) {
            const double ms = pacing.toDouble(-1);
            if (!pacing.isDouble() || ms < 0 || ms > 600'000 || ms != std::floor(ms))
                f.fail(QStringLiteral("\"pacing_ms\" is not a whole number from 0 to 600000"));
            r.pacingMs = int(ms);
        }
    } else {
        r.countMarker = f.text(QLatin1String("count_marker"), true);
        r.presenceMarker = f.text(QLatin1String("presence_marker"), false);
        if (r.presenceMarker.isNull())
            r.presenceMarker = r.countMarker;
        r.countEnd = f.text(QLatin1String("count_end"), true, true);
        r.noneMarkers = f.texts(QLatin1String("none_markers"));
        r.blockMarkers = f.texts(QLatin1String("block_markers"));
    }

    const std::span<const QLatin1String> keys =
        api ? std::span<const QLatin1String>(kApiKeys) : std::span<const QLatin1String>(kKeys);
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (std::find(keys.begin(), keys.end(), it.key()) == keys.end())
            f.fail(QStringLiteral("unknown key \"%1\"").arg(it.key()));
    }
    if (!Endpoints::names().contains(r.endpoint))
        f.fail(QStringLiteral("unknown endpoint \"%1\"").arg(r.endpoint));
    static const QRegularExpression pathRe(QStringLiteral(R"(^/[^\s{}]*$)"));
    const qsizetype name = path.indexOf(kName);
    if (path.count(kName) != 1 || !pathRe.match(QString(path).remove(kName)).hasMatch())
        f.fail(QStringLiteral("the path does not start with '/', holds a blank, or does not hold "
                              "\"{name}\" once and no other placeholder"));
    r.pathAndQuery = path.left(name);
    r.afterName = path.mid(name + kName.size());
    if (charset == u"gb2312")
        r.charset = Charset::Gb2312;
    else if (charset == u"utf-8")
        r.charset = Charset::Utf8;
    else
        f.fail(QStringLiteral("\"charset\" is \"%1\", not one of gb2312, utf-8").arg(charset));
    *why = f.why();
    return why->isEmpty() ? std::optional(r) : std::nullopt;
}

// The "probes" object of a sources file; empty, with a warning, when the file cannot be read.
QJsonObject probesOf(const QByteArray &json, const QString &file, QStringList *warnings)
{
    QString why;
    const QJsonObject probes = SourcesFile::section(json, u"probes", &why);
    if (!why.isEmpty())
        *warnings << QStringLiteral("%1: %2; the built-in probe recipes stay").arg(file, why);
    return probes;
}

} // namespace

namespace {

const ProbeRecipe *writing(const QList<ProbeRecipe> &list, int column)
{
    const auto it = std::find_if(list.cbegin(), list.cend(),
                                 [column](const ProbeRecipe &r) { return r.column == column; });
    return it == list.cend() ? nullptr : &*it;
}

} // namespace

const ProbeRecipe *RecipeTable::find(int column) const
{
    return writing(recipes, column);
}

const ProbeRecipe *RecipeTable::api(int column) const
{
    return writing(apis, column);
}

RecipeTable mergeRecipes(const QByteArray &builtIn, const QByteArray &userFile)
{
    RecipeTable table;
    QString why;
    const QJsonObject builtInRows =
        probesOf(builtIn, QStringLiteral("the built-in sources table"), &table.warnings);
    for (int k = 0; k < kMetricBoxCount; ++k) {
        const MetricChoice &m = metric(k);
        const bool count = m.site == Site::Baidu || m.site == Site::Google || m.site == Site::Yahoo;
        const bool api = m.site == Site::Archive || m.site == Site::Doh;
        if (!count && !api)
            continue;
        ProbeRecipe shape;
        shape.metric = m.probe;
        shape.column = *m.column;
        shape.kind = api ? ProbeRecipe::Kind::Api : ProbeRecipe::Kind::Count;
        std::optional<ProbeRecipe> row = readRecipe(shape, builtInRows.value(m.probe), &why);
        if (!row)
            qFatal("the built-in probe recipe \"%s\" is broken: %s", qPrintable(m.probe),
                   qPrintable(why));
        (api ? table.apis : table.recipes) << *row;
    }
    if (userFile.isEmpty())
        return table;

    const QJsonObject userRows =
        probesOf(userFile, QStringLiteral("sources.json"), &table.warnings);
    for (auto it = userRows.begin(); it != userRows.end(); ++it) {
        ProbeRecipe *builtInRow = nullptr;
        for (QList<ProbeRecipe> *list : {&table.recipes, &table.apis}) {
            for (ProbeRecipe &r : *list) {
                if (r.metric == it.key())
                    builtInRow = &r;
            }
        }
        if (!builtInRow) {
            table.warnings << QStringLiteral("sources.json: probe \"%1\": no metric with a recipe "
                                             "has this name; it is left out")
                                  .arg(it.key());
            continue;
        }
        std::optional<ProbeRecipe> row = readRecipe(*builtInRow, it.value(), &why);
        if (!row) {
            table.warnings << QStringLiteral("sources.json: probe \"%1\": %2; the built-in "
                                             "recipe stays")
                                  .arg(it.key(), why);
            continue;
        }
        row->origin = Origin::UserFile;
        *builtInRow = *row;
    }
    return table;
}

const RecipeTable &builtInRecipes()
{
    // Read once: the table is part of the program and cannot change while it runs.
    static const RecipeTable table = [] {
        RecipeTable read = mergeRecipes(SourcesFile::builtIn(), {});
        if (!read.warnings.isEmpty())
            qFatal("the built-in sources table is broken: %s", qPrintable(read.warnings.first()));
        return read;
    }();
    return table;
}

RecipeTable recipesWithUserFile(const QByteArray &userFile)
{
    return mergeRecipes(SourcesFile::builtIn(), userFile);
}

std::span<const ProbeRecipe> countRecipes()
{
    return builtInRecipes().recipes;
}

const ProbeRecipe *countRecipe(int column)
{
    return builtInRecipes().find(column);
}

QString recipeUrl(const ProbeRecipe &recipe, const Endpoints &endpoints, const QString &domain)
{
    return secureSiteAddress(endpoints.host(recipe.endpoint), recipe.pathAndQuery, domain) +
           recipe.afterName;
}

std::optional<QString> scrapeCount(const ProbeRecipe &recipe, QStringView page)
{
    const bool saysNone = std::any_of(recipe.noneMarkers.cbegin(), recipe.noneMarkers.cend(),
                                      [page](const QString &m) { return page.contains(m); });
    if (saysNone || !page.contains(recipe.presenceMarker))
        return QStringLiteral("0");
    return countInPhrase(page, recipe.countMarker, recipe.countEnd);
}

std::optional<QString> countInPhrase(QStringView page, QStringView marker, QStringView end)
{
    const std::optional<QString> found = Scrape::pieceAfter(page, marker);
    if (!found)
        return QStringLiteral("0");
    const QStringView piece(*found);
    qsizetype at = 0;
    const auto skipBlanks = [&] {
        while (at < piece.size() && piece[at].isSpace())
            ++at;
    };
    skipBlanks();
    for (int words = 0; words < 3 && at < piece.size() && piece[at].isLetter(); ++words) {
        ++at;
        skipBlanks();
    }
    if (at == piece.size() || !Numbers::isAsciiDigit(piece[at]))
        return std::nullopt;

    // Blanks inside the number are dropped; the number ends at its last digit or comma.
    QString number;
    qsizetype numberEnd = at;
    for (; at < piece.size(); ++at) {
        const QChar c = piece[at];
        if (Numbers::isAsciiDigit(c) || c == u',') {
            number += c;
            numberEnd = at + 1;
        } else if (!c.isSpace()) {
            break;
        }
    }
    bool closed = end.isEmpty();
    for (qsizetype k = numberEnd; k <= at && !closed; ++k)
        closed = piece.sliced(k).startsWith(end);

    const QList<QStringView> groups = QStringView(number).split(u',');
    const bool grouped =
        groups.size() == 1 ||
        (groups.front().size() <= 3 && std::all_of(groups.begin() + 1, groups.end(),
                                                   [](QStringView g) { return g.size() == 3; }));
    if (!closed || !grouped)
        return std::nullopt;
    return number;
}

QString registrationUrl(const Endpoints &endpoints, const QString &domain)
{
    return siteAddress(endpoints.registrar, kRegistrationPath, domain);
}

QString scrapeRegistration(QStringView page)
{
    return page.contains(u"original>210") ? kRegistrable : kRegistered;
}

QString pageRankUrl(const Endpoints &endpoints, const QString &domain)
{
    return siteAddress(endpoints.pagerank, kPageRankPath, domain);
}

std::optional<QString> pageRankFrameAddress(QStringView toolPage)
{
    const std::optional<QString> piece = Scrape::pieceAfter(toolPage, kPageRankFrameMarker);
    if (!piece)
        return std::nullopt;
    return Scrape::cutAt(*piece, u"\"");
}

std::optional<QString> scrapePageRank(QStringView answerPage)
{
    const std::optional<QString> piece = Scrape::pieceAfter(answerPage, u"Rank_");
    if (!piece)
        return std::nullopt;
    const QString rank = Scrape::removeAll(*piece, {QStringLiteral("1:1:")}).trimmed();
    // toInt takes signs and leading zeros too; a rank is written plain.
    bool isNumber = false;
    const int value = rank.toInt(&isNumber);
    if (!isNumber || value < 0 || value > 10 || rank != QString::number(value))
        return std::nullopt;
    return rank;
}

bool frameHostAllowed(const QString &frameAddress, const QString &configured)
{
    const QUrl frame(QStringLiteral("http://") + frameAddress);
    const QUrl site(QStringLiteral("http://") + configured);
    const QString host = frame.host();
    const QString siteHost = site.host();
    if (!frame.isValid() || host.isEmpty() || frame.port(80) != site.port(80))
        return false;
    if (host == siteHost)
        return true;
    if (!QHostAddress(siteHost).isNull() || !QHostAddress(host).isNull())
        return false;
    const qsizetype firstDot = siteHost.indexOf(u'.');
    const QString parent = siteHost.mid(firstDot + 1);
    return firstDot > 0 && parent.contains(u'.') && host.endsWith(u'.' + parent);
}

} // namespace Probes
