#include "Session.h"

#include "fetch/PageFetcher.h"
#include "fetch/ProxyUrl.h"
#include "fetch/SiteAddress.h"
#include "lookup/DetailLookup.h"
#include "probes/QueryRun.h"
#include "probes/Recipes.h"
#include "rdap/DropEstimate.h"
#include "rdap/RdapClient.h"
#include "session/SessionStore.h"
#include "session/UpdateCheck.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "sources/ListSorts.h"
#include "sources/NameImport.h"
#include "table/DropCalendar.h"
#include "table/GridExport.h"
#include "table/RowFilter.h"
#include "text/Clock.h"
#include "text/HostName.h"
#include "text/Words.h"

#include <QFile>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QSaveFile>
#include <QSet>
#include <QUrl>
#include <QtConcurrentRun>

#include <QCoroFuture>

Session::Session(const StartOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_fetcher(new PageFetcher(this))
    , m_grid(new ResultTable(this))
    , m_run(new QueryRun(m_grid, m_fetcher, this))
    , m_lists(new DeletionLists(m_fetcher, Clock::today(), this))
    , m_lookup(new DetailLookup(m_fetcher, this))
    , m_rdap(new RdapClient(m_fetcher, options.rdapBootstrap, this))
    , m_listCache(options.listCacheFolder.isEmpty() ? ListDownload::defaultCacheFolder()
                                                    : options.listCacheFolder)
{
    configure();
    wire();
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

void Session::configure()
{
    const Endpoints &endpoints = m_options.endpoints;
    m_options.applyTo(*m_fetcher);
    m_run->setEndpoints(endpoints);
    m_options.applyTo(*m_run, endpoints);
    m_run->setRdap(m_rdap, m_options.settings.registrationFromRdap);
    m_lists->setEndpoints(endpoints);
    m_lookup->setEndpoints(endpoints);
    m_lookup->setRdap(m_rdap);
    m_lookup->setBackoff(m_options.settings.backoff);
    for (const QString &warning : m_options.settings.warnings)
        m_notices.post(warning);
    const std::optional<QNetworkProxy> &proxy = m_options.proxy;
    if (proxy && proxy->type() != QNetworkProxy::NoProxy) {
        m_notices.post(QStringLiteral("使用代理：") + proxyDisplayUrl(*proxy));
    } else if (!proxy) {
        const QList<QNetworkProxy> system = QNetworkProxyFactory::systemProxyForQuery(
            QNetworkProxyQuery(QUrl(siteAddress(endpoints.baidu, u"/"))));
        if (!system.isEmpty() && system.first().type() != QNetworkProxy::NoProxy &&
            system.first().type() != QNetworkProxy::DefaultProxy)
            m_notices.post(QStringLiteral("使用系统代理：") + proxyDisplayUrl(system.first()));
    }
}

void Session::wire()
{
    connect(m_lists, &DeletionLists::dayChanged, this,
            [this] { Q_EMIT dayHeaderChanged(m_lists->dayHeader()); });
    connect(m_lists, &DeletionLists::loadingPanel, this, &Session::dayLoadingChanged);
    connect(m_lists, &DeletionLists::captionChanged, this, &Session::suffixCaptionChanged);
    connect(m_lists, &DeletionLists::downloadFailed, this,
            [this](const QString &address, const QString &error) {
                notify(QStringLiteral("删除列表下载失败：%1（%2）").arg(address, error));
                Q_EMIT downloadFailed(address, error);
            });
    connect(m_lists, &DeletionLists::linesSkipped, this, [this](qsizetype count) {
        notify(QStringLiteral("跳过 %1 行").arg(count));
        Q_EMIT linesSkipped(count);
    });

    connect(m_run, &QueryRun::runningChanged, this, &Session::runningChanged);
    connect(m_run, &QueryRun::stopFlagChanged, this, &Session::stopFlagChanged);
    connect(m_run, &QueryRun::progressChanged, this, &Session::progressChanged);
    connect(m_run, &QueryRun::refusedEmptyTable, this,
            [this] { Q_EMIT runRefused(QueryRun::kEmptyTableMessage); });
    connect(m_run, &QueryRun::siteRefused, this,
            [this](const QString &site) { notify(site + QStringLiteral("：查询受限")); });
    connect(m_run, &QueryRun::notice, this, [this](const QString &text) {
        notify(text);
        Q_EMIT runNotice(text);
    });
    connect(m_run, &QueryRun::rowFinished, this, &Session::rowFinished);
    connect(m_run, &QueryRun::rdapRead, this, [this](RowId row, const RdapResult &r) {
        const std::optional<QDate> expiry = DropEstimate::realExpiry(r.answer);
        const QString status = !r.served                                    ? kNoRdapService
                               : r.answer.kind == RdapAnswer::Registered    ? r.statusText()
                               : r.answer.kind == RdapAnswer::NotRegistered ? kNotRegistered
                                                                            : r.registrationCell();
        // A suffix without a registry to ask is an answer, not a failure.
        m_rdapStates.insert(row, r.served ? r.registrationState() : CellState::Value);
        m_rdapCells.insert(row, {status, expiry ? expiry->toString(Qt::ISODate) : QString(),
                                 DropEstimate::estimateText(r.estimate)});
        if (r.estimate.stage != DropEstimate::Stage::Unknown) {
            const bool dropped = r.estimate.stage == DropEstimate::Stage::Dropped;
            m_rdapDrops.insert(
                row, {DropEstimate::stageName(r.estimate.stage),
                      dropped ? QDate()
                              : DropEstimate::localDate(r.estimate.earliest).value_or(QDate())});
        }
        if (!r.answer.warnings.isEmpty())
            Q_EMIT rdapWarnings(row, r.answer.warnings);
    });

    connect(m_lookup, &DetailLookup::valueChanged, this,
            [this](DetailLookup::Field field, const QString &text) {
                Q_EMIT lookupValueChanged(int(field), text);
            });
    connect(m_lookup, &DetailLookup::valueNoteChanged, this,
            [this](DetailLookup::Field field, const QString &note) {
                Q_EMIT lookupNoteChanged(int(field), note);
            });
    connect(m_lookup, &DetailLookup::emptyInput, this,
            [this] { Q_EMIT lookupRefused(DetailLookup::kEmptyInputMessage); });
    connect(m_lookup, &DetailLookup::invalidInput, this, [this](const QString &typed) {
        Q_EMIT lookupRefused(DetailLookup::invalidInputMessage(typed));
    });
    connect(m_lookup, &DetailLookup::notice, this, [this](const QString &text) {
        notify(text);
        Q_EMIT lookupNotice(text);
    });
    connect(m_lookup, &DetailLookup::fetchFailed, this, [this](const QString &error) {
        notify(QStringLiteral("查询失败：") + error);
        Q_EMIT lookupFailed(error);
    });
}

void Session::shutDown()
{
    m_shutDown = true;
    m_run->abandon();
    m_lookup->abandon();
    m_fetcher->shutDown();
    if (m_store)
        m_store->flush();
}

void Session::notify(const QString &text)
{
    m_notices.post(text);
    Q_EMIT noticesChanged();
}

void Session::expireNotices()
{
    if (m_notices.expire())
        Q_EMIT noticesChanged();
}

void Session::keepIn(const QString &path)
{
    delete m_store;
    m_store = new SessionStore(path, this);
    if (!m_store->message().isEmpty())
        notify(m_store->message());
    const std::optional<QList<SavedRow>> saved = m_store->loadSaved();
    // A grid that held only the blank start-up row is no grid to bring back.
    const bool blankOnly =
        saved && saved->size() == 1 && stateOfSavedText(saved->first().name) == CellState::Blank;
    if (saved && !saved->isEmpty() && !blankOnly) {
        m_grid->clear();
        m_grid->appendSavedRows(*saved);
        notify(QStringLiteral("已恢复上次的 %1 行").arg(saved->size()));
    }
    m_store->attach(m_grid);
    connect(m_store, &SessionStore::stateChanged, this, [this] { notify(m_store->message()); });
}

QCoro::Task<bool> Session::newerVersionAvailable()
{
    return UpdateCheck::newerVersionAvailable(m_fetcher, m_options.endpoints);
}

QString Session::productPage() const
{
    return UpdateCheck::productPageAddress(m_options.endpoints);
}

QCoro::Task<void> Session::loadDay(int dayIndex)
{
    return m_lists->loadDay(dayIndex, Clock::today());
}

QCoro::Task<void> Session::reloadCnList()
{
    return m_lists->reloadCnList();
}

QString Session::todayCaption() const
{
    return QStringLiteral("当前系统日期：") + m_lists->dayDate();
}

QStringList Session::list(int suffixIndex, bool byLength, int category) const
{
    QStringList names = m_lists->list(suffixIndex);
    if (byLength)
        Sources::sortByLength(names);
    if (category >= 0 && category < Sources::kCategoryCount)
        names = Sources::lengthBreakdown(names, suffixIndex)[std::size_t(category)];
    return names;
}

QString Session::sortLists(bool domestic)
{
    if (domestic)
        Sources::sortDomesticLists(*m_lists);
    else
        Sources::sortInternationalLists(*m_lists);
    const QString text =
        domestic ? QStringLiteral("国内域名已按长度排序") : QStringLiteral("国际域名已按长度排序");
    notify(text);
    return text;
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
    importNames(m_categories[std::size_t(category)]);
    notify(QStringLiteral("已导入%1个域名").arg(m_grid->rowCount()));
    Q_EMIT imported(m_grid->rowCount());
}

void Session::importNames(const QStringList &names)
{
    m_run->abandon();
    m_rdapCells.clear();
    m_rdapStates.clear();
    m_rdapDrops.clear();
    Sources::importCategory(*m_grid, names);
}

Session::Names Session::readNames(const QByteArray &bytes)
{
    return NameImport::readNames(NameImport::decodeFile(bytes));
}

QCoro::Task<QString> Session::importFile(QString path)
{
    QPointer<Session> self(this);
    // Reading and sorting out a million lines takes a moment: not on the caller's thread.
    const auto read = [path]() -> std::optional<NameImport::Result> {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        return readNames(file.readAll());
    };
    const std::optional<NameImport::Result> result = co_await QtConcurrent::run(read);
    if (!self)
        co_return {};
    QString text;
    if (!result) {
        text = QStringLiteral("无法读取文件：%1").arg(path);
    } else if (result->names.isEmpty()) {
        // A file with no names (binary, junk, an unknown encoding) must not cost the grid.
        text = QStringLiteral("未找到域名：跳过 %1 行").arg(result->skipped);
    } else {
        importNames(result->names);
        text = QStringLiteral("已从文件导入 %1 个域名，跳过 %2 行（其中重复 %3 个）")
                   .arg(result->names.size())
                   .arg(result->skipped + result->duplicates)
                   .arg(result->duplicates);
    }
    notify(text);
    co_return text;
}

QList<Session::SourceRow> Session::listSources() const
{
    QList<SourceRow> rows;
    for (const ListSources::ListSource &source : m_options.listSources.lists)
        rows << SourceRow{
            source.id,
            source.endpoint,
            ListSources::addressOf(source, m_options.endpoints.host(source.endpoint), source.path),
            source.origin == ListSources::Origin::UserFile,
            source.filing != ListSources::Filing::Names,
            source.format.timeRule != DropList::ListFormat::TimeRule::None};
    return rows;
}

QList<Session::SourceRow> Session::probeRecipes() const
{
    QList<SourceRow> rows;
    for (const ProbeRecipe &recipe : m_options.recipes.recipes + m_options.recipes.apis)
        rows << SourceRow{
            recipe.metric, recipe.endpoint,
            secureSiteAddress(m_options.endpoints.host(recipe.endpoint), recipe.pathTemplate()),
            recipe.origin == Probes::Origin::UserFile};
    return rows;
}

QCoro::Task<ListDownload::Outcome> Session::downloadList(QString id)
{
    const ListSources::ListSource *source = m_options.listSources.find(id);
    if (!source) {
        ListDownload::Outcome none;
        none.message = QStringLiteral("未知的列表");
        co_return none;
    }
    const ListDownload::Outcome outcome = co_await ListDownload::download(
        m_fetcher, m_options.endpoints, *source,
        DeletionLists::dayDateText(DeletionLists::kToday, Clock::today()),
        DeletionLists::cnTokenOf(DeletionLists::kToday), &m_listCache);
    co_return outcome;
}

QList<DropList::Entry> Session::pickEntries(const QList<DropList::Entry> &entries,
                                            std::optional<int> daysAhead, int category) const
{
    QList<DropList::Entry> picked =
        daysAhead ? DropList::droppingOn(entries, *daysAhead, Clock::nowUtc()) : entries;
    if (category < 0 || category >= Sources::kCategoryCount)
        return picked;
    QStringList names;
    for (const DropList::Entry &entry : picked)
        names << entry.name;
    const QStringList inCategory = Sources::labelBreakdown(names)[std::size_t(category)];
    const QSet<QString> kept(inCategory.cbegin(), inCategory.cend());
    picked.removeIf([&kept](const DropList::Entry &e) { return !kept.contains(e.name); });
    return picked;
}

QCoro::Task<QString> Session::importListSource(QString id)
{
    QPointer<Session> self(this);
    const ListDownload::Outcome outcome = co_await downloadList(id);
    if (!self)
        co_return {};
    QString text;
    if (!outcome.ok()) {
        text = QStringLiteral("删除列表 %1：%2").arg(id, outcome.message);
    } else if (outcome.list.entries.isEmpty()) {
        text = QStringLiteral("删除列表 %1 中未找到域名：跳过 %2 行")
                   .arg(id)
                   .arg(outcome.list.skipped);
    } else {
        QStringList names;
        QList<QDateTime> times;
        for (const DropList::Entry &entry : outcome.list.entries) {
            names << entry.name;
            times << entry.dropUtc.value_or(QDateTime());
        }
        importNames(names);
        m_grid->setDropTimes(times);
        text = QStringLiteral("已从删除列表 %1 导入 %2 个域名，跳过 %3 行（其中重复 %4 个）")
                   .arg(id)
                   .arg(names.size())
                   .arg(outcome.list.skipped + outcome.list.duplicates)
                   .arg(outcome.list.duplicates);
        if (!outcome.message.isEmpty())
            text += QStringLiteral("；") + outcome.message;
    }
    notify(text);
    co_return text;
}

QString Session::filterRows(const QString &criterion, const QString &threshold)
{
    const qsizetype removed = RowFilter::filterRows(*m_grid, criterion, threshold);
    const QString text =
        QStringLiteral("结果筛选：删除 %1 行，剩余 %2 行").arg(removed).arg(m_grid->rowCount());
    notify(text);
    return text;
}

Session::ExportResult Session::exportCsv(const QString &path, const QList<int> &selection)
{
    // Several selected rows are exported alone; otherwise every row, in display order.
    const QList<QStringList> cells =
        GridExport::rows(*m_grid, selection.size() < 2 ? QList<int>() : selection);
    return saveExport(path, GridExport::csv(GridExport::header(*m_grid), cells, true), cells.size(),
                      QStringLiteral("已导出 %1 行到 %2"));
}

Session::ExportResult Session::saveExport(const QString &path, const QByteArray &bytes,
                                          qsizetype count, const QString &doneText)
{
    // Written whole or not at all: a failed export never leaves a cut file over the last one.
    ExportResult result;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) < 0 || !file.commit()) {
        result.notice = QStringLiteral("无法写入 %1：%2").arg(path, file.errorString());
    } else {
        result.written = true;
        result.rows = count;
        result.notice = doneText.arg(count).arg(path);
    }
    notify(result.notice);
    return result;
}

