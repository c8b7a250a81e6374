// The six search-count scrapers on a page decoded in the charset their site uses, and the count
// rule itself with a marker and an end text taken from the input, against the reference rule.
#include "FuzzCheck.h"
#include "Reference.h"

#include "fetch/PageFetcher.h"
#include "probes/Recipes.h"
#include "text/Words.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::Input in(data, size);
    const std::span<const ProbeRecipe> recipes = Probes::countRecipes();
    const std::size_t choice = in.byte() % (recipes.size() + 2);
    QString count;
    QString want;
    if (choice < recipes.size()) {
        const ProbeRecipe &recipe = recipes[choice];
        const QString page = PageFetcher::decodeBody(in.rest(), recipe.charset);
        count = Probes::scrapeCount(recipe, page).value_or(kQueryFailed);
        want = page.contains(recipe.presenceMarker)
                   ? Reference::countInPhrase(page, recipe.countMarker, recipe.countEnd)
                   : QStringLiteral("0");
    } else {
        // A recipe a user could write: short texts from the input, the end possibly empty.
        const qsizetype markerSize = in.byte() % 5;
        const qsizetype endSize = in.byte() % 3;
        const QString text = PageFetcher::decodeBody(in.rest(), Charset::Utf8);
        const QString marker = text.left(markerSize);
        const QString end = text.mid(markerSize, endSize);
        const QString page = text.mid(markerSize + endSize);
        count = Probes::countInPhrase(page, marker, end).value_or(kQueryFailed);
        want = Reference::countInPhrase(page, marker, end);
    }
    FUZZ_CHECK(count == want);

    // Whatever the page says, a cell holds a count, "0" or the failure: never other text.
    static const QRegularExpression number(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+|[0-9]{1,3}(?:,[0-9]{3})+")));
    FUZZ_CHECK(count == kQueryFailed || number.match(count).hasMatch());
    return 0;
}
