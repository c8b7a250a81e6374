// Every byte the program reads comes from sites it does not control. These tests feed it hostile
// servers, hostile lists and hostile names through the same roads the window uses, and check
// that each ends with its documented result.

#include "SimContent.h"
#include "SimExpect.h"
#include "SiteSimulator.h"
#include "app/ClickableLabel.h"
#include "app/Clock.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "fetch/PageFetcher.h"
#include "lookup/DetailLookup.h"
#include "lookup/DetailScrape.h"
#include "probes/Probes.h"
#include "probes/Recipes.h"
#include "sources/CategoryImport.h"
#include "sources/DeletionLists.h"
#include "sources/LengthBreakdown.h"
#include "sources/ListSorts.h"
#include "sources/SourceLists.h"
#include "table/ResultTable.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTcpServer>
#include <QTest>
#include <QTextDocument>

#include <QCoroTask>

using Route = SiteSimulator::Route;
using Fault = SiteSimulator::Fault;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

// Who reads a page: the eight probes by metric index, then the rest.
enum Consumer : int {
    PageRankAnswer = Probes::kMetricCount, // the PageRank probe's second page
    DailyLoader,
    CnLoader,
    LookupDates,
    LookupFiling,
    ConsumerCount,
};

QString consumerName(int consumer)
{
    static const QStringList rest = {QStringLiteral("pr answer"), QStringLiteral("daily list"),
                                     QStringLiteral("cn list"), QStringLiteral("lookup dates"),
                                     QStringLiteral("lookup filing")};
    return consumer < Probes::kMetricCount ? Probes::metric(consumer).probe
                                           : rest[consumer - Probes::kMetricCount];
}

Route routeOf(int consumer)
{
    switch (consumer) {
    case PageRankAnswer:
        return Route::PageRankFrame;
    case DailyLoader:
        return Route::DailyList;
    case CnLoader:
        return Route::CnRegistryList;
    case LookupDates:
        return Route::DeletionTool;
    case LookupFiling:
        return Route::Icp;
    }
    switch (Probes::metric(consumer).column) {
    case BaiduSite:
        return Route::BaiduSite;
    case BaiduDomain:
        return Route::BaiduDomain;
    case GoogleSite:
        return Route::Google;
    case YahooPages:
        return Route::YahooPages;
    case YahooLinksWww:
    case YahooLinksBare:
        return Route::YahooLinks;
    case PageRank:
        return Route::PageRank;
    case Registration:
        return Route::Registrar;
    }
    return Route::NotFound;
}

// The endpoint a consumer's first page is asked from.
QString endpointOf(int consumer)
{
    switch (consumer) {
    case DailyLoader:
        return QStringLiteral("daily_lists");
    case CnLoader:
        return QStringLiteral("cn_registry");
    case LookupDates:
        return QStringLiteral("deletion_tool");
    case LookupFiling:
        return QStringLiteral("icp");
    }
    switch (Probes::metric(consumer).column) {
    case BaiduSite:
    case BaiduDomain:
        return QStringLiteral("baidu");
    case GoogleSite:
        return QStringLiteral("google");
    case PageRank:
        return QStringLiteral("pagerank");
    case Registration:
        return QStringLiteral("registrar");
    default:
        return QStringLiteral("yahoo");
    }
}

// The path and query a probe puts before the domain, as configured.
QString probePath(int metricIndex)
{
    const ProbeColumn column = Probes::metric(metricIndex).column;
    if (const ProbeRecipe *recipe = Probes::countRecipe(column))
        return recipe->pathAndQuery;
    return column == Registration ? Probes::kRegistrationPath : Probes::kPageRankPath;
}

// What a page without any of the markers makes a probe write.
QString unmarked(int metricIndex)
{
    return Probes::metric(metricIndex).column == Registration ? Probes::kRegistered
                                                              : QStringLiteral("0");
}

// One domain whose every page carries its marker, so that "marker absent" and "failed" both
// differ from the real value everywhere.
QString fullyMarkedDomain()
{
    for (int i = 0; i < 1'000'000; ++i) {
        const QString d = QStringLiteral("hostile%1.com").arg(i);
        bool all =
            SimContent::registrable(d) && !SimContent::pageRank(d).isEmpty() &&
            SimContent::pageRank(d) != u"0" && !SimContent::pageRankFrameEndsWithLineFeed(d) &&
            !SimContent::deletionInfo(d).cells.isEmpty() && !SimContent::icpNumber(d).isEmpty();
        for (int k = 0; all && k < Probes::kMetricCount; ++k)
            all = expectedCell(k, d) != QStringLiteral("0");
        if (all)
            return d;
    }
    return {};
}