Session::ExportResult Session::exportCalendar(const QString &path, const QList<int> &selection)
{
    QList<int> rows = selection;
    if (rows.size() < 2) {
        rows.clear();
        for (int r = 0; r < m_grid->rowCount(); ++r)
            rows << r;
    }
    QList<DropCalendar::Event> events;
    for (const int r : std::as_const(rows)) {
        const RdapDrop rdap = m_rdapDrops.value(m_grid->rowId(r));
        DropCalendar::Event event{QUrl::fromAce(m_grid->cell(r, kDomainColumn).toLatin1()),
                                  m_grid->dropTime(r), rdap.stage, QStringLiteral("RDAP")};
        if (m_grid->dropTime(r).isValid()) {
            // The grid keeps no note of which list a row came from.
            event.source = QStringLiteral("注册局删除列表");
            if (event.stage.isEmpty())
                event.stage = DropEstimate::stageName(DropEstimate::Stage::PendingDelete);
        } else if (rdap.date.isValid()) {
            event.drop = rdap.date;
        } else {
            continue;
        }
        events << event;
    }
    if (events.isEmpty()) {
        ExportResult result;
        result.notice = QStringLiteral("没有已知删除时间的域名，未导出日历");
        notify(result.notice);
        return result;
    }
    return saveExport(path, DropCalendar::write(events, Clock::nowUtc()), events.size(),
                      QStringLiteral("已导出 %1 个删除日程到 %2"));
}

