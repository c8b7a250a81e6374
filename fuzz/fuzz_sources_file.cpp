// A user's sources.json over the built-in table. Whatever the file holds, every built-in list
// stays, in its place, changed only by a valid entry; every row is one the program can use; and
// each list the file adds or changes reads the same bytes as a body. The same holds for the six
// probe recipes, which the file can change but never add to: each builds an address on its
// endpoint's host, and each the file changes reads the same bytes as a page.
#include "FuzzCheck.h"

#include "fetch/Endpoints.h"
#include "probes/Recipes.h"
#include "sources/ListSources.h"

#include <QRegularExpression>
#include <QUrl>

using ListSources::Origin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const ListSources::Table builtIn = ListSources::withUserFile({});
    static const QStringList endpoints = Endpoints::names();
    FUZZ_CHECK(builtIn.warnings.isEmpty() && !builtIn.lists.isEmpty());

    const QByteArray user(reinterpret_cast<const char *>(data), qsizetype(size));
    const ListSources::Table table = ListSources::withUserFile(user);
    FUZZ_CHECK(table.lists.size() >= builtIn.lists.size());
    for (qsizetype i = 0; i < table.lists.size(); ++i) {
        const ListSources::ListSource &row = table.lists[i];
        if (i < builtIn.lists.size()) {
            FUZZ_CHECK(row.id == builtIn.lists[i].id);
            FUZZ_CHECK(row.origin == Origin::UserFile || row == builtIn.lists[i]);
        } else {
            FUZZ_CHECK(row.origin == Origin::UserFile && !builtIn.find(row.id));
            FUZZ_CHECK(table.find(row.id) == &row);
        }
        FUZZ_CHECK(endpoints.contains(row.endpoint) && row.path.startsWith(u'/'));
        FUZZ_CHECK(row.format.releaseHourUtc >= 0 && row.format.releaseHourUtc <= 23);
        const QString path =
            ListSources::pathFor(row, QStringLiteral("2026-12-08"), QStringLiteral("1todayDel"));
        FUZZ_CHECK(!path.contains(u'{') && (path != row.path) == row.isDayIndexed());
        if (row.origin == Origin::UserFile) {
            const DropList::Result r = DropList::read(user, row.format);
            FUZZ_CHECK(r.records == r.entries.size() + r.duplicates + r.skipped);
        }
    }
    for (const QString &warning : table.warnings)
        FUZZ_CHECK(warning.startsWith(u"sources.json: "));

    const Probes::RecipeTable &builtInRecipes = Probes::builtInRecipes();
    const Probes::RecipeTable recipes = Probes::recipesWithUserFile(user);
    FUZZ_CHECK(recipes.recipes.size() == builtInRecipes.recipes.size());
    static const Endpoints hosts = Endpoints::allAt(QStringLiteral("127.0.0.1:8"));
    const QString name = QStringLiteral("a&b c#d.com");
    for (qsizetype i = 0; i < recipes.recipes.size(); ++i) {
        const ProbeRecipe &r = recipes.recipes[i];
        FUZZ_CHECK(r.column == builtInRecipes.recipes[i].column && recipes.find(r.column) == &r);
        FUZZ_CHECK(r.origin == Probes::Origin::UserFile || r == builtInRecipes.recipes[i]);
        FUZZ_CHECK(endpoints.contains(r.endpoint) && r.pathAndQuery.startsWith(u'/'));
        FUZZ_CHECK(!r.countMarker.isEmpty() && !r.presenceMarker.isEmpty());
        FUZZ_CHECK(!r.noneMarkers.contains(QString()) && !r.blockMarkers.contains(QString()));
        const QUrl url(Probes::recipeUrl(r, hosts, name));
        FUZZ_CHECK(url.isValid() && url.host() == u"127.0.0.1" && url.port() == 8);
        static const QRegularExpression count(QStringLiteral("^[0-9][0-9,]*$"));
        if (r.origin == Probes::Origin::UserFile) {
            const std::optional<QString> read = Probes::scrapeCount(r, QString::fromUtf8(user));
            FUZZ_CHECK(!read || count.match(*read).hasMatch());
        }
    }
    for (const QString &warning : recipes.warnings)
        FUZZ_CHECK(warning.startsWith(u"sources.json: "));
    return 0;
}
