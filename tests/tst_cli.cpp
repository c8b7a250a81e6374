// The window program's command line, run as a separate process.
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

class TestCli : public QObject {
    Q_OBJECT

    static int runVarnel(const QStringList &arguments, QString *err)
    {
        QProcess varnel;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        varnel.setProcessEnvironment(env);
        varnel.start(QStringLiteral(VARNEL_BINARY), arguments);
        if (!varnel.waitForFinished(20000))
            return -1;
        *err = QString::fromUtf8(varnel.readAllStandardError());
        return varnel.exitCode();
    }

private Q_SLOTS:
    void badEndpointsFileIsRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown name") << QByteArray("baidu = a.test\nbing = b.test\n") << "line 2";
        QTest::newRow("malformed") << QByteArray("google\n") << "line 1";
        QTest::newRow("bad host") << QByteArray("icp = a b\n") << "line 1";
        QTest::newRow("missing file") << QByteArray() << "cannot read";
    }
    void badEndpointsFileIsRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, says);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(text);
        file.flush();
        QString err;
        const QString path =
            text.isEmpty() ? QStringLiteral("/nonexistent/endpoints.txt") : file.fileName();
        QCOMPARE(runVarnel({QStringLiteral("--endpoints"), path}, &err), 2);
        QVERIFY2(err.contains(says), qPrintable(err));
    }

    void demoStartsItsSimulator()
    {
        QProcess varnel;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        varnel.setProcessEnvironment(env);
        varnel.start(QStringLiteral(VARNEL_BINARY), {QStringLiteral("--demo")});
        QTRY_VERIFY_WITH_TIMEOUT(varnel.canReadLine(), 20000);
        const QString line = QString::fromUtf8(varnel.readLine());
        QVERIFY2(line.startsWith(QStringLiteral("demo: every site is simulated at 127.0.0.1:")),
                 qPrintable(line));
        QCOMPARE(varnel.state(), QProcess::Running);
        varnel.kill();
        varnel.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
