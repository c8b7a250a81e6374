// The two programs' command lines, run as separate processes against a simulator in this one.
#include "Fixture.h"
#include "Reference.h"
#include "sources/SourceLists.h"
#include "table/GridExport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// A program run with its own folders, so that it reads no settings and keeps no session of the
// user's; the event loop runs while it does, so a simulator in this process can answer it.
struct Child {
    QTemporaryDir home;
    QProcess process;
    QByteArray out;
    QByteArray err;

    QString file(const QString &name, const QByteArray &bytes)
    {
        QFile f(home.filePath(name));
        QDir().mkpath(QFileInfo(f).path());
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }
    void start(const QString &program, const QStringList &arguments, const QByteArray &input = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
        env.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
        env.insert(u"XDG_CACHE_HOME"_s, home.filePath(u"cache"_s));
        process.setProcessEnvironment(env);
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { err += process.readAllStandardError(); });
        process.start(program, arguments);
        process.write(input);
        process.closeWriteChannel();
    }
    // The exit code; -1 when it did not end in time.
    int finish(int ms = 20000)
    {
        if (!QTest::qWaitFor([this] { return process.state() == QProcess::NotRunning; }, ms))
            return -1;
        return process.exitCode();
    }
};

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    SimFixture m_f;

    // Starts varnel-cli with every site, every registry included, at the simulator.
    void runCli(Child &child, QStringList arguments, const QByteArray &input = {})
    {
        child.file(u"config/Varnel/rdap-dns.json"_s,
                   SimContent::rdapBootstrap(m_f.sim.hostPort(), QDateTime::currentDateTimeUtc()));
        arguments << u"--endpoints"_s
                  << child.file(u"endpoints.txt"_s, m_f.endpoints().toFileText().toUtf8());
        child.start(QStringLiteral(VARNEL_CLI_BINARY), arguments, input);
    }

    // The CSV the window exports for these names, measured for `metrics`, without its mark.
    static QByteArray windowCsv(const QStringList &names, const QList<int> &metrics)
    {
        QList<QStringList> rows;
        for (const QString &name : names) {
            QStringList row(kColumnCount - 1);
            row[0] = name;
            for (int k : metrics)
                row[Probes::metric(k).column - 1] = expectedCell(k, name);
            rows << row;
        }
        return GridExport::csv(GridExport::header(), rows, false);
    }

