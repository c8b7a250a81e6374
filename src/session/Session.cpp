#include "Session.h"

#include "fetch/PageFetcher.h"
#include "fetch/ProxyUrl.h"
#include "fetch/SiteAddress.h"
#include "lookup/DetailLookup.h"
#include "probes/QueryRun.h"
#include "session/Clock.h"
#include "session/StartOptions.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "table/ResultTable.h"

#include <QNetworkProxyFactory>

Session::Session(const Endpoints &endpoints, QObject *parent)
    : QObject(parent)
    , m_endpoints(endpoints)
    , m_fetcher(new PageFetcher(this))
    , m_grid(new ResultTable(this))
    , m_run(new QueryRun(m_grid, m_fetcher, this))
    , m_lists(new DeletionLists(m_fetcher, Clock::today(), this))
    , m_lookup(new DetailLookup(m_fetcher, this))
{
    m_run->setEndpoints(endpoints);
    m_lists->setEndpoints(endpoints);
    m_lookup->setEndpoints(endpoints);
    // An empty grid shows one blank row until the first import.
    RowCells placeholder;
    placeholder.fill(kBlankCell);
    m_grid->appendRows({placeholder});
}

Session::~Session()
{
    shutDown();
}

void Session::shutDown()
{
    m_run->abandon();
    m_fetcher->shutDown();
}

QStringList Session::configure(const StartOptions &options)
{
    options.applyTo(*m_fetcher);
    for (int s = 0; s < Probes::kSiteCount; ++s)
        m_run->setPacing(Probes::Site(s), options.settings.pacingMs(Probes::Site(s), m_endpoints));
    m_run->setBackoff(options.settings.backoff);
    QStringList notices = options.settings.warnings;
    if (options.proxy && options.proxy->type() != QNetworkProxy::NoProxy) {
        notices << QStringLiteral("使用代理：") + proxyDisplayUrl(*options.proxy);
    } else if (!options.proxy) {
        const QList<QNetworkProxy> system = QNetworkProxyFactory::systemProxyForQuery(
            QNetworkProxyQuery(QUrl(siteAddress(m_endpoints.baidu, u"/"))));
        if (!system.isEmpty() && system.first().type() != QNetworkProxy::NoProxy &&
            system.first().type() != QNetworkProxy::DefaultProxy)
            notices << QStringLiteral("使用系统代理：") + proxyDisplayUrl(system.first());
    }
    return notices;
}

void Session::breakDown(int suffixIndex)
{
    if (suffixIndex < 0 || suffixIndex >= Sources::kSourceCount)
        return;
    m_categories = Sources::lengthBreakdown(m_lists->list(suffixIndex), suffixIndex);
    Q_EMIT categoriesChanged();
}

void Session::importCategory(int category)
{
    if (category < 0 || category >= Sources::kCategoryCount)
        return;
    if (m_run->isBusy())
        m_run->abandon();
    Sources::importCategory(*m_grid, m_categories[std::size_t(category)]);
    Q_EMIT imported(m_grid->rowCount());
}
