#pragma once

#include "fetch/PageFetcher.h"
#include "text/Words.h"

#include <QStringList>
#include <QStringView>

// How a site says it will answer no more automated queries. After a few dozen rapid queries a
// search engine answers with a block or captcha page; read as a page, it would become "0".
struct RefusalSigns {
    QStringList markers;         // texts of the site's own block page
    QString finalPathContains;   // a redirect ending on a path that holds this
    QString finalPathStartsWith; // a redirect ending on a path that starts with this
};

enum class Verdict {
    Page,    // an answer to read
    Refused, // the site refused us: 429, a 403/503 block page, or a block page at 200
    Failed,  // no answer, or an error page
};

// Judges an answer. A 200 page that merely mentions a block marker but carries `ownMarker` (the
// reader's own marker, e.g. the count phrase) is still a page. Generic markers ("验证码",
// "访问过于频繁") count for every site.
Verdict judgeAnswer(const FetchResult &answer, const RefusalSigns &signs, QStringView ownMarker);

// Refused or Failed for a verdict that is not a page.
CellState verdictState(Verdict verdict);
// "查询受限" or "查询失败" for a verdict that is not a page.
QString verdictText(Verdict verdict);