// The labels a lookup of `domain` leaves: 1..5 the dates and state, 6 the countdown.
QMap<int, QString> dateLabels(const QString &domain)
{
    const DetailScrape::DeletionInfo info = DetailScrape::scrapeDeletionPage(
        PageFetcher::DecodeBody(SimContent::deletionToolPage(domain), Charset::Utf8));
    QMap<int, QString> labels;
    if (info.noInformation) {
        for (int k : {1, 3, 5, 6})
            labels[k] = DetailLookup::kNoInformation;
        return labels;
    }
    for (int k : {1, 3, 5, 6})
        labels[k] = DetailLookup::kReset;
    for (int k = 1; k <= 5; ++k) {
        if (info.cells[std::size_t(k)])
            labels[k] = *info.cells[std::size_t(k)];
    }
    if (info.countdown)
        labels[6] = *info.countdown;
    return labels;
}

QString filingLabel(const QString &domain)
{
    const QString number = SimContent::icpNumber(domain);
    return number.isEmpty() ? DetailLookup::kNotFiled : number;
}

QMap<int, QString> resetLabels()
{
    return {{1, DetailLookup::kReset},
            {3, DetailLookup::kReset},
            {5, DetailLookup::kReset},
            {6, DetailLookup::kReset}};
}

// What the two loaders must leave for these two pages: the pure filing of every line.
Sources::SourceLists filedLists(const QString &daily, const QString &cn)
{
    Sources::SourceLists lists;
    const QList<QStringView> dailyPieces = Sources::cutLines(daily);
    const QList<QStringView> cnPieces = Sources::cutLines(cn);
    Sources::fileDailyLines(dailyPieces, 0, dailyPieces.size(), lists);
    Sources::fileCnLines(cnPieces, 0, cnPieces.size(), lists);
    return lists;
}

// LengthBreakdown written out plainly from its description, to check the real one against.
Sources::Categories referenceBreakdown(const QStringList &list, int index)
{
    static const QRegularExpression numeric(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+([eEdD][0-9]+)?")));
    Sources::Categories out;
    const int base = Sources::baseLength(index);
    const bool lastIsTrailer = index == Sources::Biz || index == Sources::Cn;
    const qsizetype examined = lastIsTrailer ? qMax<qsizetype>(list.size() - 1, 0) : list.size();
    for (qsizetype i = 0; i < examined; ++i) {
        const QString &name = list[i];
        if (name.size() >= base)
            out[std::size_t(qMin<qsizetype>(name.size() - base, 5))].append(name);
        if (numeric.match(name.section(u'.', 0, 0)).hasMatch())
            out[6].append(name);
    }
    return out;
}

// Whether the widget shows `text` as the characters it holds, not as markup.
QString shownText(const QLabel *label)
{
    const QString text = label->text();
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    if (!rich)
        return text;
    QTextDocument doc;
    doc.setHtml(text);
    return doc.toPlainText();
}

QLabel *visibleToolTip()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->objectName() == u"qtooltip_label")
            return qobject_cast<QLabel *>(w);
    }
    return nullptr;
}

enum class Outcome { Failed, Unmarked, Marked };

struct FaultCase {
    const char *name;
    Fault fault;
    Outcome outcome;
    bool closedPort = false; // the consumer's host refuses the connection
};

const QList<FaultCase> &faultCases()
{
    static const QList<FaultCase> cases = {
        {"connection refused", Fault::none(), Outcome::Failed, true},
        {"closed at once", Fault::refuse(), Outcome::Failed},
        {"never answers", Fault::hang(), Outcome::Failed},
        {"drips forever", Fault::drip(100), Outcome::Failed},
        {"cut mid-way", Fault::truncated(), Outcome::Failed},
        {"over the cap", Fault::oversized(17 * kMiB), Outcome::Failed},
        {"inflates past the cap", Fault::gzipBomb(17), Outcome::Failed},
        {"redirect loop", Fault::redirectLoop(), Outcome::Failed},
        {"50 MB single line", Fault::body(QByteArray(50 * kMiB, 'x')), Outcome::Failed},
        {"429", Fault::throttled(429), Outcome::Unmarked},
        {"503", Fault::throttled(503), Outcome::Unmarked},
        {"400 page", Fault::body("<html><body>Bad Request</body></html>\r\n", 400),
         Outcome::Unmarked},
        {"503 with the page", Fault::errorStatus(503), Outcome::Marked},
        {"invalid sequences", Fault::invalidBytes(), Outcome::Marked},
        {"NUL byte first", Fault::prefixed(QByteArray("\0\0", 2)), Outcome::Marked},
    };
    return cases;
}

} // namespace

class TestHostile : public QObject {
    Q_OBJECT

    SiteSimulator m_sim;
    PageFetcher m_fetcher;
    QString m_domain;
    const QDate m_today{2026, 12, 6};

    QString url(const QString &pathAndQuery) const
    {
        return QStringLiteral("http://") + m_sim.hostPort() + pathAndQuery;
    }

    Probes::ProbeEnv probeEnv(ResultTable *table, const Endpoints &endpoints)
    {
        Probes::ProbeEnv env;
        env.table = table;
        env.fetcher = &m_fetcher;
        env.endpoints = endpoints;
        return env;
    }

