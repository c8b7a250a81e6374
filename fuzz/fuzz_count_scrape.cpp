// The six search-count scrapers on a page decoded in the charset their site uses.
#include "FuzzCheck.h"

#include "fetch/PageFetcher.h"
#include "probes/Recipes.h"
#include "text/Numbers.h"

#include <QRegularExpression>

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

    // The piece is what follows the first count marker, up to the terminator or the next
    // count marker, with the removed characters dropped.
    QString piece;
    const qsizetype start = marker + recipe.countMarker.size();
    const qsizetype next = page.indexOf(recipe.countMarker, start);
    for (QChar c : QStringView(page).sliced(start, (next < 0 ? page.size() : next) - start)) {
        if (QString(c) == recipe.terminator)
            break;
        if (!recipe.removals.contains(QString(c)))
            piece.append(c);
    }
    // The count is the piece, or, when the piece is not a number but holds digits, the first run
    // of digits and separators in it.
    static const QRegularExpression digitRun(QStringLiteral("^[0-9](?:[0-9,]*[0-9])?$"));
    const bool hasDigit = piece.contains(QRegularExpression(QStringLiteral("[0-9]")));
    if (Numbers::cellNumber(piece) || !hasDigit)
        FUZZ_CHECK(count == piece);
    else
        FUZZ_CHECK(piece.contains(count) && digitRun.match(count).hasMatch());
    return 0;
}
