#include "Session.h"

#include "fetch/PageFetcher.h"
#include "fetch/ProxyUrl.h"
#include "fetch/SiteAddress.h"
#include "lookup/DetailLookup.h"
#include "probes/QueryRun.h"
#include "rdap/RdapClient.h"
#include "session/SessionStore.h"
#include "session/StartOptions.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "sources/NameImport.h"
#include "table/ResultTable.h"
#include "text/Clock.h"

#include <QFile>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QtConcurrentRun>

#include <QCoroFuture>

Session::Session(const Endpoints &endpoints, QObject *parent)
    : QObject(parent)
    , m_endpoints(endpoints)
    , m_fetcher(new PageFetcher(this))
    , m_grid(new ResultTable(this))
    , m_run(new QueryRun(m_grid, m_fetcher, this))
    , m_lists(new DeletionLists(m_fetcher, Clock::today(), this))
    , m_lookup(new DetailLookup(m_fetcher, this))
    // No registry is asked until configure() says which: tests and the demo never reach out.
    , m_rdap(new RdapClient(m_fetcher, RdapBootstrap(), this))
{
    m_run->setEndpoints(endpoints);
    m_lists->setEndpoints(endpoints);
    m_lookup->setEndpoints(endpoints);
    m_lookup->setRdap(m_rdap);
    m_run->setRdap(m_rdap, false);
    // An empty grid shows one blank row until the first import.
    RowCells placeholder;
    placeholder.fill(kBlankCell);
    m_grid->appendRows({placeholder});
}

Session::~Session()
{
    shutDown();
    // The file is written from the grid: it goes first.
    delete m_store;
    m_store = nullptr;
}

void Session::shutDown()
{
    m_run->abandon();
    m_fetcher->shutDown();
    if (m_store)
        m_store->flush();
}

QStringList Session::keepIn(const QString &path)
{
    delete m_store;
    m_store = new SessionStore(path, this);
    QStringList notices;
    if (!m_store->message().isEmpty())
        notices << m_store->message();
    const std::optional<QList<RowCells>> saved = m_store->load();
    // A grid that held only the blank start-up row is no grid to bring back.
    const bool blankOnly =
        saved && saved->size() == 1 && saved->first()[kDomainColumn] == kBlankCell;
    if (saved && !saved->isEmpty() && !blankOnly) {
        m_grid->clear();
        m_grid->appendRows(*saved);
        notices << QStringLiteral("已恢复上次的 %1 行").arg(saved->size());
    }
    m_store->attach(m_grid);
    connect(m_store, &SessionStore::stateChanged, this,
            [this] { Q_EMIT storeProblem(m_store->message()); });
    return notices;
}

void Session::clearGrid()
{
    m_run->abandon();
    m_grid->clear();
}

QCoro::Task<QString> Session::importFile(QString path)
{
    QPointer<Session> self(this);
    // Reading and sorting out a million lines takes a moment: not on the window's thread.
    const auto read = [path]() -> std::optional<NameImport::Result> {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        return NameImport::readNames(NameImport::decodeFile(file.readAll()));
    };
    const std::optional<NameImport::Result> result = co_await QtConcurrent::run(read);
    if (!self)
        co_return {};
    if (!result)
        co_return QStringLiteral("无法读取文件：%1").arg(path);
    // A file with no names (binary, junk, an unknown encoding) must not cost the grid.
    if (result->names.isEmpty())
        co_return QStringLiteral("未找到域名：跳过 %1 行").arg(result->skipped);
    m_run->abandon();
    Sources::importCategory(*m_grid, result->names);
    co_return QStringLiteral("已从文件导入 %1 个域名，跳过 %2 行（其中重复 %3 个）")
        .arg(result->names.size())
        .arg(result->skipped + result->duplicates)
        .arg(result->duplicates);
}

QStringList Session::configure(const StartOptions &options)
{
    options.applyTo(*m_fetcher);
    options.applyTo(*m_run, m_endpoints);
    delete m_rdap;
    m_rdap = new RdapClient(m_fetcher, options.rdapBootstrap, this);
    m_lookup->setRdap(m_rdap);
    m_lookup->setBackoff(options.settings.backoff);
    m_run->setRdap(m_rdap, options.settings.registrationFromRdap);
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
