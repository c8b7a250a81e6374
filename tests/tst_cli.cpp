// The command line of the two programs, run as separate processes.
#include "fetch/Endpoints.h"

#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

class TestCli : public QObject {
    Q_OBJECT

    static QProcessEnvironment offscreen()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

private Q_SLOTS:
    void badEndpointsFileIsRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown name") << QByteArray("baidu = a.test\nbing = b.test\n") << "line 2";
        QTest::newRow("malformed") << QByteArray("google\n") << "line 1";
        QTest::newRow("bad host") << QByteArray("icp = a b\n") << "line 1";
    }
    void badEndpointsFileIsRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, says);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(text);
        file.flush();
        QProcess varnel;
        varnel.setProcessEnvironment(offscreen());
        varnel.start(QStringLiteral(VARNEL_BINARY),
                     {QStringLiteral("--endpoints"), file.fileName()});
        QVERIFY(varnel.waitForFinished(20000));
        QCOMPARE(varnel.exitCode(), 2);
        const QString err = QString::fromUtf8(varnel.readAllStandardError());
        QVERIFY2(err.contains(says), qPrintable(err));
    }

    void missingEndpointsFile()
    {
        QProcess varnel;
        varnel.setProcessEnvironment(offscreen());
        varnel.start(QStringLiteral(VARNEL_BINARY),
                     {QStringLiteral("--endpoints"), QStringLiteral("/nonexistent/endpoints.txt")});
        QVERIFY(varnel.waitForFinished(20000));
        QCOMPARE(varnel.exitCode(), 2);
    }

    void demoStartsItsSimulator()
    {
        QProcess varnel;
        varnel.setProcessEnvironment(offscreen());
        varnel.start(QStringLiteral(VARNEL_BINARY), {QStringLiteral("--demo")});
        QVERIFY(varnel.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(varnel.canReadLine(), 20000);
        const QString line = QString::fromUtf8(varnel.readLine());
        QVERIFY2(line.startsWith(QStringLiteral("demo: every site is simulated at 127.0.0.1:")),
                 qPrintable(line));
        QCOMPARE(varnel.state(), QProcess::Running);
        varnel.kill();
        varnel.waitForFinished();
    }

    void simulatorPrintsItsEndpoints()
    {
        QProcess sim;
        sim.start(QStringLiteral(VARNEL_SIM_BINARY), {QStringLiteral("--print-endpoints")});
        QVERIFY(sim.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += sim.readAllStandardOutput()).count('\n') >= 11, 20000);
        sim.kill();
        sim.waitForFinished();
        const QString text = QString::fromUtf8(out);
        const qsizetype firstLine = text.indexOf(u'\n');
        QVERIFY(text.left(firstLine).startsWith(QStringLiteral("listening on 127.0.0.1:")));
        QString error;
        const auto parsed =
            Endpoints::parse(text.mid(firstLine + 1), Endpoints::publicHosts(), &error);
        QVERIFY2(parsed.has_value(), qPrintable(error));
        QCOMPARE(parsed->baidu, text.left(firstLine).section(u' ', 2));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
