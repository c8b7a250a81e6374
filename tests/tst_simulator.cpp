// The simulator itself: pipelined requests each get their own page, in-process and in the program.
#include "Fixture.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace {

// The bodies of `count` answers, read with the event loop running for an in-process simulator.
QList<QByteArray> readAnswers(QTcpSocket &socket, int count)
{
    static const QRegularExpression length(u"(?i)content-length: *(\\d+)"_s);
    QList<QByteArray> bodies;
    QByteArray buffer;
    while (bodies.size() < count && QTest::qWaitFor([&] { return socket.bytesAvailable() > 0; })) {
        buffer += socket.readAll();
        for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
            const qsizetype size =
                length.match(QString::fromLatin1(buffer.left(end))).captured(1).toLongLong();
            if (buffer.size() < end + 4 + size)
                break;
            bodies << buffer.mid(end + 4, size);
            buffer.remove(0, end + 4 + size);
        }
    }
    return bodies;
}

// Two requests in one write, then a third on the same connection: each answer is its own.
void checkPipelined(quint16 port)
{
    const auto get = [](QByteArray t) { return "GET " + t + " HTTP/1.1\r\nHost: s\r\n\r\n"; };
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port); // writes wait for the connection
    socket.write(get("/search?bwm=p&p=a.com") + get("/cgi-bin/check.cgi?area_domain=b.com"));
    QCOMPARE(readAnswers(socket, 2), (QList<QByteArray>{SimContent::yahooPagesPage(u"a.com"_s),
                                                        SimContent::registrarAnswer(u"b.com"_s)}));
    socket.write(get("/s?wd=site%3Ac.com"));
    QCOMPARE(readAnswers(socket, 1), QList<QByteArray>{SimContent::baiduPage(u"c.com"_s, true)});
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

    // The program says where it listens and prints an endpoints file pointing there.
    void pipelinedRequestsToTheProgram()
    {
        QProcess sim;
        sim.start(QStringLiteral(VARNEL_SIM_BINARY), {u"--port"_s, u"0"_s, u"--print-endpoints"_s});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += sim.readAllStandardOutput()).count('\n') >= 11, 20000);
        const QString first = QString::fromUtf8(out.left(out.indexOf('\n')));
        QVERIFY2(first.startsWith(u"listening on 127.0.0.1:"_s), qPrintable(first));
        const QString file = QString::fromUtf8(out.mid(out.indexOf('\n') + 1));
        QCOMPARE(Endpoints::parse(file, {}, nullptr).value_or(Endpoints()).icp,
                 first.section(u' ', 2));
        checkPipelined(quint16(first.section(u':', 1).toUInt()));
        sim.kill();
        sim.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