private Q_SLOTS:
    void init()
    {
        m_f.sim.clearFaults();
        m_f.sim.release(Route::All);
    }

    void lists_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("list");
        QTest::addColumn<QString>("token");
        QTest::newRow("yesterday's cn") << QStringList{u"--day"_s, u"-1"_s, u"--suffix"_s, u"cn"_s}
                                        << int(Sources::Cn) << u"2todayDel"_s;
        QTest::newRow("options before the subcommand, sorted")
            << QStringList{u"--suffix"_s, u"com.cn"_s, u"--sort"_s, u"length"_s}
            << int(Sources::ComCn) << u"1todayDel"_s;
    }
    void lists()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, list);
        QFETCH(QString, token);
        Child child;
        runCli(child, arguments.mid(0, 2) + QStringList{u"lists"_s} + arguments.mid(2));
        QCOMPARE(child.finish(), 0);
        QStringList want;
        const QString text =
            PageFetcher::decodeBody(SimContent::cnDeletionList(token), Charset::Gb2312);
        for (QStringView line : Sources::cutLines(text)) {
            const auto [entry, index] = Reference::filing(line, true);
            if (index == list)
                want << entry;
        }
        if (arguments.contains(u"length"_s))
            Reference::sortByLengthLiteral(want);
        QCOMPARE(QString::fromUtf8(child.out).split(u'\n', Qt::SkipEmptyParts), want);
    }

    // The names as the file import reads them, measured by the same queues, as the window's
    // export writes them, each row as soon as it is complete; progress on standard error.
    void measureWritesTheWindowsCsv()
    {
        Child child;
        runCli(child, {u"measure"_s, u"--metrics"_s, u"google,zhuce,pr"_s, u"-"_s},
               "a.com\r\nHTTP://www.B.com/x\r\na.com\r\n<junk>\r\nc.net\r\n");
        QCOMPARE(child.finish(), 0);
        QCOMPARE(child.out, windowCsv({u"a.com"_s, u"b.com"_s, u"c.net"_s}, {2, 6, 7}));
        QVERIFY2(child.err.contains("skipped 1 lines that are not names and 1 duplicates"),
                 child.err.constData());
        QVERIFY2(child.err.contains("measured 3/3 names"), child.err.constData());
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("code");
        QTest::newRow("a failed cell") << QStringList{u"measure"_s, u"--metrics"_s, u"google"_s}
                                       << Fault::errorStatus(500) << 1;
        QTest::newRow("a failed list") << QStringList{u"lists"_s} << Fault::refuse() << 1;
        QTest::newRow("unknown metric")
            << QStringList{u"measure"_s, u"--metrics"_s, u"bing"_s} << Fault::none() << 2;
        QTest::newRow("no subcommand") << QStringList{u"--day"_s, u"1"_s} << Fault::none() << 2;
        QTest::newRow("bad day") << QStringList{u"lists"_s, u"--day"_s, u"3"_s} << Fault::none()
                                 << 2;
        QTest::newRow("lookup without a name") << QStringList{u"lookup"_s} << Fault::none() << 2;
    }
    void exitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Fault, fault);
        QFETCH(int, code);
        m_f.sim.setFault(Route::All, fault);
        Child child;
        runCli(child, arguments, "a.com\n");
        QCOMPARE(child.finish(), code);
    }

    // Ctrl+C stops after the request in flight; every name is still written, as valid CSV.
    void interruptLeavesValidCsv()
    {
        m_f.sim.hold(Route::Google);
        Child child;
        runCli(child, {u"measure"_s, u"--metrics"_s, u"google"_s}, "a.com\nb.com\nc.com\n");
        QTRY_COMPARE_WITH_TIMEOUT(m_f.sim.heldCount(Route::Google), 1, 20000);
        ::kill(pid_t(child.process.processId()), SIGINT);
        QTest::qWait(100);
        m_f.sim.release(Route::Google);
        QCOMPARE(child.finish(), 130);
        QCOMPARE(child.out, windowCsv({u"a.com"_s}, {2}) + "b.com,,,,,,,,\r\nc.com,,,,,,,,\r\n");
    }

    void lookup()
    {
        Child child;
        runCli(child, {u"lookup"_s, u"look1.com"_s});
        QCOMPARE(child.finish(), 0);
        const QStringList lines = QString::fromUtf8(child.out).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() >= 5);
        const QString icp = SimContent::icpNumber(u"look1.com"_s);
        QCOMPARE(lines[1], u"是否备案: "_s + (icp.isEmpty() ? u"无备案"_s : icp));
    }

    // With an RDAP server for the suffix, lookup adds the registry's status, stage and estimate,
    // and the rdap metric its three columns.
    void rdap()
    {
        const QString redeem = SimContent::rdapNameFor(SimContent::RdapStage::Redemption, u"r"_s);
        const QString free = SimContent::rdapNameFor(SimContent::RdapStage::NotRegistered, u"f"_s);
        Child lookup;
        runCli(lookup, {u"lookup"_s, redeem});
        QCOMPARE(lookup.finish(), 0);
        const QStringList lines = QString::fromUtf8(lookup.out).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[6], u"阶段: redemption"_s);
        QVERIFY2(lines[7].startsWith(u"预计删除: 预计 "_s), qPrintable(lines[7]));

        Child measure;
        runCli(measure, {u"measure"_s, u"--metrics"_s, u"rdap"_s},
               (free + u"\nabc.cn\n"_s).toUtf8());
        QCOMPARE(measure.finish(), 0);
        const QStringList rows = QString::fromUtf8(measure.out).split(u"\r\n"_s);
        QVERIFY(rows[0].endsWith(u",是否注册,状态,到期时间,预计删除"_s));
        QCOMPARE(rows[1], free + u",,,,,,,,,未注册,,"_s);
        QCOMPARE(rows[2], u"abc.cn,,,,,,,,,无RDAP服务,,"_s);
    }

    // The bootstrap download replaces the cached copy only with a good one.
    void rdapBootstrapUpdate()
    {
        Child good;
        runCli(good, {u"rdap-bootstrap"_s, u"--update"_s});
        QCOMPARE(good.finish(), 0);
        QFile cached(good.home.filePath(u"data/Varnel/rdap-dns.json"_s));
        QVERIFY(cached.open(QIODevice::ReadOnly));
        QVERIFY(cached.readAll().contains(m_f.sim.hostPort().toUtf8()));

        m_f.sim.setFault(Route::RdapBootstrap, Fault::body("{\"services\": 5}"));
        Child bad;
        const QString kept = bad.file(u"data/Varnel/rdap-dns.json"_s, "last good copy");
        runCli(bad, {u"rdap-bootstrap"_s, u"--update"_s});
        QCOMPARE(bad.finish(), 1);
        QFile same(kept);
        QVERIFY(same.open(QIODevice::ReadOnly));
        QCOMPARE(same.readAll(), QByteArray("last good copy"));
    }

    void badStartOptionIsRefused_data()
    {
        QTest::addColumn<QByteArray>("endpoints");
        QTest::addColumn<QString>("proxy");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown name") << QByteArray("bing = b.test\n") << ""
                                      << "line 1";
        QTest::newRow("bad host") << QByteArray("icp = a b\n") << ""
                                  << "line 1";
        QTest::newRow("bad proxy") << QByteArray("baidu = a.test\n") << "http://p.test"
                                   << "--proxy";
    }
    void badStartOptionIsRefused()
    {
        QFETCH(QByteArray, endpoints);
        QFETCH(QString, proxy);
        QFETCH(QString, says);
        for (const char *program : {VARNEL_BINARY, VARNEL_CLI_BINARY}) {
            Child child;
            QStringList arguments{u"--endpoints"_s, child.file(u"e.txt"_s, endpoints)};
            if (!proxy.isEmpty())
                arguments << u"--proxy"_s << proxy;
            child.start(QString::fromUtf8(program), arguments << u"lookup"_s << u"a.com"_s);
            QCOMPARE(child.finish(), 2);
            QVERIFY2(child.err.contains(says.toUtf8()), child.err.constData());
        }
    }

    // A bad setting is reported on standard error and the window still starts.
    void demoStartsDespiteBadSettings()
    {
        Child child;
        child.file(u"config/Varnel/varnel.conf"_s, "[pacing]\nbaidu = abc\n");
        child.start(QStringLiteral(VARNEL_BINARY), {u"--demo"_s});
        QTRY_VERIFY_WITH_TIMEOUT(
            child.out.startsWith("demo: every site is simulated at 127.0.0.1:"), 20000);
        QTRY_VERIFY(child.err.contains("varnel: 设置 [pacing] baidu 的值 \"abc\" 无效"));
        QCOMPARE(child.process.state(), QProcess::Running);
        child.process.kill();
        child.finish();
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
