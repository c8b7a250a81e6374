#pragma once

#include <QString>

// Written instead of a value when a site gave no answer at all, or an error page, so that a
// failed query is never mistaken for a real zero (or "registered") and thinned away by the filter.
inline const QString kQueryFailed = QStringLiteral("查询失败");

// Written when the site answered that it refuses automated queries (a block or captcha page):
// asking again later, more slowly, may work.
inline const QString kQueryRefused = QStringLiteral("查询受限");
