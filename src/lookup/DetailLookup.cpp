#include "DetailLookup.h"

#include "lookup/DetailScrape.h"
#include "probes/Recipes.h"

DetailLookup::DetailLookup(PageFetcher *fetcher, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
{
}

QCoro::Task<void> DetailLookup::LookUpDomainDetail(QString domain)
{
    const quint64 generation = ++m_generation;
    for (int k : {1, 3, 5, 6})
        Q_EMIT dateValue(k, kReset);
    Q_EMIT filingValue(kReset);
    if (domain.isEmpty()) {
        Q_EMIT emptyInput();
        co_return;
    }
    if (!m_fetcher)
        co_return;

    QPointer<DetailLookup> self(this);
    const FetchResult dates =
        co_await m_fetcher->FetchUtf8(QStringLiteral("http://") + m_endpoints.deletionTool +
                                      QStringLiteral("/DomainDel/?wd=") + domain);
    if (!self || generation != m_generation)
        co_return;
    if (!dates.gotPage())
        Q_EMIT fetchFailed(dates.error);
    const DetailScrape::DeletionInfo info = DetailScrape::scrapeDeletionPage(dates.text);
    if (info.noInformation) {
        for (int k : {1, 3, 5, 6})
            Q_EMIT dateValue(k, kNoInformation);
    } else {
        for (int k = 1; k <= 5; ++k) {
            if (info.cells[k])
                Q_EMIT dateValue(k, *info.cells[k]);
        }
        if (info.countdown)
            Q_EMIT dateValue(6, *info.countdown);
    }

    if (!m_fetcher)
        co_return;
    const FetchResult filing = co_await m_fetcher->FetchGb2312(
        QStringLiteral("http://") + m_endpoints.icp + QStringLiteral("/s?keytype=0&q=") + domain);
    if (!self || generation != m_generation)
        co_return;
    if (!filing.gotPage()) {
        // Not being able to ask is not the same as "not filed".
        Q_EMIT fetchFailed(filing.error);
        Q_EMIT filingValue(kQueryFailed);
        co_return;
    }
    const DetailScrape::FilingResult result = DetailScrape::scrapeFilingPage(filing.text);
    if (result.kind == DetailScrape::FilingResult::Filed)
        Q_EMIT filingValue(result.number);
    else if (result.kind == DetailScrape::FilingResult::NotFiled)
        Q_EMIT filingValue(kNotFiled);
}