    // Runs one probe over a one-row table of `domain` and returns the row.
    ResultRow probeOne(int metricIndex, const QString &domain, const Endpoints &endpoints)
    {
        ResultTable table;
        CategoryImport(table, {domain});
        QCoro::waitFor(Probes::runProbe(probeEnv(&table, endpoints), metricIndex));
        ResultRow row;
        for (int c = 0; c < kColumnCount; ++c)
            row.cells[std::size_t(c)] = table.CellText(1, c);
        return row;
    }

    // The percent-decoded remainder of a logged target after `prefix`, or a marker when the
    // target does not start with it.
    static QString sentName(const QString &target, const QString &prefix)
    {
        if (!target.startsWith(prefix))
            return QStringLiteral("<target %1 lacks %2>").arg(target, prefix);
        return QUrl::fromPercentEncoding(target.mid(prefix.size()).toUtf8());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_sim.listen());
        m_domain = fullyMarkedDomain();
        QVERIFY(!m_domain.isEmpty());
        Dialogs::queueAnswers({}); // no box ever opens in this test
        Clock::setToday(m_today);
    }
    void init()
    {
        m_sim.clearFaults();
        m_sim.clearLog();
        m_sim.release(Route::All);
        // Short, so that a server that never ends costs a fraction of a second.
        PageFetcher::Limits limits;
        limits.transferTimeoutMs = 300;
        limits.totalDeadlineMs = 800;
        m_fetcher.setLimits(limits);
    }

    // Any status that came with a whole body is a page, whatever Qt calls the status.
    void statusPages_data()
    {
        QTest::addColumn<int>("status");
        for (int s : {200, 203, 300, 400, 401, 403, 404, 405, 407, 409, 410, 418, 429, 451, 500,
                      501, 502, 503, 599})
            QTest::newRow(qPrintable(QString::number(s))) << s;
    }
    void statusPages()
    {
        QFETCH(int, status);
        const QByteArray body = "<p>\xe6\x89\xbe\xe5\x88\xb0\xe7\xba\xa6 12 x</p>";
        m_sim.setFault(Route::Google, Fault::body(body, status));
        PageFetcher fetcher;
        const FetchResult r = QCoro::waitFor(
            fetcher.FetchUtf8(url(QStringLiteral("/search?hl=zh-CN&source=hp&q=site%3Ax.com"))));
        QVERIFY2(r.gotPage(), qPrintable(r.error));
        QCOMPARE(r.httpStatus, status);
        QCOMPARE(r.text, QString::fromUtf8(body));
    }

    // With the built-in limits: a server that drips a byte a second is only ended by the total
    // deadline, and a page past 16 MiB on one line or after inflating is refused.
    void builtInLimits_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("error");
        QTest::newRow("one byte a second") << int(SiteSimulator::FaultKind::Drip) << qint64(1000)
                                           << QStringLiteral("no complete answer within 2 s");
        QTest::newRow("50 MB single line") << int(SiteSimulator::FaultKind::Body) << 50 * kMiB
                                           << QStringLiteral("page larger than 16777216 bytes");
        QTest::newRow("gzip inflating to 64 MiB")
            << int(SiteSimulator::FaultKind::GzipBomb) << qint64(64) << QString();
    }
    void builtInLimits()
    {
        QFETCH(int, kind);
        QFETCH(qint64, value);
        QFETCH(QString, error);
        PageFetcher fetcher;
        PageFetcher::Limits limits;
        QCOMPARE(limits.maxBodyBytes, 16 * kMiB);
        limits.transferTimeoutMs = 1500; // longer than the gap between two bytes
        limits.totalDeadlineMs = 2500;
        fetcher.setLimits(limits);
        const auto faultKind = SiteSimulator::FaultKind(kind);
        m_sim.setFault(Route::Google, faultKind == SiteSimulator::FaultKind::Body
                                          ? Fault::body(QByteArray(value, 'x'))
                                          : Fault{faultKind, value});
        const FetchResult r = QCoro::waitFor(
            fetcher.FetchUtf8(url(QStringLiteral("/search?hl=zh-CN&source=hp&q=site%3Ax.com"))));
        QVERIFY(!r.gotPage());
        QVERIFY(r.text.isEmpty());
        if (!error.isEmpty()) // which limit ended it, where only one can
            QVERIFY2(r.error.startsWith(error), qPrintable(r.error));
    }

    // A host gets a handful of connections; every request ended early must give its own back,
    // or a few hostile answers leave the host unreachable for the rest of the session.
    void endedRequestsFreeTheirConnections_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("value");
        QTest::newRow("never answers") << int(SiteSimulator::FaultKind::Hang) << qint64(0);
        QTest::newRow("drips forever") << int(SiteSimulator::FaultKind::Drip) << qint64(50);
        QTest::newRow("over the cap") << int(SiteSimulator::FaultKind::Oversized) << 17 * kMiB;
        QTest::newRow("inflates past the cap")
            << int(SiteSimulator::FaultKind::GzipBomb) << qint64(17);
    }
    void endedRequestsFreeTheirConnections()
    {
        QFETCH(int, kind);
        QFETCH(qint64, value);
        PageFetcher fetcher;
        PageFetcher::Limits limits;
        limits.transferTimeoutMs = 200;
        limits.totalDeadlineMs = 400;
        fetcher.setLimits(limits);
        const QString page = url(QStringLiteral("/search?bwm=p&p=a.com"));
        m_sim.setFault(Route::YahooPages, {SiteSimulator::FaultKind(kind), value});
        for (int i = 0; i < 8; ++i) // more than the connections Qt opens to one host
            QVERIFY(!QCoro::waitFor(fetcher.FetchUtf8(page)).gotPage());
        QCOMPARE(m_sim.requestCount(Route::YahooPages), 8);
        m_sim.clearFaults();
        const FetchResult r = QCoro::waitFor(fetcher.FetchUtf8(page));
        QVERIFY2(r.gotPage(), qPrintable(r.error));
        QCOMPARE(r.text, QString::fromUtf8(SimContent::yahooPagesPage(QStringLiteral("a.com"))));
        QCOMPARE(m_sim.requestCount(Route::YahooPages), 9);
    }

    // The window, and the fetcher with it, may go while a server holds an answer back: whatever
    // waited for that page ends, writes no measurement and asks for nothing more. (A lookup that
    // outlives its fetcher reports the filing page it could not get as a failed query.)
    void fetcherGoesDuringAWait_data()
    {
        QTest::addColumn<int>("consumer");
        QTest::addColumn<QString>("filing"); // the lookup's filing label at the end
        for (int c : {0, 6, int(PageRankAnswer), int(DailyLoader)})
            QTest::newRow(qPrintable(consumerName(c))) << c << QString();
        QTest::newRow("lookup dates") << int(LookupDates) << DetailLookup::kReset;
        QTest::newRow("lookup filing") << int(LookupFiling) << kQueryFailed;
    }
    void fetcherGoesDuringAWait()
    {
        QFETCH(int, consumer);
        QFETCH(QString, filing);
        const Route route = routeOf(consumer);
        m_sim.hold(route);
        auto fetcher = std::make_unique<PageFetcher>();
        bool done = false;
        ResultTable table;
        CategoryImport(table, {m_domain, QStringLiteral("second.com")});
        DeletionLists lists(fetcher.get());
        lists.setEndpoints(m_sim.endpoints());
        DetailLookup lookup(fetcher.get());
        lookup.setEndpoints(m_sim.endpoints());
        QString filingLabel;
        connect(&lookup, &DetailLookup::filingValue, this,
                [&](const QString &text) { filingLabel = text; });
        QCoro::Task<void> task = [&]() -> QCoro::Task<void> {
            if (consumer <= PageRankAnswer) {
                Probes::ProbeEnv env;
                env.table = &table;
                env.fetcher = fetcher.get();
                env.endpoints = m_sim.endpoints();
                return Probes::runProbe(env, consumer == PageRankAnswer ? 6 : consumer);
            }
            if (consumer == DailyLoader)
                return lists.LoadDailyDeletionList(2, m_today);
            return lookup.LookUpDomainDetail(m_domain);
        }();
        task.then([&] { done = true; });
        QTRY_COMPARE(m_sim.heldCount(route), 1);
        fetcher.reset();
        QTRY_VERIFY(done);
        for (int r = 1; r <= 2; ++r) {
            for (int c = 2; c < kColumnCount; ++c)
                QCOMPARE(table.CellText(r, c), kBlankCell);
        }
        for (const QStringList &list : lists.lists())
            QVERIFY(list.isEmpty());
        QCOMPARE(filingLabel, filing);
        const bool twoPages = consumer == LookupFiling || consumer == PageRankAnswer;
        QCOMPARE(m_sim.requestCount(), twoPages ? 2 : 1); // nothing asked after the wait
    }

    // Each consumer of pages, each hostile server: the documented result, nothing else.
    void serverFaults_data()
    {
        QTest::addColumn<int>("consumer");
        QTest::addColumn<int>("faultIndex");
        for (int c = 0; c < ConsumerCount; ++c) {
            for (int f = 0; f < faultCases().size(); ++f)
                QTest::addRow("%s, %s", qPrintable(consumerName(c)), faultCases()[f].name)
                    << c << f;
        }
    }
    void serverFaults()
    {
        QFETCH(int, consumer);
        QFETCH(int, faultIndex);
        const FaultCase &fc = faultCases()[faultIndex];
        Endpoints endpoints = m_sim.endpoints();
        if (fc.closedPort) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            const QString nowhere = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
            closed.close();
            // The answer page's host comes from the tool's page, not from the endpoints.
            if (consumer == PageRankAnswer)
                m_sim.setFault(Route::PageRank,
                               Fault::body(SimContent::pageRankPage(m_domain, nowhere)));
            else
                QVERIFY(endpoints.setHost(endpointOf(consumer), nowhere));
        } else {
            m_sim.setFault(routeOf(consumer), fc.fault);
        }

        if (consumer <= PageRankAnswer) {
            const int metric = consumer == PageRankAnswer ? 6 : consumer;
            const int column = Probes::metric(metric).column;
            const ResultRow row = probeOne(metric, m_domain, endpoints);
            const QString want = fc.outcome == Outcome::Failed     ? kQueryFailed
                                 : fc.outcome == Outcome::Unmarked ? unmarked(metric)
                                                                   : expectedCell(metric, m_domain);
            QCOMPARE(row.cells[std::size_t(column)], want);
            for (int c = 2; c < kColumnCount; ++c) {
                if (c != column)
                    QCOMPARE(row.cells[std::size_t(c)], kBlankCell);
            }
            return;
        }

        if (consumer == DailyLoader || consumer == CnLoader) {
            const bool daily = consumer == DailyLoader;
            const QString token = DeletionLists::cnToken(2);
            const QString address = daily ? QStringLiteral("http://") + endpoints.dailyLists +
                                                u'/' + DeletionLists::dayDateText(2, m_today) +
                                                QStringLiteral(".txt")
                                          : QStringLiteral("http://") + endpoints.cnRegistry +
                                                QStringLiteral("/download/registar_list/") + token +
                                                QStringLiteral(".txt");
            // A page that comes back is filed whatever it says: fetch the same answer to know it.
            QString pageText;
            if (fc.outcome != Outcome::Failed) {
                const FetchResult page = QCoro::waitFor(m_fetcher.FetchGb2312(address));
                QVERIFY2(page.gotPage(), qPrintable(page.error));
                pageText = page.text;
            }
            DeletionLists lists(&m_fetcher);
            lists.setEndpoints(endpoints);
            lists.setChunkSize(997);
            QSignalSpy failed(&lists, &DeletionLists::downloadFailed);
            if (daily)
                QCoro::waitFor(lists.LoadDailyDeletionList(2, m_today));
            else
                QCoro::waitFor(lists.LoadCnDeletionList(token));
            if (fc.outcome == Outcome::Failed) {
                QCOMPARE(failed.size(), 1);
                QCOMPARE(failed[0][0].toString(), address);
            } else {
                QCOMPARE(failed.size(), 0);
            }
            const QString cnText =
                daily ? PageFetcher::DecodeBody(SimContent::cnDeletionList(token), Charset::Gb2312)
                      : pageText;
            const Sources::SourceLists want = filedLists(daily ? pageText : QString(), cnText);
            for (int i = 0; i < Sources::kSourceCount; ++i)
                QCOMPARE(lists.list(i), want[std::size_t(i)]);
            return;
        }

        DetailLookup lookup(&m_fetcher);
        lookup.setEndpoints(endpoints);
        QMap<int, QString> labels;
        QString filing;
        connect(&lookup, &DetailLookup::dateValue, this,
                [&](int k, const QString &text) { labels[k] = text; });
        connect(&lookup, &DetailLookup::filingValue, this,
                [&](const QString &text) { filing = text; });
        QSignalSpy failed(&lookup, &DetailLookup::fetchFailed);
        QCoro::waitFor(lookup.LookUpDomainDetail(m_domain));
        QCOMPARE(failed.size(), fc.outcome == Outcome::Failed ? 1 : 0);
        if (consumer == LookupDates) {
            QCOMPARE(labels, fc.outcome == Outcome::Marked ? dateLabels(m_domain) : resetLabels());
            QCOMPARE(filing, filingLabel(m_domain));
        } else {
            QCOMPARE(labels, dateLabels(m_domain));
            const QString want = fc.outcome == Outcome::Failed     ? kQueryFailed
                                 : fc.outcome == Outcome::Unmarked ? DetailLookup::kNotFiled
                                                                   : filingLabel(m_domain);
            QCOMPARE(filing, want);
        }
    }

    // The PageRank answer page is asked wherever the tool's page points, over "http://".
    void pageRankAnswerAddress_data()
    {
        QTest::addColumn<QString>("frameAddress"); // after "http://"; %1 the other host
        QTest::addColumn<QString>("otherTarget");  // what the other host must be asked
        QTest::addColumn<QString>("cell");         // %1 the rank of the named domain

        QTest::newRow("another host")
            << QStringLiteral("%1/prframe?d=elsewhere.org")
            << QStringLiteral("/prframe?d=elsewhere.org") << QStringLiteral("%1");
        QTest::newRow("spaces and non-ASCII")
            << QStringLiteral("%1/prframe?d=a b中.org")
            << QStringLiteral("/prframe?d=a%20b%E4%B8%AD.org") << QStringLiteral("%1");
        QTest::newRow("empty address") << QString() << QString() << kQueryFailed;
        QTest::newRow("host only, no path")
            << QStringLiteral("%1") << QStringLiteral("/") << QStringLiteral("0");
        QTest::newRow("unknown path") << QStringLiteral("%1/<b>x</b>")
                                      << QStringLiteral("/%3Cb%3Ex%3C/b%3E") << QStringLiteral("0");
    }
    void pageRankAnswerAddress()
    {
        QFETCH(QString, frameAddress);
        QFETCH(QString, otherTarget);
        QFETCH(QString, cell);
        SiteSimulator other;
        QVERIFY(other.listen());
        const QString address =
            frameAddress.contains(u"%1") ? frameAddress.arg(other.hostPort()) : frameAddress;
        m_sim.setFault(Route::PageRank,
                       Fault::body("<html><iframe src=\"http://" + address.toUtf8() +
                                   "\" width=\"88\"></iframe></html>"));
        const ResultRow row = probeOne(6, m_domain, m_sim.endpoints());
        QCOMPARE(m_sim.requestCount(Route::PageRankFrame), 0);
        QCOMPARE(other.requestTargets(),
                 otherTarget.isEmpty() ? QStringList() : QStringList{otherTarget});
        const QString asked = QUrl::fromPercentEncoding(otherTarget.mid(11).toUtf8());
        QCOMPARE(row.cells[PageRank],
                 cell.contains(u"%1") ? cell.arg(expectedCell(6, asked)) : cell);
    }

    // Names as a hostile list may carry them: every request still goes to the configured host
    // and path, and the site is asked about the name as it stands (a '#' ends an address, so
    // the site hears what precedes it).
    void hostileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("consumer");
        const QList<std::pair<const char *, std::pair<QString, QString>>> names = {
            {"space", {QStringLiteral("a b.com"), QStringLiteral("a b.com")}},
            {"hash", {QStringLiteral("ab#cd.com"), QStringLiteral("ab")}},
            {"question mark", {QStringLiteral("a?b=c.com"), QStringLiteral("a?b=c.com")}},
            {"at", {QStringLiteral("user@evil.com"), QStringLiteral("user@evil.com")}},
            {"slash", {QStringLiteral("a/../../b.com"), QStringLiteral("a/../../b.com")}},
            {"backslash", {QStringLiteral("a\\b.com"), QStringLiteral("a\\b.com")}},
            {"CR", {QStringLiteral("a\rb.com"), QStringLiteral("a\rb.com")}},
            {"LF", {QStringLiteral("a\nb.com"), QStringLiteral("a\nb.com")}},
            {"header injection",
             {QStringLiteral("a.com HTTP/1.1\r\nHost: evil.com\r\n\r\n"),
              QStringLiteral("a.com HTTP/1.1\r\nHost: evil.com\r\n\r\n")}},
            {"non-ASCII", {QStringLiteral("中文域名.中国"), QStringLiteral("中文域名.中国")}},
            {"markup", {QStringLiteral("<b>x</b>.com"), QStringLiteral("<b>x</b>.com")}},
            {"ampersand", {QStringLiteral("a&wd=b.com"), QStringLiteral("a&wd=b.com")}},
            {"10,000 characters",
             {QString(10'000 - 4, u'w') + QStringLiteral(".com"),
              QString(10'000 - 4, u'w') + QStringLiteral(".com")}},
        };
        for (const auto &[label, pair] : names) {
            for (int c = 0; c <= Probes::kMetricCount; ++c) {
                const QString who =
                    c < Probes::kMetricCount ? Probes::metric(c).probe : QStringLiteral("lookup");
                QTest::addRow("%s, %s", label, qPrintable(who)) << pair.first << pair.second << c;
            }
        }
    }
    void hostileNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, sent);
        QFETCH(int, consumer);
        // Only the configured sites answer: a request sent anywhere else fails.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        Endpoints only = Endpoints::allAt(QStringLiteral("127.0.0.1:%1").arg(closed.serverPort()));
        closed.close();

        if (consumer == Probes::kMetricCount) {
            QVERIFY(only.setHost(endpointOf(LookupDates), m_sim.hostPort()));
            QVERIFY(only.setHost(endpointOf(LookupFiling), m_sim.hostPort()));
            DetailLookup lookup(&m_fetcher);
            lookup.setEndpoints(only);
            QMap<int, QString> labels;
            QString filing;
            connect(&lookup, &DetailLookup::dateValue, this,
                    [&](int k, const QString &text) { labels[k] = text; });
            connect(&lookup, &DetailLookup::filingValue, this,
                    [&](const QString &text) { filing = text; });
            QCoro::waitFor(lookup.LookUpDomainDetail(name));
            QCOMPARE(m_sim.requestCount(), 2);
            QCOMPARE(m_sim.requestTargets(Route::DeletionTool).size(), 1);
            QCOMPARE(m_sim.requestTargets(Route::Icp).size(), 1);
            QCOMPARE(sentName(m_sim.requestTargets(Route::DeletionTool)[0],
                              QStringLiteral("/DomainDel/?wd=")),
                     sent);
            QCOMPARE(
                sentName(m_sim.requestTargets(Route::Icp)[0], QStringLiteral("/s?keytype=0&q=")),
                sent);
            QCOMPARE(labels, dateLabels(sent));
            QCOMPARE(filing, filingLabel(sent));
            return;
        }

        const Route route = routeOf(consumer);
        QVERIFY(only.setHost(endpointOf(consumer), m_sim.hostPort()));
        const ResultRow row = probeOne(consumer, name, only);
        const QStringList targets = m_sim.requestTargets(route);
        QCOMPARE(targets.size(), 1);
        QCOMPARE(sentName(targets[0], probePath(consumer)), sent);
        int requests = 1;
        if (route == Route::PageRank && !SimContent::pageRank(sent).isEmpty()) {
            // The answer page: the address the tool's page gave, with the name as it printed it.
            const QStringList frames = m_sim.requestTargets(Route::PageRankFrame);
            QCOMPARE(frames.size(), 1);
            QCOMPARE(sentName(frames[0], QStringLiteral("/prframe?d=")), sent);
            ++requests;
        }
        QCOMPARE(m_sim.requestCount(), requests);
        QCOMPARE(row.cells[kDomainColumn], name);
        QCOMPARE(row.cells[std::size_t(Probes::metric(consumer).column)],
                 expectedCell(consumer, sent));
    }

    // Lists as a hostile server may send them, through both loaders, the length breakdown, both
    // length sorts and the import: every result as the pure functions give it.
    void hostileLists_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray nul("abc.com\r\n\0\0\0\r\nde\0f.net\r\n[\0]ab.cn\r\n1\0.com.cn\r\n\0", 33);
        QTest::newRow("NUL bytes") << nul;
        QTest::newRow("1 MB lines") << QByteArray(kMiB, 'a') + ".com\r\nshort.net\r\n" +
                                           QByteArray(kMiB, '7') + ".cn\r\n" +
                                           QByteArray(kMiB, 'b') + ".org\r\n";
        QTest::newRow("only brackets") << QByteArray("[[[]]]\r\n[]\r\n]\r\n[\r\n").repeated(1000);
        QTest::newRow("only CRs") << QByteArray(100'000, '\r');
        QTest::newRow("no final line feed")
            << QByteArray("abc.com\r\nxyz.net\r\nq.com.cn\r\n12345.cn\r\nlastname.biz");
        QTest::newRow("a million empty lines") << QByteArray(1'000'000, '\n');
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("invalid sequences")
            << QByteArray("\x80\xff.com\r\n\xc3\x28.net\r\n\x81\x20.cn\r\nok.info\r\n");
        QTest::newRow("mixed line ends")
            << QByteArray("a.com\rb.net\nc.org\r\n\n\r\r\nd.cn\r\n\r12e3.com\n007.cn");
        QTest::newRow("many distinct lengths") << [] {
            QByteArray out;
            for (int len = 1; len <= 600; ++len)
                out += QByteArray((len * 7919) % 600 + 1, char('a' + len % 26)) + ".cn\r\n";
            return out;
        }();
    }
    void hostileLists()
    {
        QFETCH(QByteArray, bytes);
        m_sim.setFault(Route::DailyList, Fault::body(bytes));
        m_sim.setFault(Route::CnRegistryList, Fault::body(bytes));
        PageFetcher::Limits limits; // lists take longer than a probe's page
        m_fetcher.setLimits(limits);

        DeletionLists lists(&m_fetcher);
        lists.setEndpoints(m_sim.endpoints());
        lists.setChunkSize(997);
        QSignalSpy failed(&lists, &DeletionLists::downloadFailed);
        QCoro::waitFor(lists.LoadDailyDeletionList(2, m_today));
        QCOMPARE(failed.size(), 0);
        const QString text = PageFetcher::DecodeBody(bytes, Charset::Gb2312);
        const Sources::SourceLists want = filedLists(text, text);
        for (int i = 0; i < Sources::kSourceCount; ++i) {
            const QStringList &list = lists.list(i);
            QCOMPARE(list, want[std::size_t(i)]);

            const Sources::Categories categories = Sources::LengthBreakdown(list, i);
            QCOMPARE(categories, referenceBreakdown(list, i));

            QStringList sorted = list;
            Sources::SortByLength(sorted);
            if (list.size() <= 3000) {
                QStringList literal = list;
                Sources::SortByLengthLiteral(literal);
                QCOMPARE(sorted, literal);
            } else {
                // Too long for the quadratic reference: same names, shortest first.
                for (qsizetype k = 1; k < sorted.size(); ++k)
                    QVERIFY(sorted[k - 1].size() <= sorted[k].size());
                QStringList a = sorted;
                QStringList b = list;
                a.sort();
                b.sort();
                QCOMPARE(a, b);
            }

            for (int k = 0; k < Sources::kCategoryCount; ++k) {
                ResultTable table;
                CategoryImport(table, categories[std::size_t(k)]);
                QCOMPARE(qsizetype(table.RowCount()), categories[std::size_t(k)].size());
                for (int r = 1; r <= table.RowCount(); ++r) {
                    QCOMPARE(table.CellText(r, 0), QString::number(r - 1));
                    QCOMPARE(table.CellText(r, kDomainColumn), categories[std::size_t(k)][r - 1]);
                    QCOMPARE(table.CellText(r, kColumnCount - 1), kBlankCell);
                }
            }
        }
    }

    // The same lists through the window's buttons.
    void markupInGridCells_data()
    {
        QTest::addColumn<int>("metric");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("cell");
        QTest::newRow("bold") << 0
                              << QByteArray("<html>\xd5\xd2\xb5\xbd\xcf\xe0\xb9\xd8\xbd\xe1"
                                            "\xb9\xfb<b>x</b>\xb8\xf6</html>")
                              << QStringLiteral("<b>x</b>");
        QTest::newRow("image") << 0
                               << QByteArray("<html>\xd5\xd2\xb5\xbd\xcf\xe0\xb9\xd8\xbd\xe1\xb9"
                                             "\xfb<img\tsrc=\"x.png\">\xb8\xf6</html>")
                               << QStringLiteral("<img\tsrc=\"x.png\">");
        QTest::newRow("entity") << 2
                                << QByteArray("\xe6\x89\xbe\xe5\x88\xb0\xe7\xba\xa6 &lt;i&gt; x")
                                << QStringLiteral("&lt;i&gt;");
    }
    void markupInGridCells()
    {
        QFETCH(int, metric);
        QFETCH(QByteArray, page);
        QFETCH(QString, cell);
        m_sim.setFault(routeOf(metric), Fault::body(page));
        MainWindow window(m_sim.endpoints());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const Form1Controls &c = window.controls();
        CategoryImport(*window.table(), {QStringLiteral("markup.com")});
        c.Check2[std::size_t(metric)]->setChecked(true);
        QTest::mouseClick(c.Command2, Qt::LeftButton);
        const int column = Probes::metric(metric).column;
        QTRY_COMPARE(window.table()->CellText(1, column), cell);

        const QModelIndex index = window.table()->index(0, column);
        QCOMPARE(index.data(Qt::DisplayRole).toString(), cell);
        QTableView *grid = c.ListView1;
        const QRect rect = grid->visualRect(index);
        QVERIFY(rect.isValid());
        QHelpEvent help(QEvent::ToolTip, rect.center(),
                        grid->viewport()->mapToGlobal(rect.center()));
        QApplication::sendEvent(grid->viewport(), &help);
        QTRY_VERIFY(visibleToolTip());
        QCOMPARE(shownText(visibleToolTip()), cell);
    }

    // The detail panel's labels show what the pages said, markup and all, as plain characters.
    void markupInDetailLabels()
    {
        const QStringList cells = {
            QStringLiteral("<i>7年</i>"), QStringLiteral("<img\tsrc=\"y.png\">"),
            QStringLiteral("&lt;b&gt;"), QStringLiteral("<a href=\"http://x/\">x</a>"),
            QStringLiteral("<u>u</u>")};
        QByteArray dates = "<html><table><tr>";
        for (const QString &cell : cells)
            dates += "<td class=\"deltd1\">" + cell.toUtf8() + "</td>";
        dates += "</tr></table><p>\xe8\xbf\x98\xe5\x89\xa9 x</p><span>\xe8\xbf\x98\xe5\x89\xa9"
                 "\xef\xbc\x9a&amp;3</span></html>";
        m_sim.setFault(Route::DeletionTool, Fault::body(dates));
        m_sim.setFault(Route::Icp,
                       Fault::body("<td class=\"ap\"><a href=\"/\">x</a> <a target=\"_blank\">"
                                   "&lt;b&gt;ICP&amp;</a></td>"));
        MainWindow window(m_sim.endpoints());
        window.show();
        const Form1Controls &c = window.controls();
        c.Text5->setText(QStringLiteral("markup.com"));
        QTest::mouseClick(c.Command11, Qt::LeftButton);
        QTRY_COMPARE(c.Label7->text(), QStringLiteral("&lt;b&gt;ICP&amp;"));
        QCOMPARE(shownText(c.Label7), QStringLiteral("&lt;b&gt;ICP&amp;"));
        for (int k = 1; k <= 5; ++k)
            QCOMPARE(shownText(c.Label6[std::size_t(k)]), cells[k - 1]);
        QCOMPARE(shownText(c.Label6[6]), QStringLiteral("&amp;3"));
    }
};

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
