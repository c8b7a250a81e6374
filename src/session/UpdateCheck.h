#pragma once

#include "fetch/Endpoints.h"

#include <QString>

#include <QCoroTask>

class PageFetcher;

// The one check for a newer version, a few seconds after the window opens.
namespace UpdateCheck {

inline constexpr int kDelayMs = 3000;
inline const QString kTitle = QStringLiteral("发现最新版本");
inline const QString kQuestion = QStringLiteral("发现最新版本，是否更新？");

// Whether the maker's version file mentions the newer version. A substring test only: nothing
// is parsed or compared. A file that cannot be fetched says no.
QCoro::Task<bool> newerVersionAvailable(PageFetcher *fetcher, Endpoints endpoints);

// The product page the offer opens in the browser.
QString productPageAddress(const Endpoints &endpoints);

} // namespace UpdateCheck
