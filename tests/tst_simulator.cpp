#include "SimContent.h"
#include "SiteSimulator.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <zlib.h>

using Route = SiteSimulator::Route;
using FaultKind = SiteSimulator::FaultKind;

// A value function of SimContent, reduced to text; empty means "no value".
using ValueOf = QString (*)(const QString &domain);
Q_DECLARE_METATYPE(ValueOf)

namespace {

struct Fetched {
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray contentType;
    QByteArray contentEncoding;
    qint64 declaredLength = -1;
    QByteArray retryAfter;
    QByteArray body;
    qint64 elapsedMs = 0;
};

// Waits for the reply's finished signal, never a fixed time.
Fetched fetch(QNetworkAccessManager &nam, const QUrl &url,
              const QList<std::pair<QByteArray, QByteArray>> &headers = {}, int waitMs = 10000)
{
    QNetworkRequest request(url);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QNetworkReply> reply(nam.get(request));
    QSignalSpy done(reply.get(), &QNetworkReply::finished);
    Fetched f;
    f.finished = done.wait(waitMs);
    f.elapsedMs = clock.elapsed();
    f.error = reply->error();
    f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    f.contentType = reply->rawHeader("Content-Type");
    f.contentEncoding = reply->rawHeader("Content-Encoding");
    f.declaredLength = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    f.retryAfter = reply->rawHeader("Retry-After");
    f.body = reply->readAll();
    return f;
}

struct RawAnswer {
    int status = 0;
    QByteArray head;
    QByteArray body;
};

// Sends each request byte for byte on one connection, the next once the previous answer (framed
// by Content-Length) is in; splitAt > 0 sends each request in two writes. Returns the answers
// that came. QNetworkAccessManager would normalise targets; this does not.
QList<RawAnswer> rawExchange(quint16 port, const QList<QByteArray> &requests, qsizetype splitAt = 0)
{
    QTcpSocket socket;
    QByteArray in;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { in += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, port);
    QList<RawAnswer> answers;
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }))
        return answers;
    const auto takeAnswer = [&] {
        const qsizetype end = in.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        RawAnswer a;
        a.head = in.left(end);
        static const QRegularExpression lengthRe(QStringLiteral("\r\nContent-Length: (\\d+)"));
        const qsizetype length =
            lengthRe.match(QString::fromLatin1(a.head)).captured(1).toLongLong();
        if (in.size() - end - 4 < length)
            return false;
        a.status = a.head.mid(9, 3).toInt();
        a.body = in.mid(end + 4, length);
        in.remove(0, end + 4 + length);
        answers << a;
        return true;
    };
    for (const QByteArray &request : requests) {
        if (splitAt > 0) {
            socket.write(request.left(splitAt));
            // Let the server read the first part on its own before the rest arrives.
            if (!QTest::qWaitFor([&] { return socket.bytesToWrite() == 0; }))
                return answers;
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
        }
        socket.write(request.mid(qMax<qsizetype>(splitAt, 0)));
        if (!QTest::qWaitFor(takeAnswer, 10000))
            return answers;
    }
    return answers;
}

bool isGbRoute(Route route)
{
    switch (route) {
    case Route::BaiduSite:
    case Route::BaiduDomain:
    case Route::Registrar:
    case Route::CnRegistryList:
    case Route::DailyList:
    case Route::Icp:
    case Route::MakerVersion:
    case Route::MakerPage:
        return true;
    default:
        return false;
    }
}

QString decode(const QByteArray &body, bool gb, bool *hadError = nullptr)
{
    QStringDecoder decoder = gb ? QStringDecoder("GB18030") : QStringDecoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(body);
    if (hadError)
        *hadError = decoder.hasError();
    return text;
}

// The text between `open` and the next `close` after it; null when `open` is absent.
QString between(const QString &text, const QString &open, const QString &close)
{
    const qsizetype at = text.indexOf(open);
    if (at < 0)
        return {};
    const qsizetype from = at + open.size();
    return text.mid(from, text.indexOf(close, from) - from);
}

const QStringList kDomains = {
    QStringLiteral("example.com"),     QStringLiteral("baidu.com"),
    QStringLiteral("qq.com"),          QStringLiteral("abc123.net"),
    QStringLiteral("zzz.cn"),          QStringLiteral("shop-online.com.cn"),
    QStringLiteral("a b.com"),         QStringLiteral("中文域名.com"),
    QStringLiteral("x.org"),           QStringLiteral("1e5.com"),
    QStringLiteral("sina.com.cn"),     QStringLiteral("taobao.com"),
    QStringLiteral("weather.info"),    QStringLiteral("my-biz.biz"),
    QStringLiteral("lonelylabel.net"), QStringLiteral("163.com"),
};

// The address prefix each domain route is fetched with; the client appends the domain as is.
QString prefixOf(Route route)
{
    switch (route) {
    case Route::BaiduSite:
        return QStringLiteral("/s?wd=site%3A");
    case Route::BaiduDomain:
        return QStringLiteral("/s?wd=domain%3A");
    case Route::Google:
        return QStringLiteral("/search?hl=zh-CN&source=hp&q=site%3A");
    case Route::YahooPages:
        return QStringLiteral("/search?bwm=p&p=");
    case Route::YahooLinks:
        return QStringLiteral("/search?bwm=i&p=");
    case Route::Registrar:
        return QStringLiteral("/cgi-bin/check.cgi?area_domain=");
    case Route::PageRank:
        return QStringLiteral("/?PRAddress=");
    case Route::PageRankFrame:
        return QStringLiteral("/prframe?d=");
    case Route::DeletionTool:
        return QStringLiteral("/DomainDel/?wd=");
    case Route::Icp:
        return QStringLiteral("/s?keytype=0&q=");
    default:
        return {};
    }
}

