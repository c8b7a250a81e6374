#include "ListDownload.h"

#include "fetch/SiteAddress.h"
#include "text/Clock.h"

#include <QStandardPaths>

namespace ListDownload {

namespace {

// What the user is told, all in one place.
QString ageText(qint64 seconds)
{
    if (seconds < 3600)
        return QStringLiteral("%1 分钟").arg(seconds / 60);
    if (seconds < 48 * 3600)
        return QStringLiteral("%1 小时").arg(seconds / 3600);
    return QStringLiteral("%1 天").arg(seconds / 86400);
}
QString failedText(const QString &why)
{
    return QStringLiteral("下载失败(%1)").arg(why);
}
QString staleText(const QString &why, qint64 ageSeconds)
{
    return QStringLiteral("下载失败(%1),使用 %2前的缓存").arg(why, ageText(ageSeconds));
}
QString notCachedText(const QString &why)
{
    return QStringLiteral("已下载,但未能缓存(%1)").arg(why);
}

// A day-indexed source is cached per day, so that one day's copy never stands in for another's.
QString cacheKey(const ListSources::ListSource &source, const QString &dateText,
                 const QString &cnToken)
{
    if (!source.isDayIndexed())
        return source.id;
    return source.id + u'_' + (source.path.contains(u"{date}") ? dateText : cnToken);
}

} // namespace

QString defaultCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/lists");
}

QCoro::Task<Outcome> download(PageFetcher *fetcher, Endpoints endpoints,
                              ListSources::ListSource source, QString dateText, QString cnToken,
                              ListCache *cache)
{
    Outcome out;
    out.address = ListSources::addressOf(source, endpoints.host(source.endpoint),
                                         ListSources::pathFor(source, dateText, cnToken));
    const QString key = cacheKey(source, dateText, cnToken);
    const ListCache::Validators validators =
        cache ? cache->validators(key) : ListCache::Validators{};

    const IfChanged ifChanged{validators.ifModifiedSince, validators.ifNoneMatch};
    FetchResult page;
    if (fetcher)
        page = co_await fetcher->fetch(out.address, Charset::Utf8, QByteArray(), ifChanged);
    else
        page.error = QStringLiteral("closing: %1").arg(out.address);
    const QDateTime now = Clock::nowUtc();

    QString why;
    if (page.gotPage()) {
        out.list = DropList::read(page.body, source.format);
        if (out.list.ok()) {
            out.from = Outcome::From::Download;
            if (cache && !cache->store(key, page.body, page.lastModified, page.etag, now, &why))
                out.message = notCachedText(why);
            co_return out;
        }
        why = QStringLiteral("%1: %2").arg(out.list.error, out.address);
    } else if (page.status != FetchResult::Status::NotModified) {
        why = page.error;
    } else if (!cache || !cache->confirm(key, page.lastModified, page.etag, now, &why)) {
        if (why.isEmpty()) // a 304 to a request that asked nothing
            why = page.error;
    }

    // After a 304 the cached copy is current; after a failure it is the last one seen.
    const bool current = why.isEmpty();
    if (const std::optional<ListCache::Copy> copy =
            cache ? cache->cached(key, now) : std::nullopt) {
        out.list = DropList::read(copy->body, source.format);
        if (out.list.ok()) {
            out.from = current ? Outcome::From::Cache : Outcome::From::StaleCache;
            if (!current)
                out.message = staleText(why, copy->ageSeconds);
            co_return out;
        }
        if (current)
            why = out.list.error;
    }
    out.list = {};
    out.from = Outcome::From::Nothing;
    out.message = failedText(why);
    co_return out;
}

} // namespace ListDownload