QByteArray Session::listCalendar(const QString &id, const QList<DropList::Entry> &entries) const
{
    QList<DropCalendar::Event> events;
    for (const DropList::Entry &entry : entries) {
        // A name on a registry's deletion list is waiting for its deletion.
        if (entry.dropUtc)
            events << DropCalendar::Event{
                QUrl::fromAce(entry.name.toLatin1()), *entry.dropUtc,
                DropEstimate::stageName(DropEstimate::Stage::PendingDelete), id};
    }
    return DropCalendar::write(events, Clock::nowUtc());
}

QString Session::copyRows(const QList<int> &selection) const
{
    return GridExport::tabSeparated(GridExport::rows(*m_grid, selection));
}

Session::CellAction Session::actionAt(int row, int column) const
{
    if (row < 0 || row >= m_grid->rowCount())
        return {};
    const QString domain = m_grid->cell(row, kDomainColumn);
    if (m_grid->columnAt(column) == kDomainColumn)
        return {CellAction::Kind::LookUp, domain};
    if (const ProbeRecipe *recipe = m_options.recipes.find(m_grid->columnAt(column)))
        return {CellAction::Kind::Open, Probes::recipeUrl(*recipe, m_options.endpoints, domain)};
    return {};
}

void Session::clearGrid()
{
    m_run->abandon();
    m_rdapCells.clear();
    m_rdapStates.clear();
    m_rdapDrops.clear();
    m_grid->clear();
}