QByteArray normalPage(Route route, const QString &param, const QString &hostPort)
{
    switch (route) {
    case Route::BaiduSite:
        return SimContent::baiduPage(param, true);
    case Route::BaiduDomain:
        return SimContent::baiduPage(param, false);
    case Route::Google:
        return SimContent::googlePage(param);
    case Route::YahooPages:
        return SimContent::yahooPagesPage(param);
    case Route::YahooLinks:
        return SimContent::yahooLinksPage(param);
    case Route::Registrar:
        return SimContent::registrarAnswer(param);
    case Route::PageRank:
        return SimContent::pageRankPage(param, hostPort);
    case Route::PageRankFrame:
        return SimContent::pageRankFrame(param);
    case Route::DeletionTool:
        return SimContent::deletionToolPage(param);
    case Route::Icp:
        return SimContent::icpPage(param);
    case Route::CnRegistryList:
        return SimContent::cnDeletionList(param);
    case Route::MakerPage:
        return SimContent::makerPage();
    default:
        return {};
    }
}

qint64 inflatedSize(const QByteArray &gzip, QByteArray *firstBytes)
{
    z_stream zs{};
    inflateInit2(&zs, 15 + 16);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(gzip.constData()));
    zs.avail_in = uInt(gzip.size());
    char chunk[64 * 1024];
    qint64 total = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef *>(chunk);
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        const qint64 got = qint64(sizeof chunk - zs.avail_out);
        if (total == 0)
            *firstBytes = QByteArray(chunk, got);
        total += got;
    }
    inflateEnd(&zs);
    return rc == Z_STREAM_END ? total : -1;
}

} // namespace

class TestSimulator : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void fnvKnownAnswers_data();
    void fnvKnownAnswers();
    void valueShares_data();
    void valueShares();
    void pageWordingsVary();
    void scrapedValues_data();
    void scrapedValues();
    void rawTargets_data();
    void rawTargets();
    void oneConnectionManyRequests_data();
    void oneConnectionManyRequests();
    void pageRankFrameFollowsHost_data();
    void pageRankFrameFollowsHost();
    void makerVersion_data();
    void makerVersion();
    void lists_data();
    void lists();
    void sameAnswersFromAnotherInstance_data();
    void sameAnswersFromAnotherInstance();
    void millionLineList();
    void endpointsPointHere();
    void faults_data();
    void faults();
    void faultOnAllRoutes();
    void holdAndRelease_data();
    void holdAndRelease();
    void teardownWithWaitingClient_data();
    void teardownWithWaitingClient();

private:
    QUrl urlFor(const QString &target) const
    {
        return QUrl(QStringLiteral("http://") + m_sim->hostPort() + target);
    }

    std::unique_ptr<SiteSimulator> m_sim;
    std::unique_ptr<QNetworkAccessManager> m_nam;
};

void TestSimulator::init()
{
    m_sim = std::make_unique<SiteSimulator>();
    QVERIFY(m_sim->listen());
    m_nam = std::make_unique<QNetworkAccessManager>();
    m_nam->setProxy(QNetworkProxy::NoProxy);
}

void TestSimulator::cleanup()
{
    m_nam.reset();
    m_sim.reset();
}

void TestSimulator::fnvKnownAnswers_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<quint64>("hash");
    // Published FNV-1a 64-bit test vectors.
    QTest::newRow("empty") << QByteArray() << quint64(0xcbf29ce484222325ULL);
    QTest::newRow("a") << QByteArray("a") << quint64(0xaf63dc4c8601ec8cULL);
    QTest::newRow("foobar") << QByteArray("foobar") << quint64(0x85944171f73967e8ULL);
}

void TestSimulator::fnvKnownAnswers()
{
    QFETCH(QByteArray, input);
    QFETCH(quint64, hash);
    QCOMPARE(SimContent::fnv1a(input), hash);
}

void TestSimulator::valueShares_data()
{
    QTest::addColumn<ValueOf>("value");
    QTest::addColumn<int>("emptyPercent");
    QTest::addColumn<QString>("shape");

    const QString count = QStringLiteral("[1-9][0-9]{0,2}(,[0-9]{3})*");
    const QString digits = QStringLiteral("[1-9][0-9]*");
    QTest::newRow("baidu site:") << ValueOf([](const QString &d) {
        return SimContent::baiduCount(d, true);
    }) << 15 << count;
    QTest::newRow("baidu domain:")
        << ValueOf([](const QString &d) { return SimContent::baiduCount(d, false); }) << 15
        << count;
    QTest::newRow("google") << ValueOf(&SimContent::googleCount) << 15 << count;
    QTest::newRow("yahoo pages") << ValueOf(&SimContent::yahooPages) << 15 << digits;
    QTest::newRow("yahoo links") << ValueOf(&SimContent::yahooLinks) << 15 << digits;
    QTest::newRow("registrable") << ValueOf([](const QString &d) {
        return SimContent::registrable(d) ? QStringLiteral("yes") : QString();
    }) << 70 << QStringLiteral("yes");
    QTest::newRow("pagerank") << ValueOf(&SimContent::pageRank) << 25 << QStringLiteral("[0-9]");
    QTest::newRow("deletion info") << ValueOf([](const QString &d) {
        const SimContent::DeletionInfo info = SimContent::deletionInfo(d);
        return info.cells.isEmpty() ? QString() : info.cells.join(u'|') + u'|' + info.countdown;
    }) << 30
                                   << QStringLiteral("<b>[0-9]+年</b>\\(近似值\\)"
                                                     "(\\|[0-9]{4}-[0-9]{2}-[0-9]{2}){3}"
                                                     "\\|(宽限期|赎回期|待删除)"
                                                     "\\|[0-9]+ 天 [0-9]+ 小时");
    QTest::newRow("icp") << ValueOf(&SimContent::icpNumber) << 60
                         << QStringLiteral(".ICP备[0-9]{8}号(-[0-9])?");
}

