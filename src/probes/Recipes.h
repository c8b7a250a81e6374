#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "table/Columns.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>

namespace Probes {

enum class Origin { BuiltIn, UserFile };

} // namespace Probes

// What one probe asks, a row of the "probes" object of the sources table keyed by the metric's
// short name: for a search count, where in the answer it finds the count; for a public JSON API
// (the archive, the resolver), only where to ask and how often.
struct ProbeRecipe {
    enum class Kind { Count, Api };

    QString metric; // "baidu", "yahooflwww", "archive"
    ProbeColumn column;
    Kind kind = Kind::Count;
    QString endpoint; // one of Endpoints::names()
    // The path template split at its "{name}": the name, percent-encoded, stands between.
    QString pathAndQuery;
    QString afterName;
    Charset charset;
    // A page without it is no report of this kind and reads zero ("presence_marker", the count
    // marker when the entry gives none).
    QString presenceMarker;
    QString countMarker;
    QString countEnd;         // the text that closes the count's phrase
    QStringList noneMarkers;  // texts of a page that reports no results
    QStringList blockMarkers; // texts of the site's page refusing automated queries
    // An API's least time between two requests ("pacing_ms"); the settings' [pacing] outranks it.
    std::optional<int> pacingMs;
    Probes::Origin origin = Probes::Origin::BuiltIn;

    QString pathTemplate() const;
    bool operator==(const ProbeRecipe &) const = default;
};

namespace Probes {

// The six search-count recipes and the two API recipes, each in column order, and what kept a
// user's entry out.
struct RecipeTable {
    QList<ProbeRecipe> recipes;
    QList<ProbeRecipe> apis;
    // One line for each entry or file that could not be used, naming its key.
    QStringList warnings;

    // The count recipe writing `column`, or nullptr for a column no search count fills.
    const ProbeRecipe *find(int column) const;
    // The API recipe writing `column` first, or nullptr.
    const ProbeRecipe *api(int column) const;
};

// The "probes" object of `builtIn` (the sources table's shape), each row replaced by the user's
// entry of the same key when that entry is valid. An invalid entry, or one for no count metric,
// warns and changes nothing. An empty `userFile` is no file; a built-in table that is not
// complete is a broken build.
RecipeTable mergeRecipes(const QByteArray &builtIn, const QByteArray &userFile);
// The table built into the program.
const RecipeTable &builtInRecipes();
// mergeRecipes() over the built-in table.
RecipeTable recipesWithUserFile(const QByteArray &userFile);

// The built-in recipes, in column order.
std::span<const ProbeRecipe> countRecipes();
// The built-in recipe writing `column`, or nullptr for the PageRank and registration columns.
const ProbeRecipe *countRecipe(int column);

// The search page a count comes from (the grid's double-click opens the same address), or the API
// answer a metric reads.
QString recipeUrl(const ProbeRecipe &recipe, const Endpoints &endpoints, const QString &domain);

// The count as the page printed it; "0" when the page holds a none marker, lacks the presence
// marker or lacks the count marker; nullopt (a failure) when it holds the recipe's phrase without
// a count in it.
std::optional<QString> scrapeCount(const ProbeRecipe &recipe, QStringView page);

// The count in the phrase after the first `marker`, up to the next one: blanks and at most three
// letters ("约", "数约"), then ASCII digits, plain or grouped by commas in threes, with blanks
// between them dropped, then blanks and `end` (any end when `end` is empty). "0" without the
// marker; nullopt (a failure) for anything else, so that a number from elsewhere on the page (a
// year, a style's pixels) never becomes a count.
std::optional<QString> countInPhrase(QStringView page, QStringView marker, QStringView end);

inline const QString kRegistrationPath = QStringLiteral("/cgi-bin/check.cgi?area_domain=");
// What every answer of the availability check holds, available or not.
inline const QString kRegistrationAnswerMarker = QStringLiteral("original>");
QString registrationUrl(const Endpoints &endpoints, const QString &domain);
QString scrapeRegistration(QStringView page);

inline const QString kPageRankPath = QStringLiteral("/?PRAddress=");
inline const QString kPageRankFrameMarker = QStringLiteral("<iframe src=\"http://");
QString pageRankUrl(const Endpoints &endpoints, const QString &domain);
// The address of the answer frame on the tool's page (without "http://"), if it has one.
std::optional<QString> pageRankFrameAddress(QStringView toolPage);
// The rank after the first "Rank_" and its "1:1:", blanks around it dropped: "0" to "10", or
// nullopt (a failure) for anything else the frame answers.
std::optional<QString> scrapePageRank(QStringView answerPage);
// Whether the answer frame at `frameAddress` (host[:port]/path) lies on the configured PageRank
// site `configured` (host[:port]): the same host and port, or a host under the configured host's
// parent domain when that has at least two labels (pr.chinaz.com admits *.chinaz.com). An IP
// address must match exactly.
bool frameHostAllowed(const QString &frameAddress, const QString &configured);

} // namespace Probes
