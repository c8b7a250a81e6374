// The six search-count scrapers on a page decoded in the charset their site uses.
#include "FuzzCheck.h"

#include "fetch/PageFetcher.h"
#include "probes/Recipes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::Input in(data, size);
    const std::span<const ProbeRecipe> recipes = Probes::countRecipes();
    const ProbeRecipe &recipe = recipes[in.byte() % recipes.size()];
    const QString page = PageFetcher::decodeBody(in.rest(), recipe.charset);
    const QString count = Probes::scrapeCount(recipe, page);

    const qsizetype marker = page.indexOf(recipe.countMarker);
    if (!page.contains(recipe.presenceMarker) || marker < 0) {
        FUZZ_CHECK(count == u"0");
        return 0;
    }

    // Terminators and removals are single characters, so taking characters out can neither
    // leave one of them behind nor make a new one.
    FUZZ_CHECK(recipe.terminator.size() == 1);
    FUZZ_CHECK(!count.contains(recipe.terminator));
    for (const QString &removal : recipe.removals) {
        FUZZ_CHECK(removal.size() == 1);
        FUZZ_CHECK(!count.contains(removal));
    }

    // The count is what follows the first count marker, with the removed characters dropped.
    QString after;
    for (QChar c : QStringView(page).sliced(marker + recipe.countMarker.size())) {
        if (!recipe.removals.contains(QString(c)))
            after.append(c);
    }
    FUZZ_CHECK(Fuzz::startsWith(after, count));
    if (recipe.removals.isEmpty())
        FUZZ_CHECK(!count.contains(recipe.countMarker));
    return 0;
}
