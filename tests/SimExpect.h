#pragma once

#include "SimContent.h"
#include "probes/Probes.h"
#include "probes/Recipes.h"

#include <QString>

// What the simulator's page for `domain` must make metric `metricIndex` write.
inline QString expectedCell(int metricIndex, const QString &domain)
{
    const auto orZero = [](const QString &s) { return s.isEmpty() ? QStringLiteral("0") : s; };
    switch (Probes::metric(metricIndex).column) {
    case BaiduSite:
        return orZero(SimContent::baiduCount(domain, true).remove(u' '));
    case BaiduDomain:
        return orZero(SimContent::baiduCount(domain, false).remove(u' '));
    case GoogleSite:
        return orZero(SimContent::googleCount(domain));
    case YahooPages:
        return orZero(SimContent::yahooPages(domain));
    case YahooLinksWww:
        return orZero(SimContent::yahooLinks(QStringLiteral("www.") + domain));
    case YahooLinksBare:
        return orZero(SimContent::yahooLinks(domain));
    case PageRank: {
        const QString rank = SimContent::pageRank(domain);
        if (rank.isEmpty())
            return QStringLiteral("0");
        return SimContent::pageRankFrameEndsWithLineFeed(domain) ? rank + u'\n' : rank;
    }
    case Registration:
        return SimContent::registrable(domain) ? Probes::kRegistrable : Probes::kRegistered;
    }
    return {};
}