void Session::setTicked(int metricIndex, bool ticked)
{
    m_run->setTicked(metricIndex, ticked);
    // The archive and other-suffix columns show while their metric is ticked.
    const MetricChoice &m = Probes::metric(metricIndex);
    if (metricIndex >= Probes::kMetricCount && metricIndex < Probes::kMetricBoxCount) {
        for (const std::optional<ProbeColumn> &column : {m.column, m.secondColumn}) {
            if (column)
                m_grid->setWanted(*column, ticked);
        }
    }
}

void Session::setStopFlag(bool stop)
{
    m_run->setStopFlag(stop);
}

bool Session::isRunning() const
{
    return m_run->isRunning();
}

QCoro::Task<void> Session::startRun()
{
    if (!isRunning())
        co_await m_run->startOrStop();
}

void Session::stop()
{
    // A stop while running: every queue ends before its next request.
    if (isRunning())
        m_run->startOrStop();
}

QCoro::Task<void> Session::requery()
{
    if (!isRunning())
        co_await m_run->startOrStop(QueryRun::Scope::UnfinishedCells);
}

QStringList Session::rdapCells(RowId row) const
{
    return m_rdapCells.value(row, QStringList(3));
}

bool Session::measuredAll(const QList<int> &metrics) const
{
    for (int r = 0; r < m_grid->rowCount(); ++r) {
        for (int k : metrics) {
            if (metricState(r, k) != CellState::Value)
                return false;
        }
    }
    return true;
}

