#pragma once

#include <QString>

// Written instead of a value when a site gave no answer at all, so that a failed query is never
// mistaken for a real zero (or "registered") and thinned away by the filter.
inline const QString kQueryFailed = QStringLiteral("查询失败");
