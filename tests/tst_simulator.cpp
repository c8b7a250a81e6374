// What only the simulator itself can show: it tells the sites apart on one port, logs each
// request target byte for byte, and serves the lists in their shape. Its pages and faults are
// exercised from the client side by the fetch, probe, loader, lookup and hostile-input suites.
#include "SimContent.h"
#include "SiteSimulator.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using Route = SiteSimulator::Route;

class TestSimulator : public QObject {
    Q_OBJECT

    SiteSimulator m_sim;
    QNetworkAccessManager m_nam;

    // Sends one request line as given, without a client normalising it, and returns the status.
    int rawGet(const QByteArray &target)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_sim.port());
        if (!socket.waitForConnected(5000))
            return -1;
        socket.write("GET " + target + " HTTP/1.1\r\nHost: " + m_sim.hostPort().toLatin1() +
                     "\r\nConnection: close\r\n\r\n");
        QByteArray answer;
        QTest::qWaitFor(
            [&] {
                answer += socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState ||
                       answer.contains("\r\n\r\n");
            },
            5000);
        return answer.mid(9, 3).toInt();
    }

    QByteArray get(const QString &target, int *status = nullptr)
    {
        std::unique_ptr<QNetworkReply> reply(m_nam.get(
            QNetworkRequest(QUrl(QStringLiteral("http://") + m_sim.hostPort() + target))));
        QSignalSpy done(reply.get(), &QNetworkReply::finished);
        if (!reply->isFinished())
            done.wait(10000);
        if (status)
            *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        return reply->readAll();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_sim.listen());
        m_nam.setProxy(QNetworkProxy::NoProxy);
    }
    void init() { m_sim.clearLog(); }

    void routesShareOnePort_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<Route>("route");
        QTest::addColumn<int>("status");
        QTest::newRow("baidu site")
            << QByteArray("/s?wd=site%3Aabc.com") << Route::BaiduSite << 200;
        QTest::newRow("baidu domain")
            << QByteArray("/s?wd=domain%3Aabc.com") << Route::BaiduDomain << 200;
        QTest::newRow("icp on the same path")
            << QByteArray("/s?keytype=0&q=abc.com") << Route::Icp << 200;
        QTest::newRow("google") << QByteArray("/search?hl=zh-CN&source=hp&q=site%3Aabc.com")
                                << Route::Google << 200;
        QTest::newRow("yahoo pages")
            << QByteArray("/search?bwm=p&p=abc.com") << Route::YahooPages << 200;
        QTest::newRow("yahoo links www")
            << QByteArray("/search?bwm=i&p=www.abc.com") << Route::YahooLinks << 200;
        QTest::newRow("registrar")
            << QByteArray("/cgi-bin/check.cgi?area_domain=abc.com") << Route::Registrar << 200;
        QTest::newRow("pagerank tool")
            << QByteArray("/?PRAddress=abc.com") << Route::PageRank << 200;
        QTest::newRow("daily list") << QByteArray("/2026-12-06.txt") << Route::DailyList << 200;
        QTest::newRow("cn list") << QByteArray("/download/registar_list/1todayDel.txt")
                                 << Route::CnRegistryList << 200;
        QTest::newRow("cn list, unknown token")
            << QByteArray("/download/registar_list/Text2.txt") << Route::CnRegistryList << 404;
        QTest::newRow("deletion tool")
            << QByteArray("/DomainDel/?wd=abc.com") << Route::DeletionTool << 200;
        QTest::newRow("version file")
            << QByteArray("/varnel/shenji.txt") << Route::MakerVersion << 200;
        QTest::newRow("unknown path") << QByteArray("/nothing/here") << Route::NotFound << 404;
        QTest::newRow("escapes kept as sent")
            << QByteArray("/search?bwm=p&p=a%7eb%3ac.com") << Route::YahooPages << 200;
    }
    void routesShareOnePort()
    {
        QFETCH(QByteArray, target);
        QFETCH(Route, route);
        QFETCH(int, status);
        QCOMPARE(rawGet(target), status);
        QCOMPARE(m_sim.requestTargets(route), QStringList{QString::fromLatin1(target)});
        QCOMPARE(m_sim.requestCount(), 1);
    }

    void listsKeepTheirShape_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("daily") << "/2011-04-15.txt"
                               << SimContent::dailyDeletionList(QDate(2011, 4, 15), 6000);
        QTest::newRow("cn") << "/download/registar_list/3todayDel.txt"
                            << SimContent::cnDeletionList(QStringLiteral("3todayDel"));
    }
    void listsKeepTheirShape()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, expected);
        int status = 0;
        const QByteArray body = get(target, &status);
        QCOMPARE(status, 200);
        QCOMPARE(body, expected);
        QVERIFY(body.endsWith("\r\n"));
        QCOMPARE(body.count('\n'), body.count("\r\n")); // every line ends CR LF
        QVERIFY(body.count('\n') > 100);
    }

    void listSizeIsSettable()
    {
        m_sim.setListSize(12345);
        const QByteArray body = get(QStringLiteral("/2011-04-15.txt"));
        m_sim.setListSize(6000);
        QCOMPARE(body.count('\n'), 12345);
    }

    void pageRankFrameFollowsTheHost()
    {
        QString domain;
        for (int i = 0; domain.isEmpty(); ++i) {
            if (!SimContent::pageRank(QStringLiteral("pr%1.com").arg(i)).isEmpty())
                domain = QStringLiteral("pr%1.com").arg(i);
        }
        const QByteArray page = get(QStringLiteral("/?PRAddress=") + domain);
        QVERIFY(page.contains("<iframe src=\"http://" + m_sim.hostPort().toLatin1() +
                              "/prframe?d=" + domain.toLatin1() + '"'));
    }

    void teardownWhileAClientWaits()
    {
        auto sim = std::make_unique<SiteSimulator>();
        QVERIFY(sim->listen());
        sim->hold(Route::Google);
        std::unique_ptr<QNetworkReply> reply(m_nam.get(
            QNetworkRequest(QUrl(QStringLiteral("http://") + sim->hostPort() +
                                 QStringLiteral("/search?hl=zh-CN&source=hp&q=site%3Ax")))));
        QTRY_COMPARE(sim->heldCount(Route::Google), 1);
        sim.reset();
        QSignalSpy done(reply.get(), &QNetworkReply::finished);
        QVERIFY(reply->isFinished() || done.wait(5000));
        QVERIFY(reply->error() != QNetworkReply::NoError);
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
