#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "table/Columns.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <span>

// What one search-count probe asks and where in the answer it finds the count.
struct ProbeRecipe {
    ProbeColumn column;
    Charset charset;
    QString Endpoints::*endpoint;
    QString pathAndQuery; // the domain is appended directly
    QString presenceMarker;
    QString countMarker;
    QString countEnd; // the text that closes the count's phrase
};

namespace Probes {

// The six search-count recipes, in column order.
std::span<const ProbeRecipe> countRecipes();
// The recipe writing `column`, or nullptr for the PageRank and registration columns.
const ProbeRecipe *countRecipe(int column);

// The search page a count comes from; the grid's double-click opens the same address.
QString recipeUrl(const ProbeRecipe &recipe, const Endpoints &endpoints, const QString &domain);

// The count as the page printed it, "0" when the page shows none, or nullopt (a failure) when the
// page holds the recipe's phrase without a count in it.
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
