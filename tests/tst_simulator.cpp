// The site simulator itself, where only it can show something: requests pipelined on one
// connection each get their own page, in the program the tests start as well as in-process.
#include "Fixture.h"

#include <QProcess>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace {

struct Answer {
    int status = 0;
    QByteArray body;
};

// Reads `count` answers (Content-Length framed) from `socket`, the event loop running, so an
// in-process simulator can answer.
QList<Answer> readAnswers(QTcpSocket &socket, int count)
{
    QList<Answer> answers;
    QByteArray buffer;
    (void)QTest::qWaitFor(
        [&] {
            buffer += socket.readAll();
            for (qsizetype headEnd; (headEnd = buffer.indexOf("\r\n\r\n")) >= 0;) {
                const QByteArray head = buffer.left(headEnd).toLower();
                const qsizetype at = head.indexOf("content-length:") + 15;
                const qsizetype length =
                    head.mid(at, head.indexOf('\r', at) - at).trimmed().toLongLong();
                if (buffer.size() < headEnd + 4 + length)
                    break;
                answers.append({head.mid(9, 3).toInt(), buffer.mid(headEnd + 4, length)});
                buffer.remove(0, headEnd + 4 + length);
            }
            return answers.size() >= count;
        },
        10000);
    return answers;
}

QByteArray get(const QByteArray &target)
{
    return "GET " + target + " HTTP/1.1\r\nHost: sim.test\r\n\r\n";
}

// Two requests in one write, then a third on the same connection: each answer is its own.
void checkPipelined(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QTRY_COMPARE(socket.state(), QAbstractSocket::ConnectedState);
    socket.write(get("/search?bwm=p&p=a.com") + get("/cgi-bin/check.cgi?area_domain=b.com"));
    const QList<Answer> first = readAnswers(socket, 2);
    socket.write(get("/s?wd=site%3Ac.com"));
    const QList<Answer> third = readAnswers(socket, 1);
    QCOMPARE(first.size(), 2);
    QCOMPARE(third.size(), 1);
    QCOMPARE(first[0].body, SimContent::yahooPagesPage(u"a.com"_s));
    QCOMPARE(first[1].body, SimContent::registrarAnswer(u"b.com"_s));
    QCOMPARE(third[0].body, SimContent::baiduPage(u"c.com"_s, true));
}

} // namespace

class TestSimulator : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pipelinedRequestsInProcess()
    {
        SimFixture f;
        checkPipelined(f.sim.port());
        // The log keeps each target once, as it was sent.
        QCOMPARE(f.sim.requestTargets(),
                 (QStringList{u"/search?bwm=p&p=a.com"_s, u"/cgi-bin/check.cgi?area_domain=b.com"_s,
                              u"/s?wd=site%3Ac.com"_s}));
    }

    void pipelinedRequestsToTheProgram()
    {
        QProcess sim;
        sim.start(QStringLiteral(VARNEL_SIM_BINARY), {u"--port"_s, u"0"_s, u"--print-endpoints"_s});
        QVERIFY(sim.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += sim.readAllStandardOutput()).count('\n') >= 11, 20000);
        const QString first = QString::fromUtf8(out.left(out.indexOf('\n')));
        QVERIFY2(first.startsWith(u"listening on 127.0.0.1:"_s), qPrintable(first));
        QString error;
        const auto printed = Endpoints::parse(QString::fromUtf8(out.mid(out.indexOf('\n') + 1)),
                                              Endpoints::publicHosts(), &error);
        QVERIFY2(printed, qPrintable(error));
        QCOMPARE(printed->icp, first.section(u' ', 2));
        checkPipelined(quint16(first.section(u':', 1).toUInt()));
        sim.kill();
        sim.waitForFinished();
    }

    // Each page is in its site's charset: the gb2312 sites' markers only read as GB18030.
    void charsets()
    {
        const QByteArray baidu = SimContent::baiduPage(u"abc.com"_s, true);
        QVERIFY(PageFetcher::decodeBody(baidu, Charset::Gb2312).contains(u"百度"_s));
        QVERIFY(!QString::fromUtf8(baidu).contains(u"百度"_s));
        QVERIFY(QString::fromUtf8(SimContent::googlePage(u"abc.com"_s)).contains(u"Google"_s));
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