CellState Session::metricState(int row, int metric) const
{
    const std::optional<ProbeColumn> column = Probes::metric(metric).column;
    return column ? m_grid->cellState(row, *column)
                  : m_rdapStates.value(m_grid->rowId(row), CellState::Blank);
}

QCoro::Task<Session::LookupReport> Session::lookUp(QString typed, bool askRegistry)
{
    QPointer<Session> self(this);
    LookupReport report;
    report.values.fill(DetailLookup::kReset, DetailLookup::kFieldCount);
    std::optional<RdapResult> record;
    QObject guard; // the connections live as long as this lookup
    connect(this, &Session::lookupValueChanged, &guard,
            [&](int field, const QString &text) { report.values[field] = text; });
    connect(this, &Session::lookupRefused, &guard,
            [&](const QString &message) { report.refusal = message; });
    connect(this, &Session::lookupFailed, &guard, [&] { report.fetchFailed = true; });
    connect(m_lookup, &DetailLookup::rdapRead, &guard,
            [&](const RdapResult &result) { record = result; });
    co_await m_lookup->lookUp(typed);
    if (!self || !report.refusal.isEmpty())
        co_return report;
    report.name = asciiHostName(typed).value_or(typed);
    // What the registry itself says, where it has an RDAP server; the lookup has asked already
    // when the deletion page failed.
    if (askRegistry && !record && !m_shutDown && m_rdap->serves(report.name))
        co_await m_lookup->queryRdap(report.name);
    if (!self || !record)
        co_return report;
    const RdapAnswer &answer = record->answer;
    if (answer.kind == RdapAnswer::Registered || answer.kind == RdapAnswer::NotRegistered) {
        report.registry = {
            {QStringLiteral("状态"), answer.kind == RdapAnswer::NotRegistered
                                         ? QStringLiteral("未注册")
                                         : answer.statuses.join(QStringLiteral(", "))},
            {QStringLiteral("阶段"), DropEstimate::stageName(record->estimate.stage)},
            {QStringLiteral("预计删除"), DropEstimate::estimateText(record->estimate)}};
        report.registryWarnings = answer.warnings;
    } else {
        report.registry = {{QStringLiteral("状态"), record->registrationCell()}};
        report.registryError =
            QStringLiteral("RDAP：") + record->registrationCell() +
            (answer.error.isEmpty() ? QString() : QStringLiteral("（%1）").arg(answer.error));
    }
    co_return report;
}

