#include "DeletionLists.h"

#include "fetch/SiteAddress.h"
#include "sources/SourceLists.h"

#include <QCoroTimer>

#include <array>
#include <chrono>

namespace {

struct Day {
    int offset;
    const char16_t *caption;
    const char *cnToken;
    const char16_t *header;
};

constexpr std::array<Day, DeletionLists::kDayCount> kDays{{
    {-2, u"前天删除域名", "3todayDel", u"以下为前天删除域名信息"},
    {-1, u"昨天删除域名", "2todayDel", u"以下为昨天删除域名信息"},
    {0, u"今天删除域名", "1todayDel", u"以下为今天删除域名信息"},
    {1, u"明天删除域名", "future1todayDel", u"以下为明天删除域名信息"},
    {2, u"后天删除域名", "future2todayDel", u"以下为后天删除域名信息"},
}};

const Day &day(int dayIndex)
{
    return kDays[std::size_t(qBound(0, dayIndex, DeletionLists::kDayCount - 1))];
}

} // namespace

DeletionLists::DeletionLists(PageFetcher *fetcher, QDate today, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
    , m_dayDate(dayDateText(kToday, today))
    , m_cnToken(cnTokenOf(kToday))
{
}

void DeletionLists::setList(int index, QStringList entries)
{
    if (index < 0 || index >= Sources::kSourceCount)
        return;
    m_lists[std::size_t(index)] = std::move(entries);
    Q_EMIT listsChanged();
}

QString DeletionLists::dayButtonCaption(int dayIndex)
{
    return QString::fromUtf16(day(dayIndex).caption);
}

QString DeletionLists::dayDateText(int dayIndex, const QDate &today)
{
    return today.addDays(day(dayIndex).offset).toString(QStringLiteral("yyyy-MM-dd"));
}

QString DeletionLists::cnTokenOf(int dayIndex)
{
    return QLatin1String(day(dayIndex).cnToken);
}

QString DeletionLists::dayHeaderOf(int dayIndex)
{
    return QString::fromUtf16(day(dayIndex).header);
}

void DeletionLists::setLoadStatus(const QString &text)
{
    m_loadStatus = text;
}

QCoro::Task<DeletionLists::Load> DeletionLists::fetchAndFile(QString address, bool cn,
                                                             quint64 generation,
                                                             const quint64 *currentGeneration)
{
    QPointer<DeletionLists> self(this);
    if (!m_fetcher)
        co_return Load::Superseded;
    FetchResult page = co_await m_fetcher->fetch(address, Charset::Gb2312);
    if (!self || generation != *currentGeneration)
        co_return Load::Superseded;
    if (!page.gotPage()) {
        // An error page (a day not yet published answers 404) is not a list: file none of it.
        setLoadStatus(QStringLiteral("载入失败"));
        Q_EMIT downloadFailed(address, page.error);
        co_return Load::Failed;
    }

    // File into fresh lists and hand them over only when the whole page is in, so a load that
    // is superseded half-way leaves nothing of its day behind.
    Sources::PageFiling filing(std::move(page.text), cn);
    Sources::SourceLists filed;
    while (!filing.atEnd()) {
        filing.fileLines(m_chunk, filed);
        if (cn)
            setLoadStatus(QStringLiteral("目前已经载入%1条").arg(filing.linesRead() - 1));
        if (!filing.atEnd()) {
            co_await QCoro::sleepFor(std::chrono::milliseconds(0));
            if (!self || generation != *currentGeneration)
                co_return Load::Superseded;
        }
    }
    const int first = cn ? Sources::NetCn : Sources::Com;
    for (int i = first; i < first + 5; ++i)
        m_lists[std::size_t(i)] = std::move(filed[std::size_t(i)]);
    Q_EMIT listsChanged();
    setLoadStatus(cn ? QStringLiteral("载入完毕,共%1条").arg(filing.linesRead())
                     : QStringLiteral("载入完毕!!"));
    showCaptions(first);
    if (filing.skipped() > 0)
        Q_EMIT linesSkipped(filing.skipped());
    co_return Load::Filed;
}

void DeletionLists::showCaptions(int first)
{
    for (int i = first; i < first + 5; ++i)
        Q_EMIT captionChanged(i, Sources::countCaption(i, m_lists[std::size_t(i)].size()));
}

QCoro::Task<void> DeletionLists::loadDay(int dayIndex, QDate today)
{
    const quint64 generation = ++m_dayGeneration;
    ++m_cnGeneration; // a CN load still waiting belongs to the previous day
    Q_EMIT loadingPanel(true);
    for (QStringList &list : m_lists)
        list.clear();
    Q_EMIT listsChanged();
    setLoadStatus(kWaiting);
    m_dayDate = dayDateText(dayIndex, today);
    m_cnToken = cnTokenOf(dayIndex);
    m_dayHeader = dayHeaderOf(dayIndex);
    Q_EMIT dayChanged();

    QPointer<DeletionLists> self(this);
    const Load daily = co_await fetchAndFile(
        siteAddress(m_endpoints.dailyLists, u'/' + m_dayDate + QStringLiteral(".txt")), false,
        generation, &m_dayGeneration);
    if (daily == Load::Superseded || !self || generation != m_dayGeneration)
        co_return;
    // A failed file leaves the cleared lists empty; their buttons say so.
    if (daily == Load::Failed)
        showCaptions(Sources::Com);
    const Load cn = co_await loadCnList(m_cnToken);
    if (cn == Load::Failed && self)
        showCaptions(Sources::NetCn);
}

QCoro::Task<void> DeletionLists::reloadCnList()
{
    co_await loadCnList(m_cnToken);
}

QCoro::Task<DeletionLists::Load> DeletionLists::loadCnList(QString token)
{
    const quint64 generation = ++m_cnGeneration;
    setLoadStatus(kWaiting);
    QPointer<DeletionLists> self(this);
    const Load cn =
        co_await fetchAndFile(siteAddress(m_endpoints.cnRegistry, u"/download/registar_list/",
                                          token + QStringLiteral(".txt")),
                              true, generation, &m_cnGeneration);
    if (cn != Load::Superseded && self)
        Q_EMIT loadingPanel(false);
    co_return cn;
}
