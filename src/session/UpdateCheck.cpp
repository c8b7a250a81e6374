#include "UpdateCheck.h"

#include "fetch/PageFetcher.h"
#include "fetch/SiteAddress.h"

namespace UpdateCheck {

QCoro::Task<bool> newerVersionAvailable(PageFetcher *fetcher, Endpoints endpoints)
{
    const FetchResult version = co_await fetcher->fetch(
        siteAddress(endpoints.maker, u"/varnel/shenji.txt"), Charset::Gb2312);
    co_return version.gotPage() && version.text.contains(u"9.3");
}

QString productPageAddress(const Endpoints &endpoints)
{
    return siteAddress(endpoints.maker, u"/varnel/");
}

} // namespace UpdateCheck
