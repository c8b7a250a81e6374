#include "DeletionLists.h"

#include <QCoroTimer>

#include <array>
#include <chrono>

namespace {

constexpr int kDayOffsets[5] = {-2, -1, 0, 1, 2};
const std::array<const char *, 5> kCnTokens = {"3todayDel", "2todayDel", "1todayDel",
                                               "future1todayDel", "future2todayDel"};
const std::array<const char16_t *, 5> kHeaders = {
    u"以下为前天删除域名信息", u"以下为昨天删除域名信息", u"以下为今天删除域名信息",
    u"以下为明天删除域名信息", u"以下为后天删除域名信息"};

int clampDay(int dayIndex)
{
    return qBound(0, dayIndex, 4);
}

} // namespace

DeletionLists::DeletionLists(PageFetcher *fetcher, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
{
}

void DeletionLists::setList(int index, QStringList entries)
{
    if (index < 0 || index >= Sources::kSourceCount)
        return;
    m_lists[std::size_t(index)] = std::move(entries);
    Q_EMIT listsChanged();
}

QString DeletionLists::dayDateText(int dayIndex, const QDate &today)
{
    return today.addDays(kDayOffsets[clampDay(dayIndex)]).toString(QStringLiteral("yyyy-MM-dd"));
}

QString DeletionLists::cnToken(int dayIndex)
{
    return QLatin1String(kCnTokens[std::size_t(clampDay(dayIndex))]);
}

QString DeletionLists::dayHeader(int dayIndex)
{
    return QString::fromUtf16(kHeaders[std::size_t(clampDay(dayIndex))]);
}

QCoro::Task<bool> DeletionLists::fetchAndFile(QString address, bool cn, quint64 generation,
                                              const quint64 *currentGeneration)
{
    QPointer<DeletionLists> self(this);
    if (!m_fetcher)
        co_return false;
    const FetchResult page = co_await m_fetcher->FetchGb2312(address);
    if (!self || generation != *currentGeneration)
        co_return false;
    if (!page.gotPage())
        Q_EMIT downloadFailed(address, page.error);

    // File into fresh lists and hand them over only when the whole page is in, so a load that
    // is superseded half-way leaves nothing of its day behind.
    const QList<QStringView> pieces = Sources::cutLines(page.text);
    Sources::SourceLists filed;
    for (qsizetype from = 0; from < pieces.size(); from += m_chunk) {
        const qsizetype to = qMin(pieces.size(), from + m_chunk);
        if (cn) {
            Sources::fileCnLines(pieces, from, to, filed);
            Q_EMIT statusText(QStringLiteral("目前已经载入%1条").arg(to - 1));
        } else {
            Sources::fileDailyLines(pieces, from, to, filed);
        }
        if (to < pieces.size()) {
            co_await QCoro::sleepFor(std::chrono::milliseconds(0));
            if (!self || generation != *currentGeneration)
                co_return false;
        }
    }
    const int first = cn ? Sources::NetCn : Sources::Com;
    for (int i = first; i < first + 5; ++i)
        m_lists[std::size_t(i)] = std::move(filed[std::size_t(i)]);
    Q_EMIT listsChanged();
    if (cn)
        Q_EMIT statusText(QStringLiteral("载入完毕,共%1条").arg(pieces.size()));
    else
        Q_EMIT statusText(QStringLiteral("载入完毕!!"));
    for (int i = first; i < first + 5; ++i)
        Q_EMIT captionChanged(i, Sources::suffixCaption(i, m_lists[std::size_t(i)].size()));
    co_return true;
}

QCoro::Task<void> DeletionLists::LoadDailyDeletionList(int dayIndex, QDate today)
{
    const quint64 generation = ++m_dayGeneration;
    ++m_cnGeneration; // a CN load still waiting belongs to the previous day
    Q_EMIT loadingPanel(true);
    for (QStringList &list : m_lists)
        list.clear();
    Q_EMIT listsChanged();
    Q_EMIT statusText(kWaiting);
    const QString dateText = dayDateText(dayIndex, today);
    const QString token = cnToken(dayIndex);
    Q_EMIT dayChosen(dateText, token, dayHeader(dayIndex));

    QPointer<DeletionLists> self(this);
    const bool filed = co_await fetchAndFile(QStringLiteral("http://") + m_endpoints.dailyLists +
                                                 u'/' + dateText + QStringLiteral(".txt"),
                                             false, generation, &m_dayGeneration);
    if (!filed || !self || generation != m_dayGeneration)
        co_return;
    co_await LoadCnDeletionList(token);
}

QCoro::Task<void> DeletionLists::LoadCnDeletionList(QString token)
{
    const quint64 generation = ++m_cnGeneration;
    Q_EMIT statusText(kWaiting);
    QPointer<DeletionLists> self(this);
    const bool filed = co_await fetchAndFile(QStringLiteral("http://") + m_endpoints.cnRegistry +
                                                 QStringLiteral("/download/registar_list/") +
                                                 token + QStringLiteral(".txt"),
                                             true, generation, &m_cnGeneration);
    if (filed && self)
        Q_EMIT loadingPanel(false);
}