QCoro::Task<Session::BootstrapUpdate> Session::updateRdapBootstrap()
{
    // Over HTTPS: the file decides where every later RDAP query goes.
    const QString address = secureSiteAddress(m_options.endpoints.iana, u"/rdap/dns.json");
    const FetchResult page = co_await m_fetcher->fetch(address, Charset::Utf8);
    BootstrapUpdate update;
    QString why = page.error;
    const QString path = RdapBootstrap::cachedFilePath();
    const std::optional<RdapBootstrap> stored =
        page.gotPage() && !m_shutDown ? RdapBootstrap::storeDownload(page.body, path, &why)
                                      : std::nullopt;
    if (!stored) {
        update.lines << QStringLiteral("%1: %2; keeping the last good copy").arg(address, why);
        co_return update;
    }
    for (const QString &warning : stored->warnings())
        update.lines << QStringLiteral("%1: %2").arg(address, warning);
    // What the next start will serve: the download, the built-in table's other suffixes and the
    // user's own file.
    qsizetype tlds = 0;
    for (const QString &suffix :
         RdapBootstrap::load(RdapBootstrap::userFilePath(), path).suffixes())
        tlds += !suffix.contains(u'.');
    update.lines << QStringLiteral("saved %1: %2 TLDs").arg(path).arg(tlds);
    update.stored = true;
    co_return update;
}