void TestSimulator::valueShares()
{
    QFETCH(ValueOf, value);
    QFETCH(int, emptyPercent);
    QFETCH(QString, shape);

    const QRegularExpression re(QRegularExpression::anchoredPattern(shape));
    constexpr int n = 4000;
    int empty = 0;
    for (int i = 0; i < n; ++i) {
        const QString domain = QStringLiteral("name%1.com").arg(i);
        const QString v = value(domain);
        QCOMPARE(value(domain), v); // the same domain always gives the same value
        if (v.isEmpty())
            ++empty;
        else
            QVERIFY2(re.match(v).hasMatch(), qPrintable(domain + QStringLiteral(": ") + v));
    }
    // 3 points is more than five standard deviations at n = 4000.
    QVERIFY2(qAbs(empty * 100 / n - emptyPercent) <= 3,
             qPrintable(QStringLiteral("%1 of %2 empty").arg(empty).arg(n)));
}

void TestSimulator::pageWordingsVary()
{
    QSet<QString> baiduForms;
    QSet<bool> frameEndings;
    for (int i = 0; i < 300; ++i) {
        const QString domain = QStringLiteral("vary%1.com").arg(i);
        const QString page = decode(SimContent::baiduPage(domain, true), true);
        static const QRegularExpression phrase(
            QStringLiteral("找到相关结果(约?)( ?)[0-9,]+( ?)个"));
        const QRegularExpressionMatch m = phrase.match(page);
        if (m.hasMatch())
            baiduForms << m.captured(1) + u'/' + m.captured(2);
        if (!SimContent::pageRank(domain).isEmpty())
            frameEndings << SimContent::pageRankFrame(domain).endsWith('\n');
    }
    // With and without 约, with a space around the number: clients must read them all.
    QCOMPARE(baiduForms.size(), 3);
    QCOMPARE(frameEndings.size(), 2);
}

void TestSimulator::scrapedValues_data()
{
    QTest::addColumn<Route>("route");
    QTest::addColumn<QString>("param");

    const Route routes[] = {Route::BaiduSite,  Route::BaiduDomain,  Route::Google,
                            Route::YahooPages, Route::YahooLinks,   Route::Registrar,
                            Route::PageRank,   Route::DeletionTool, Route::Icp};
    for (Route route : routes) {
        for (const QString &domain : kDomains) {
            const char *name = QMetaEnum::fromType<Route>().valueToKey(int(route));
            QTest::addRow("%s %s", name, qPrintable(domain)) << route << domain;
            if (route == Route::YahooLinks)
                QTest::addRow("%s www.%s", name, qPrintable(domain))
                    << route << QStringLiteral("www.") + domain;
        }
    }
}

// Reads each page the way the client is told to, and expects SimContent's value.
void TestSimulator::scrapedValues()
{
    QFETCH(Route, route);
    QFETCH(QString, param);

    const Fetched f = fetch(*m_nam, urlFor(prefixOf(route) + param));
    QVERIFY(f.finished);
    QCOMPARE(f.error, QNetworkReply::NoError);
    QCOMPARE(f.status, 200);
    const bool gb = isGbRoute(route);
    QVERIFY2(f.contentType.contains(gb ? "charset=gb2312" : "charset=utf-8"), f.contentType);
    bool badBytes = true;
    const QString page = decode(f.body, gb, &badBytes);
    QVERIFY(!badBytes);
    QCOMPARE(m_sim->requestCount(route), 1);
    QCOMPARE(m_sim->requestCount(), 1);

    switch (route) {
    case Route::BaiduSite:
    case Route::BaiduDomain: {
        const QString expected = SimContent::baiduCount(param, route == Route::BaiduSite);
        static const QRegularExpression re(QStringLiteral("找到相关结果约? ?([0-9,]+) ?个"));
        QCOMPARE(re.match(page).captured(1), expected);
        QCOMPARE(page.contains(QStringLiteral("找到相关结果")), !expected.isEmpty());
        break;
    }
    case Route::Google: {
        const QString expected = SimContent::googleCount(param);
        QCOMPARE(between(page, QStringLiteral("找到约 "), QStringLiteral(" ")), expected);
        QCOMPARE(page.contains(QStringLiteral("找到约 ")), !expected.isEmpty());
        break;
    }
    case Route::YahooPages:
    case Route::YahooLinks: {
        const bool pages = route == Route::YahooPages;
        const QString phrase =
            pages ? QStringLiteral("被收录的网页") : QStringLiteral("链向该地址的网页");
        const QString expected =
            pages ? SimContent::yahooPages(param) : SimContent::yahooLinks(param);
        QCOMPARE(page.contains(phrase), !expected.isEmpty());
        const QString afterPhrase = page.mid(qMax<qsizetype>(0, page.indexOf(phrase)));
        QCOMPARE(between(afterPhrase, QStringLiteral("共 <strong>"), QStringLiteral("</strong>")),
                 expected);
        break;
    }
    case Route::Registrar:
        QCOMPARE(page.contains(QStringLiteral("original>210")), SimContent::registrable(param));
        QCOMPARE(page.contains(QStringLiteral("original>211")), !SimContent::registrable(param));
        break;
    case Route::PageRank: {
        const QString expected = SimContent::pageRank(param);
        const QString src = between(page, QStringLiteral("<iframe src=\""), QStringLiteral("\""));
        QCOMPARE(src.isNull(), expected.isEmpty());
        if (expected.isEmpty())
            break;
        QCOMPARE(src, QStringLiteral("http://") + m_sim->hostPort() +
                          QStringLiteral("/prframe?d=") + param);
        const Fetched frame = fetch(*m_nam, QUrl(src));
        QVERIFY(frame.finished);
        QCOMPARE(frame.status, 200);
        QString rank = decode(frame.body, false);
        QVERIFY2(rank.startsWith(QStringLiteral("Rank_1:1:")), qPrintable(rank));
        QCOMPARE(rank.remove(QStringLiteral("1:1:")).mid(5).trimmed(), expected);
        QCOMPARE(m_sim->requestCount(Route::PageRankFrame), 1);
        break;
    }
    case Route::DeletionTool: {
        const SimContent::DeletionInfo info = SimContent::deletionInfo(param);
        QStringList cells;
        const QStringList pieces = page.split(QStringLiteral("deltd1\">"));
        for (qsizetype i = 1; i < pieces.size(); ++i)
            cells << pieces[i].left(pieces[i].indexOf(QStringLiteral("</td>")));
        QCOMPARE(cells, info.cells);
        QCOMPARE(between(page, QStringLiteral(">还剩："), QStringLiteral("<")), info.countdown);
        QCOMPARE(page.contains(QStringLiteral("没有查询到相应的信息")), info.cells.isEmpty());
        break;
    }
    case Route::Icp: {
        const QString expected = SimContent::icpNumber(param);
        const qsizetype at = page.indexOf(QStringLiteral("ap\"><a"));
        QCOMPARE(at >= 0, !expected.isEmpty());
        if (at < 0)
            break;
        const QString cell = page.mid(at, page.indexOf(QStringLiteral("</td>"), at) - at);
        QCOMPARE(between(cell, QStringLiteral("_blank\">"), QStringLiteral("<")), expected);
        break;
    }
    default:
        QFAIL("route without a scraper");
    }
}

