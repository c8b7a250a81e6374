#include "Session.h"

#include "fetch/PageFetcher.h"
#include "lookup/DetailLookup.h"
#include "probes/QueryRun.h"
#include "session/Clock.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "table/ResultTable.h"

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
