#pragma once

#include "fetch/Endpoints.h"
#include "fetch/PageFetcher.h"
#include "sources/DropList.h"
#include "sources/ListCache.h"
#include "sources/ListSources.h"

#include <QString>

#include <QCoroTask>

// One list source downloaded politely and read: the cached copy's validators go with the
// request, so that an unchanged list costs the registry a 304, and a failed download still gives
// the list last seen, saying how old it is.
namespace ListDownload {

struct Outcome {
    enum class From {
        Download,   // a fresh copy, now cached
        Cache,      // the registry answered 304: the cached copy is current
        StaleCache, // the download failed; the cached copy was read instead
        Nothing,    // the download failed and no readable copy was cached
    };

    From from = From::Nothing;
    DropList::Result list; // no entries when from is Nothing
    QString address;       // what was asked
    // For the user: why there is nothing, the stale copy's age, or a copy that could not be
    // cached; empty when all went well.
    QString message;

    bool ok() const { return from != From::Nothing; }
};

// Where downloaded lists are kept between runs: "lists" in the program's cache folder.
QString defaultCacheFolder();

// Downloads `source` from its endpoint, filling a day-indexed path with `dateText` and
// `cnToken`; public hosts are asked over HTTPS, this machine over plain HTTP. `cache` may be
// null: then nothing is sent conditionally or kept. A body that cannot be read is a failed
// download, and is not cached over a good copy.
QCoro::Task<Outcome> download(PageFetcher *fetcher, Endpoints endpoints,
                              ListSources::ListSource source, QString dateText, QString cnToken,
                              ListCache *cache);

} // namespace ListDownload