void TestSimulator::rawTargets_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("split");
    QTest::addColumn<Route>("route");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    const auto row = [](const char *name, const QByteArray &target, Route route, int status,
                        const QByteArray &body) {
        QTest::newRow(name) << target << 0 << route << status << body;
        QTest::addRow("%s, split", name) << target << 7 << route << status << body;
    };
    const QByteArray notFound;
    row("baidu site", "/s?wd=site%3Aexample.com", Route::BaiduSite, 200,
        SimContent::baiduPage(QStringLiteral("example.com"), true));
    row("baidu site, lower-case escape kept", "/s?wd=site%3aex%7eample.com", Route::BaiduSite, 200,
        SimContent::baiduPage(QStringLiteral("ex~ample.com"), true));
    row("baidu site, escaped non-ASCII", "/s?wd=site%3A%E4%B8%AD%E6%96%87.com", Route::BaiduSite,
        200, SimContent::baiduPage(QStringLiteral("中文.com"), true));
    row("baidu site, escaped space", "/s?wd=site%3Aa%20b.com", Route::BaiduSite, 200,
        SimContent::baiduPage(QStringLiteral("a b.com"), true));
    row("baidu domain", "/s?wd=domain%3Aexample.com", Route::BaiduDomain, 200,
        SimContent::baiduPage(QStringLiteral("example.com"), false));
    row("icp shares /s", "/s?keytype=0&q=example.com", Route::Icp, 200,
        SimContent::icpPage(QStringLiteral("example.com")));
    row("google", "/search?hl=zh-CN&source=hp&q=site%3Aexample.com", Route::Google, 200,
        SimContent::googlePage(QStringLiteral("example.com")));
    row("yahoo pages shares /search", "/search?bwm=p&p=example.com", Route::YahooPages, 200,
        SimContent::yahooPagesPage(QStringLiteral("example.com")));
    row("yahoo links, www", "/search?bwm=i&p=www.example.com", Route::YahooLinks, 200,
        SimContent::yahooLinksPage(QStringLiteral("www.example.com")));
    row("registrar", "/cgi-bin/check.cgi?area_domain=example.com", Route::Registrar, 200,
        SimContent::registrarAnswer(QStringLiteral("example.com")));
    row("pagerank frame", "/prframe?d=example.com", Route::PageRankFrame, 200,
        SimContent::pageRankFrame(QStringLiteral("example.com")));
    row("deletion tool", "/DomainDel/?wd=example.com", Route::DeletionTool, 200,
        SimContent::deletionToolPage(QStringLiteral("example.com")));
    row("cn list", "/download/registar_list/future2todayDel.txt", Route::CnRegistryList, 200,
        SimContent::cnDeletionList(QStringLiteral("future2todayDel")));
    row("cn list, unknown token", "/download/registar_list/4todayDel.txt", Route::CnRegistryList,
        404, notFound);
    row("daily list", "/2024-05-01.txt", Route::DailyList, 200,
        SimContent::dailyDeletionList(QDate(2024, 5, 1), 6000));
    row("daily list, no such day", "/2024-02-30.txt", Route::DailyList, 404, notFound);
    row("maker page", "/varnel/", Route::MakerPage, 200, SimContent::makerPage());
    row("search without known keys", "/search?q=example.com", Route::NotFound, 404, notFound);
    row("/s without known keys", "/s?wd=example.com", Route::NotFound, 404, notFound);
    row("unknown path", "/nothing/here", Route::NotFound, 404, notFound);
}

// Raw requests: the log keeps the target byte for byte, and the route decodes the parameter.
void TestSimulator::rawTargets()
{
    QFETCH(QByteArray, target);
    QFETCH(int, split);
    QFETCH(Route, route);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    QSignalSpy received(m_sim.get(), &SiteSimulator::requestReceived);
    const QByteArray request = "GET " + target +
                               " HTTP/1.1\r\nHost: " + m_sim->hostPort().toLatin1() +
                               "\r\nUser-Agent: raw\r\n\r\n";
    const QList<RawAnswer> answers = rawExchange(m_sim->port(), {request}, split);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers[0].status, status);
    if (status == 200)
        QCOMPARE(answers[0].body, body);
    else
        QVERIFY(answers[0].body.contains("Not Found"));
    QCOMPARE(m_sim->requestTargets(), QStringList{QString::fromLatin1(target)});
    QCOMPARE(m_sim->requestTargets(route), QStringList{QString::fromLatin1(target)});
    QCOMPARE(m_sim->requestCount(route), 1);
    QCOMPARE(received.size(), 1);
    QCOMPARE(received[0][0].value<Route>(), route);
}

