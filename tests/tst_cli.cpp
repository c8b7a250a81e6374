// The window program's command line, run as a separate process.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
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
    void badStartOptionIsRefused_data()
    {
        QTest::addColumn<QByteArray>("text"); // the endpoints file
        QTest::addColumn<QString>("proxy");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown name") << QByteArray("baidu = a.test\nbing = b.test\n") << ""
                                      << "line 2";
        QTest::newRow("malformed") << QByteArray("google\n") << ""
                                   << "line 1";
        QTest::newRow("bad host") << QByteArray("icp = a b\n") << ""
                                  << "line 1";
        QTest::newRow("missing file") << QByteArray() << ""
                                      << "cannot read";
        QTest::newRow("bad proxy") << QByteArray("baidu = a.test\n") << "http://p.test"
                                   << "--proxy";
    }
    void badStartOptionIsRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, proxy);
        QFETCH(QString, says);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(text);
        file.flush();
        QString err;
        const QString path =
            text.isEmpty() ? QStringLiteral("/nonexistent/endpoints.txt") : file.fileName();
        QStringList arguments{QStringLiteral("--endpoints"), path};
        if (!proxy.isEmpty())
            arguments << QStringLiteral("--proxy") << proxy;
        QCOMPARE(runVarnel(arguments, &err), 2);
        QVERIFY2(err.contains(says), qPrintable(err));
    }

    // A bad setting is reported on stderr and the program still starts.
    void demoStartsDespiteBadSettings()
    {
        QTemporaryDir config;
        QVERIFY(QDir(config.path()).mkpath(QStringLiteral("Varnel")));
        QFile settings(config.filePath(QStringLiteral("Varnel/varnel.conf")));
        QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write("[pacing]\nbaidu = abc\n"));
        settings.close();
        QProcess varnel;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        varnel.setProcessEnvironment(env);
        varnel.start(QStringLiteral(VARNEL_BINARY), {QStringLiteral("--demo")});
        QTRY_VERIFY_WITH_TIMEOUT(varnel.canReadLine(), 20000);
        const QString line = QString::fromUtf8(varnel.readLine());
        QVERIFY2(line.startsWith(QStringLiteral("demo: every site is simulated at 127.0.0.1:")),
                 qPrintable(line));
        QByteArray err;
        QTRY_VERIFY2_WITH_TIMEOUT((err += varnel.readAllStandardError())
                                      .contains("varnel: 设置 [pacing] baidu 的值 \"abc\" 无效"),
                                  err.constData(), 5000);
        QCOMPARE(varnel.state(), QProcess::Running);
        varnel.kill();
        varnel.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
