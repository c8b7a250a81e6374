#include "SimContent.h"
#include "SiteSimulator.h"
#include "fetch/PageFetcher.h"

#include <QTcpServer>
#include <QTest>

#include <QCoroTask>

using Route = SiteSimulator::Route;
using Fault = SiteSimulator::Fault;

namespace {

// A domain whose pages on every search site show a count, so the markers are there to find.
QString countedDomain()
{
    for (int i = 0;; ++i) {
        const QString d = QStringLiteral("site%1.com").arg(i);
        if (!SimContent::baiduCount(d, true).isEmpty() && !SimContent::googleCount(d).isEmpty())
            return d;
    }
}

} // namespace

class TestFetch : public QObject {
    Q_OBJECT

    SiteSimulator m_sim;
    PageFetcher m_fetcher;

    FetchResult get(const QString &pathAndQuery, Charset charset)
    {
        return QCoro::waitFor(
            m_fetcher.fetch(QStringLiteral("http://") + m_sim.hostPort() + pathAndQuery, charset));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_sim.listen()); }
    void init()
    {
        m_sim.clearFaults();
        PageFetcher::Limits limits;
        limits.transferTimeoutMs = 2000;
        limits.totalDeadlineMs = 3000;
        limits.maxBodyBytes = 1024 * 1024;
        m_fetcher.setLimits(limits);
    }

    void sameChineseMarkerInBothCharsets()
    {
        const QString d = countedDomain();
        const FetchResult gb = get(QStringLiteral("/s?wd=site%3A") + d, Charset::Gb2312);
        const FetchResult utf =
            get(QStringLiteral("/search?hl=zh-CN&source=hp&q=site%3A") + d, Charset::Utf8);
        QVERIFY(gb.gotPage());
        QVERIFY(utf.gotPage());
        QVERIFY(gb.text.contains(QStringLiteral("找到相关结果")));
        QVERIFY(utf.text.contains(QStringLiteral("找到约 ")));
        // Decoded with the wrong charset, the marker is lost: the charset really matters.
        QVERIFY(!get(QStringLiteral("/s?wd=site%3A") + d, Charset::Utf8)
                     .text.contains(QStringLiteral("找到相关结果")));
    }

    void urlIsUsedAsBuilt()
    {
        m_sim.clearLog();
        get(QStringLiteral("/search?bwm=i&p=www.a-b.com"), Charset::Utf8);
        QCOMPARE(m_sim.requestTargets(Route::YahooLinks),
                 QStringList{QStringLiteral("/search?bwm=i&p=www.a-b.com")});
    }

    void unreachableHost()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        const FetchResult r =
            QCoro::waitFor(m_fetcher.FetchUtf8(QStringLiteral("http://127.0.0.1:%1/x").arg(port)));
        QVERIFY(!r.gotPage());
        QVERIFY(r.text.isEmpty());
    }

    void invalidAddressIsAFailureNotACrash()
    {
        const FetchResult r = QCoro::waitFor(m_fetcher.FetchUtf8(QStringLiteral("http://")));
        QVERIFY(!r.gotPage());
    }

    void decodeBody_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QString>("text");
        QTest::newRow("gb2312") << QByteArray("\xd5\xd2\xb5\xbd") << "gb2312"
                                << QStringLiteral("找到");
        QTest::newRow("gb18030 beyond gb2312")
            << QByteArray("\x81\x30\x81\x30") << "gb2312" << QString(QChar(0x80));
        QTest::newRow("utf-8") << QByteArray("\xe6\x89\xbe\xe5\x88\xb0") << "utf-8"
                               << QStringLiteral("找到");
        QTest::newRow("utf-8 bom dropped")
            << QByteArray("\xef\xbb\xbfok") << "utf-8" << QStringLiteral("ok");
        QTest::newRow("utf-8 invalid")
            << QByteArray("a\xffz") << "utf-8" << QString::fromUtf16(u"a\uFFFDz");
        QTest::newRow("utf-8 cut off at the end")
            << QByteArray("ab\xe4\xb8") << "utf-8" << QString::fromUtf16(u"ab\uFFFD\uFFFD");
        QTest::newRow("gb2312 cut off at the end")
            << QByteArray("ab\xd5") << "gb2312" << QString::fromUtf16(u"ab\uFFFD");
        QTest::newRow("nul kept") << QByteArray("a\0b", 3) << "utf-8"
                                  << QString::fromUtf16(u"a\u0000b", 3);
        QTest::newRow("empty") << QByteArray() << "gb2312" << QString();
    }
    void decodeBody()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, charset);
        QFETCH(QString, text);
        QCOMPARE(PageFetcher::DecodeBody(bytes, charset), text);
    }
};

QTEST_GUILESS_MAIN(TestFetch)
#include "tst_fetch.moc"