void TestSimulator::oneConnectionManyRequests_data()
{
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QStringList>("targets");
    QTest::addColumn<QList<int>>("statuses");

    QTest::newRow("two gets")
        << QList<QByteArray>{"GET /s?wd=site%3Aa.com HTTP/1.1\r\nHost: h\r\n\r\n",
                             "GET /varnel/ HTTP/1.1\r\nHost: h\r\n\r\n"}
        << QStringList{QStringLiteral("/s?wd=site%3Aa.com"), QStringLiteral("/varnel/")}
        << QList<int>{200, 200};
    // A body that looks like a request must not be taken for one.
    QTest::newRow("post body, then get")
        << QList<QByteArray>{"POST /form HTTP/1.1\r\nHost: h\r\nContent-Length: 24\r\n\r\nGET "
                             "/fake HTTP/1.1\r\n\r\nab",
                             "GET /prframe?d=a.com HTTP/1.1\r\nHost: h\r\n\r\n"}
        << QStringList{QStringLiteral("/form"), QStringLiteral("/prframe?d=a.com")}
        << QList<int>{404, 200};
    QTest::newRow("bare line feeds")
        << QList<QByteArray>{"GET /s?wd=domain%3a%e4%b8%ad.cn HTTP/1.1\nHost: h\n\n",
                             "GET /2024-05-01.txt HTTP/1.1\nHost: h\n\n"}
        << QStringList{QStringLiteral("/s?wd=domain%3a%e4%b8%ad.cn"),
                       QStringLiteral("/2024-05-01.txt")}
        << QList<int>{200, 200};
}

void TestSimulator::oneConnectionManyRequests()
{
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QStringList, targets);
    QFETCH(QList<int>, statuses);

    const QList<RawAnswer> answers = rawExchange(m_sim->port(), requests);
    QCOMPARE(answers.size(), requests.size());
    for (qsizetype i = 0; i < answers.size(); ++i)
        QCOMPARE(answers[i].status, statuses[i]);
    QCOMPARE(m_sim->requestTargets(), targets);
}

void TestSimulator::pageRankFrameFollowsHost_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::newRow("loopback") << QByteArray("127.0.0.1:8123");
    QTest::newRow("a name the demo uses") << QByteArray("pr.sim.test:4711");
}

void TestSimulator::pageRankFrameFollowsHost()
{
    QFETCH(QByteArray, host);
    QString domain;
    for (int i = 0; domain.isEmpty(); ++i) {
        const QString candidate = QStringLiteral("ranked%1.com").arg(i);
        if (!SimContent::pageRank(candidate).isEmpty())
            domain = candidate;
    }
    const QList<RawAnswer> answers =
        rawExchange(m_sim->port(), {"GET /?PRAddress=" + domain.toLatin1() +
                                    " HTTP/1.1\r\nHost: " + host + "\r\n\r\n"});
    QCOMPARE(answers.size(), 1);
    QVERIFY2(answers[0].body.contains("<iframe src=\"http://" + host +
                                      "/prframe?d=" + domain.toLatin1() + "\""),
             answers[0].body);
}

void TestSimulator::makerVersion_data()
{
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("expected");
    QTest::newRow("default") << QString() << QStringLiteral("8.1");
    QTest::newRow("newer") << QStringLiteral("9.0.3") << QStringLiteral("9.0.3");
    QTest::newRow("with words") << QStringLiteral("8.2 测试版") << QStringLiteral("8.2 测试版");
}

void TestSimulator::makerVersion()
{
    QFETCH(QString, set);
    QFETCH(QString, expected);
    if (!set.isNull())
        m_sim->setVersionText(set);
    const Fetched f = fetch(*m_nam, urlFor(QStringLiteral("/varnel/shenji.txt")));
    QVERIFY(f.finished);
    QCOMPARE(f.status, 200);
    QCOMPARE(decode(f.body, true), expected);
    QCOMPARE(m_sim->requestCount(Route::MakerVersion), 1);
}

void TestSimulator::lists_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("listSize");
    QTest::addColumn<QString>("nameShape");
    QTest::addColumn<QStringList>("mustOccur");

    const QString cnShape = QStringLiteral("(\\[[a-z0-9]{1,12}\\]|[a-z0-9]{1,12})"
                                           "\\.(cn|com\\.cn|net\\.cn|org\\.cn|gov\\.cn)");
    const QStringList cnMust = {QStringLiteral("^[^.]+\\.cn$"),
                                QStringLiteral("\\.com\\.cn$"),
                                QStringLiteral("\\.net\\.cn$"),
                                QStringLiteral("\\.org\\.cn$"),
                                QStringLiteral("\\.gov\\.cn$"),
                                QStringLiteral("^\\["),
                                QStringLiteral("^[0-9]+\\."),
                                QStringLiteral("^[a-z0-9]\\."),
                                QStringLiteral("^\\[?[a-z0-9]{12}\\]?\\.")};
    for (const QString &token : SimContent::cnListTokens())
        QTest::addRow("%s", qPrintable(token))
            << QStringLiteral("/download/registar_list/") + token + QStringLiteral(".txt") << 0
            << cnShape << cnMust;

    const QString dailyShape =
        QStringLiteral("[a-z0-9][a-z0-9-]*[a-z0-9]\\.(com|net|org|info|biz)");
    const QStringList dailyMust = {
        QStringLiteral("\\.com$"),           QStringLiteral("\\.net$"),
        QStringLiteral("\\.org$"),           QStringLiteral("\\.info$"),
        QStringLiteral("\\.biz$"),           QStringLiteral("^[^.]*com[^.]*\\.net$"),
        QStringLiteral("^[^.]{14,}\\.com$"), QStringLiteral("^[0-9]+\\.com$"),
        QStringLiteral("^1e5\\.com$"),       QStringLiteral("-")};
    QTest::newRow("daily, default size")
        << QStringLiteral("/2024-05-01.txt") << 0 << dailyShape << dailyMust;
    QTest::newRow("daily, leap day")
        << QStringLiteral("/2024-02-29.txt") << 0 << dailyShape << dailyMust;
    QTest::newRow("daily, 100k lines")
        << QStringLiteral("/2009-12-31.txt") << 100000 << dailyShape << dailyMust;
    QTest::newRow("daily, 50 lines") << QStringLiteral("/2031-01-15.txt") << 50 << dailyShape
                                     << QStringList{QStringLiteral("^1e5\\.com$")};
}

