#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "table/Columns.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>

// What one search-count probe asks and where in the answer it finds the count.
struct ProbeRecipe {
    QString name; // the probe's short name, e.g. "baidufl"
    ProbeColumn column;
    Charset charset;
    QString Endpoints::*endpoint;
    QString pathAndQuery; // the domain is appended directly
    QString presenceMarker;
    QString countMarker;
    QString terminator;
    QStringList removals;
};

namespace Probes {

// The six search-count recipes, in column order.
std::span<const ProbeRecipe> countRecipes();
// The recipe writing `column`, or nullptr for the PageRank and registration columns.
const ProbeRecipe *countRecipe(int column);

// The search page a count comes from; the grid's double-click opens the same address.
QString recipeUrl(const ProbeRecipe &recipe, const Endpoints &endpoints, const QString &domain);

// The count as the page printed it, or "0" when the page shows none.
QString scrapeCount(const ProbeRecipe &recipe, QStringView page);

inline const QString kRegistrationPath = QStringLiteral("/cgi-bin/check.cgi?area_domain=");
inline const QString kRegistrable = QStringLiteral("可注册");
inline const QString kRegistered = QStringLiteral("已被注册");
QString registrationUrl(const Endpoints &endpoints, const QString &domain);
QString scrapeRegistration(QStringView page);

inline const QString kPageRankPath = QStringLiteral("/?PRAddress=");
QString pageRankUrl(const Endpoints &endpoints, const QString &domain);
// The address of the answer frame on the tool's page (without "http://"), if it has one.
std::optional<QString> pageRankFrameAddress(QStringView toolPage);
QString scrapePageRank(QStringView answerPage);

} // namespace Probes
