// A user's sources.json over the built-in table. Whatever the file holds, every built-in list
// stays, in its place, changed only by a valid entry; every row is one the program can use; and
// each list the file adds or changes reads the same bytes as a body.
#include "FuzzCheck.h"

#include "fetch/Endpoints.h"
#include "sources/ListSources.h"

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
    return 0;
}