void TestSimulator::lists()
{
    QFETCH(QString, target);
    QFETCH(int, listSize);
    QFETCH(QString, nameShape);
    QFETCH(QStringList, mustOccur);

    if (listSize > 0)
        m_sim->setListSize(listSize);
    const Fetched f = fetch(*m_nam, urlFor(target));
    QVERIFY(f.finished);
    QCOMPARE(f.status, 200);
    QVERIFY2(f.contentType.contains("charset=gb2312"), f.contentType);

    // CR LF after every line, the last one included, and no other line break.
    QVERIFY(f.body.endsWith("\r\n"));
    QCOMPARE(f.body.count('\n'), f.body.count("\r\n"));
    QCOMPARE(f.body.count('\r'), f.body.count("\r\n"));
    bool badBytes = true;
    QStringList names = decode(f.body, true, &badBytes).split(QStringLiteral("\r\n"));
    QVERIFY(!badBytes);
    QCOMPARE(names.takeLast(), QString());
    if (listSize > 0)
        QCOMPARE(names.size(), listSize);
    else
        QVERIFY(names.size() >= 100);
    QCOMPARE(QSet<QString>(names.cbegin(), names.cend()).size(), names.size());

    const QRegularExpression shape(QRegularExpression::anchoredPattern(nameShape));
    for (const QString &name : std::as_const(names))
        QVERIFY2(shape.match(name).hasMatch(), qPrintable(name));
    for (const QString &pattern : mustOccur) {
        const QRegularExpression re(pattern);
        QVERIFY2(std::any_of(names.cbegin(), names.cend(),
                             [&re](const QString &n) { return re.match(n).hasMatch(); }),
                 qPrintable(pattern));
    }

    // The same list again, byte for byte.
    const Fetched again = fetch(*m_nam, urlFor(target));
    QCOMPARE(again.body, f.body);
}

void TestSimulator::sameAnswersFromAnotherInstance_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("baidu") << QStringLiteral("/s?wd=site%3Aexample.com");
    QTest::newRow("deletion tool") << QStringLiteral("/DomainDel/?wd=qq.com");
    QTest::newRow("cn list") << QStringLiteral("/download/registar_list/1todayDel.txt");
    QTest::newRow("daily list") << QStringLiteral("/2020-07-04.txt");
}

void TestSimulator::sameAnswersFromAnotherInstance()
{
    QFETCH(QString, target);
    SiteSimulator other;
    QVERIFY(other.listen());
    QVERIFY(other.port() != m_sim->port());
    const Fetched a = fetch(*m_nam, urlFor(target));
    const Fetched b = fetch(*m_nam, QUrl(QStringLiteral("http://") + other.hostPort() + target));
    QVERIFY(a.finished && b.finished);
    QCOMPARE(a.status, 200);
    QCOMPARE(b.body, a.body);
}

void TestSimulator::millionLineList()
{
    const QByteArray list = SimContent::dailyDeletionList(QDate(2024, 1, 1), 1000000);
    QCOMPARE(list.count("\r\n"), 1000000);
}

void TestSimulator::endpointsPointHere()
{
    QVERIFY(m_sim->port() != 0);
    QCOMPARE(m_sim->hostPort(), QStringLiteral("127.0.0.1:%1").arg(m_sim->port()));
    const Endpoints e = m_sim->endpoints();
    for (const QString &name : Endpoints::names())
        QCOMPARE(e.host(name), m_sim->hostPort());
    QVERIFY(!m_sim->listen()); // one server per simulator
}

void TestSimulator::faults_data()
{
    QTest::addColumn<Route>("route");
    QTest::addColumn<QString>("param");
    QTest::addColumn<FaultKind>("kind");
    QTest::addColumn<qint64>("value");

    const QString d = QStringLiteral("example.com");
    QTest::newRow("delay") << Route::Google << d << FaultKind::Delay << qint64(150);
    QTest::newRow("refuse") << Route::BaiduSite << d << FaultKind::Refuse << qint64(0);
    QTest::newRow("hang") << Route::Registrar << d << FaultKind::Hang << qint64(0);
    QTest::newRow("500") << Route::BaiduSite << d << FaultKind::ErrorStatus << qint64(500);
    QTest::newRow("503") << Route::Icp << d << FaultKind::ErrorStatus << qint64(503);
    QTest::newRow("429") << Route::Google << d << FaultKind::ErrorStatus << qint64(429);
    QTest::newRow("404") << Route::DeletionTool << d << FaultKind::ErrorStatus << qint64(404);
    QTest::newRow("truncated") << Route::YahooPages << d << FaultKind::Truncated << qint64(0);
    QTest::newRow("oversized") << Route::BaiduDomain << d << FaultKind::Oversized
                               << qint64(3 * 1024 * 1024);
    QTest::newRow("drip") << Route::DeletionTool << d << FaultKind::Drip << qint64(20);
    QTest::newRow("gzip bomb") << Route::YahooLinks << d << FaultKind::GzipBomb << qint64(16);
    QTest::newRow("redirect loop") << Route::PageRank << d << FaultKind::RedirectLoop << qint64(0);
    QTest::newRow("invalid bytes, gb2312")
        << Route::Icp << d << FaultKind::InvalidBytes << qint64(0);
    QTest::newRow("invalid bytes, utf-8")
        << Route::Google << d << FaultKind::InvalidBytes << qint64(0);
    QTest::newRow("invalid bytes, list") << Route::CnRegistryList << QStringLiteral("2todayDel")
                                         << FaultKind::InvalidBytes << qint64(0);
    QTest::newRow("prefixed") << Route::Icp << d << FaultKind::Prefixed << qint64(0);
    QTest::newRow("body, 200") << Route::Google << d << FaultKind::Body << qint64(200);
    QTest::newRow("body, 400") << Route::Registrar << d << FaultKind::Body << qint64(400);
    QTest::newRow("throttled 429") << Route::BaiduSite << d << FaultKind::Throttled << qint64(429);
    QTest::newRow("throttled 503") << Route::CnRegistryList << QStringLiteral("1todayDel")
                                   << FaultKind::Throttled << qint64(503);
}

void TestSimulator::faults()
{
    QFETCH(Route, route);
    QFETCH(QString, param);
    QFETCH(FaultKind, kind);
    QFETCH(qint64, value);

    const QString target =
        route == Route::CnRegistryList
            ? QStringLiteral("/download/registar_list/") + param + QStringLiteral(".txt")
            : prefixOf(route) + param;
    const QByteArray normal = normalPage(route, param, m_sim->hostPort());
    QVERIFY(!normal.isEmpty());
    const QByteArray bytes("\0<b>x</b>\x80\r\n", 12);
    m_sim->setFault(route, SiteSimulator::Fault{kind, value, bytes});

    switch (kind) {
    case FaultKind::Delay: {
        const Fetched f = fetch(*m_nam, urlFor(target));
        QVERIFY(f.finished);
        QCOMPARE(f.status, 200);
        QCOMPARE(f.body, normal);
        QVERIFY2(f.elapsedMs >= value, qPrintable(QString::number(f.elapsedMs)));
        break;
    }
    case FaultKind::Refuse: {
        const Fetched f = fetch(*m_nam, urlFor(target));
        QVERIFY(f.finished);
        QCOMPARE(f.error, QNetworkReply::RemoteHostClosedError);
        QCOMPARE(f.status, 0);
        QVERIFY(f.body.isEmpty());
        QVERIFY(m_sim->requestCount(route) >= 1);
        break;
    }
    case FaultKind::Hang:
    case FaultKind::Drip: {
        QNetworkRequest request(urlFor(target));
        std::unique_ptr<QNetworkReply> reply(m_nam->get(request));
        QByteArray got;
        connect(reply.get(), &QNetworkReply::readyRead, this, [&] { got += reply->readAll(); });
        QTRY_COMPARE(m_sim->requestCount(route), 1);
        QCOMPARE(m_sim->openConnections(), 1);
        if (kind == FaultKind::Drip) {
            QTRY_VERIFY(got.size() >= 5);
            QVERIFY(got.size() < normal.size());
            QCOMPARE(got, normal.left(got.size()));
        } else {
            // Nothing comes back, however long the client waits.
            QSignalSpy metaData(reply.get(), &QNetworkReply::metaDataChanged);
            QVERIFY(!metaData.wait(300));
            QVERIFY(!reply->isFinished());
        }
        reply->abort();
        // The simulator lets the connection and its timer go with the client.
        QTRY_COMPARE(m_sim->openConnections(), 0);
        break;
    }
    case FaultKind::ErrorStatus: {
        const Fetched f = fetch(*m_nam, urlFor(target));
        QVERIFY(f.finished);
        QVERIFY(f.error != QNetworkReply::NoError);
        QCOMPARE(f.status, int(value));
        QCOMPARE(f.body, normal);
        break;
    }
    case FaultKind::Truncated: {
        const Fetched f = fetch(*m_nam, urlFor(target));
        QVERIFY(f.finished);
        QVERIFY(f.error != QNetworkReply::NoError);
        QCOMPARE(f.declaredLength, qint64(normal.size()));
        QVERIFY(f.body.size() < normal.size());
        QCOMPARE(f.body, normal.left(f.body.size()));
        break;
    }
    case FaultKind::Oversized: {
        const Fetched f = fetch(*m_nam, urlFor(target));
        QVERIFY(f.finished);
        QCOMPARE(f.status, 200);
        QCOMPARE(f.body.size(), value);
        QVERIFY(f.body.startsWith(normal));
        break;
    }
    case FaultKind::GzipBomb: {
        // Asking for gzip ourselves keeps the body as sent, so its size can be checked.
        const Fetched f = fetch(*m_nam, urlFor(target), {{"Accept-Encoding", "gzip"}});
        QVERIFY(f.finished);
        QCOMPARE(f.status, 200);
        QCOMPARE(f.contentEncoding, QByteArray("gzip"));
        QVERIFY2(f.body.size() < 64 * 1024, qPrintable(QString::number(f.body.size())));
        QByteArray head;
        QVERIFY(inflatedSize(f.body, &head) > value * 1024 * 1024);
        QVERIFY(head.startsWith(normal.left(qMin<qsizetype>(normal.size(), head.size()))));
        break;
    }
    case FaultKind::RedirectLoop: {
        const Fetched f = fetch(*m_nam, urlFor(target));
        QVERIFY(f.finished);
        QCOMPARE(f.error, QNetworkReply::TooManyRedirectsError);
        const QStringList targets = m_sim->requestTargets(route);
        QVERIFY(targets.size() > 2);
        QCOMPARE(QSet<QString>(targets.cbegin(), targets.cend()).size(), 1);
        break;
    }
    case FaultKind::InvalidBytes: {
        const Fetched f = fetch(*m_nam, urlFor(target));
        QVERIFY(f.finished);
        QCOMPARE(f.status, 200);
        QVERIFY(f.body.contains('\0'));
        bool badGb = false;
        bool badUtf8 = false;
        decode(f.body, true, &badGb);
        decode(f.body, false, &badUtf8);
        QVERIFY(badGb && badUtf8);
        // Everything else is still there: the normal page is the body minus the junk.
        QCOMPARE(f.body.size(), normal.size() + 7);
        QVERIFY(f.body.startsWith(normal.left(normal.indexOf('\n') + 1)));
        QVERIFY(f.body.endsWith(normal.mid(normal.indexOf('\n') + 1)));
        break;
    }
    case FaultKind::Prefixed: {
        const Fetched f = fetch(*m_nam, urlFor(target));
        QVERIFY(f.finished);
        QCOMPARE(f.status, 200);
        QCOMPARE(f.body, bytes + normal);
        break;
    }
    case FaultKind::Body: {
        const Fetched f = fetch(*m_nam, urlFor(target));
        QVERIFY(f.finished);
        QCOMPARE(f.status, int(value));
        QCOMPARE(f.body, bytes);
        break;
    }
    case FaultKind::Throttled: {
        const Fetched f = fetch(*m_nam, urlFor(target));
        QVERIFY(f.finished);
        QCOMPARE(f.status, int(value));
        QCOMPARE(f.retryAfter, QByteArray("120"));
        QCOMPARE(f.body, SimContent::throttledPage(int(value)));
        break;
    }
    case FaultKind::None:
        QFAIL("row without a fault");
    }

    // Another route on the same host:port is unaffected.
    const Fetched neighbour = fetch(*m_nam, urlFor(QStringLiteral("/varnel/")));
    QCOMPARE(neighbour.status, 200);
    QCOMPARE(neighbour.body, SimContent::makerPage());

    // Once cleared, the route answers normally again.
    m_sim->clearFaults();
    const Fetched healed = fetch(*m_nam, urlFor(target));
    QCOMPARE(healed.status, 200);
    QCOMPARE(healed.body, normal);
}

void TestSimulator::faultOnAllRoutes()
{
    m_sim->setFault(Route::All, SiteSimulator::Fault::errorStatus(503));
    const QStringList targets = {QStringLiteral("/s?wd=site%3Aqq.com"),
                                 QStringLiteral("/2024-05-01.txt"), QStringLiteral("/nowhere")};
    for (const QString &target : targets)
        QCOMPARE(fetch(*m_nam, urlFor(target)).status, 503);
    m_sim->setFault(Route::BaiduSite, SiteSimulator::Fault::none());
    QCOMPARE(fetch(*m_nam, urlFor(targets[0])).status, 200);
    QCOMPARE(fetch(*m_nam, urlFor(targets[1])).status, 503);
}

void TestSimulator::holdAndRelease_data()
{
    QTest::addColumn<Route>("held");
    QTest::addColumn<Route>("released");
    QTest::addColumn<bool>("clientLeaves");
    QTest::addColumn<FaultKind>("faultAtRelease");

    QTest::newRow("one route") << Route::Google << Route::Google << false << FaultKind::None;
    QTest::newRow("all routes") << Route::All << Route::All << false << FaultKind::None;
    QTest::newRow("held by all, released alone")
        << Route::All << Route::Google << false << FaultKind::None;
    QTest::newRow("fault applies at release")
        << Route::Google << Route::Google << false << FaultKind::ErrorStatus;
    QTest::newRow("client leaves while held")
        << Route::Google << Route::Google << true << FaultKind::None;
}

void TestSimulator::holdAndRelease()
{
    QFETCH(Route, held);
    QFETCH(Route, released);
    QFETCH(bool, clientLeaves);
    QFETCH(FaultKind, faultAtRelease);

    const QString domain = QStringLiteral("held.com");
    m_sim->hold(held);
    std::unique_ptr<QNetworkReply> reply(
        m_nam->get(QNetworkRequest(urlFor(prefixOf(Route::Google) + domain))));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    QTRY_COMPARE(m_sim->heldCount(Route::Google), 1);
    QCOMPARE(m_sim->heldCount(), 1);
    QCOMPARE(m_sim->heldCount(Route::BaiduSite), 0);
    QVERIFY(!finished.wait(100));

    if (clientLeaves) {
        reply->abort();
        QTRY_COMPARE(m_sim->heldCount(Route::Google), 0);
        QTRY_COMPARE(m_sim->openConnections(), 0);
        m_sim->release(released);
        QCOMPARE(m_sim->requestCount(Route::Google), 1);
        return;
    }

    m_sim->setFault(Route::Google, SiteSimulator::Fault{faultAtRelease, 500});
    m_sim->release(released);
    QVERIFY(finished.count() == 1 || finished.wait(5000));
    QCOMPARE(m_sim->heldCount(), 0);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QCOMPARE(status, faultAtRelease == FaultKind::ErrorStatus ? 500 : 200);
    QCOMPARE(reply->readAll(), SimContent::googlePage(domain));

    // The released route answers at once from now on; the others stay held if "all" was.
    m_sim->clearFaults();
    QCOMPARE(fetch(*m_nam, urlFor(prefixOf(Route::Google) + domain)).status, 200);
    std::unique_ptr<QNetworkReply> other(
        m_nam->get(QNetworkRequest(urlFor(prefixOf(Route::BaiduSite) + domain))));
    QSignalSpy otherDone(other.get(), &QNetworkReply::finished);
    if (held == Route::All && released != Route::All) {
        QTRY_COMPARE(m_sim->heldCount(Route::BaiduSite), 1);
        QCOMPARE(otherDone.count(), 0);
        m_sim->release(Route::All);
    }
    QVERIFY(otherDone.count() == 1 || otherDone.wait(5000));
    QCOMPARE(other->readAll(), SimContent::baiduPage(domain, true));
    QCOMPARE(m_sim->heldCount(), 0);
}

void TestSimulator::teardownWithWaitingClient_data()
{
    QTest::addColumn<FaultKind>("kind");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<bool>("hold");
    QTest::newRow("hang") << FaultKind::Hang << qint64(0) << false;
    QTest::newRow("drip") << FaultKind::Drip << qint64(10) << false;
    QTest::newRow("long delay") << FaultKind::Delay << qint64(60000) << false;
    QTest::newRow("held") << FaultKind::None << qint64(0) << true;
}

// Destroying the simulator while a client waits closes the connection and leaves no timer
// behind to fire into freed memory.
void TestSimulator::teardownWithWaitingClient()
{
    QFETCH(FaultKind, kind);
    QFETCH(qint64, value);
    QFETCH(bool, hold);

    m_sim->setFault(Route::Registrar, SiteSimulator::Fault{kind, value});
    if (hold)
        m_sim->hold(Route::Registrar);
    std::unique_ptr<QNetworkReply> reply(
        m_nam->get(QNetworkRequest(urlFor(prefixOf(Route::Registrar) + QStringLiteral("a.cn")))));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    QTRY_COMPARE(m_sim->requestCount(Route::Registrar), 1);
    m_sim.reset();
    QVERIFY(finished.count() == 1 || finished.wait(5000));
    QVERIFY(reply->error() != QNetworkReply::NoError);
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
