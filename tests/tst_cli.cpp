// The two programs' command lines, run as separate processes against a simulator in this one.
#include "Fixture.h"
#include "Reference.h"
#include "sources/SourceLists.h"
#include "table/GridExport.h"

#include <QDir>
#include <QProcess>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// A program run with folders of its own (no settings, no session) while this event loop runs.
struct Child {
    QTemporaryDir home;
    QProcess process;
    QByteArray m_out, m_err;

    QByteArray &out() { return m_out += process.readAllStandardOutput(); }
    QByteArray &err() { return m_err += process.readAllStandardError(); }
    QString file(const QString &name, const QByteArray &bytes)
    {
        QFile f(home.filePath(name));
        if (QDir().mkpath(QFileInfo(f).path()) && f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return f.fileName();
    }
    void start(const QString &program, const QStringList &arguments, const QByteArray &input = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        for (const QString &folder : {u"config"_s, u"data"_s, u"cache"_s})
            env.insert(u"XDG_%1_HOME"_s.arg(folder.toUpper()), home.filePath(folder));
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        process.write(input);
        process.closeWriteChannel();
    }
    int finish()
    {
        const auto ended = [this] { return process.state() == QProcess::NotRunning; };
        return QTest::qWaitFor(ended, 20000) ? process.exitCode() : -1;
    }
};

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    SimFixture m_f;

    // Starts varnel-cli with every site, every registry included, at the simulator.
    void runCli(Child &child, const QString &command, const QByteArray &input = {})
    {
        child.file(u"config/Varnel/rdap-dns.json"_s,
                   SimContent::rdapBootstrap(m_f.sim.hostPort(), QDateTime::currentDateTimeUtc()));
        const QString endpoints = child.file(u"e.txt"_s, m_f.endpoints().toFileText().toUtf8());
        child.start(QStringLiteral(VARNEL_CLI_BINARY),
                    command.split(u' ') << u"--endpoints"_s << endpoints, input);
    }

    // The CSV the window exports for these names, measured for `metrics`, without its mark.
    static QByteArray windowCsv(const QStringList &names, const QList<int> &metrics)
    {
        QList<QStringList> rows;
        for (const QString &name : names) {
            rows << QStringList{name} + QStringList(kColumnCount - 2);
            for (int k : metrics)
                rows.last()[Probes::metric(k).column - 1] = expectedCell(k, name);
        }
        return GridExport::csv(GridExport::header(), rows, false);
    }

private Q_SLOTS:
    void init() { m_f.sim.clearFaults(); }

    // Yesterday's .com.cn names as the reference files them, by length; options may come before
    // the subcommand.
    void lists()
    {
        Child child;
        runCli(child, u"--day -1 lists --suffix com.cn --sort length"_s);
        QCOMPARE(child.finish(), 0);
        QStringList want;
        const QString text =
            PageFetcher::decodeBody(SimContent::cnDeletionList(u"2todayDel"_s), Charset::Gb2312);
        for (QStringView line : Sources::cutLines(text)) {
            const auto [entry, index] = Reference::filing(line, true);
            if (index == Sources::ComCn)
                want << entry;
        }
        Reference::sortByLengthLiteral(want);
        QCOMPARE(QString::fromUtf8(child.out()).split(u'\n', Qt::SkipEmptyParts), want);
    }

    // Names as the file import reads them, written as the window exports them, with progress;
    // Ctrl+C stops after the request in flight and still writes every name, as valid CSV.
    void measureWritesTheWindowsCsv()
    {
        Child child;
        runCli(child, u"measure --metrics google,zhuce,pr -"_s,
               "a.com\r\nHTTP://www.B.com/x\r\na.com\r\n<junk>\r\nc.net\r\n");
        QCOMPARE(child.finish(), 0);
        QCOMPARE(child.out(), windowCsv({u"a.com"_s, u"b.com"_s, u"c.net"_s}, {2, 6, 7}));
        QVERIFY2(child.err().contains("skipped 1 lines that are not names and 1 duplicates") &&
                     child.err().contains("measured 3/3 names"),
                 child.err().constData());

        m_f.sim.hold(Route::Google);
        child.out().clear();
        runCli(child, u"measure --metrics google"_s, "a.com\nb.com\nc.com\n");
        QTRY_COMPARE_WITH_TIMEOUT(m_f.sim.heldCount(Route::Google), 1, 20000);
        ::kill(pid_t(child.process.processId()), SIGINT);
        QTest::qWait(100);
        m_f.sim.release(Route::Google);
        QCOMPARE(child.finish(), 130);
        QCOMPARE(child.out(), windowCsv({u"a.com"_s}, {2}) + "b.com,,,,,,,,\r\nc.com,,,,,,,,\r\n");
    }

    void exitCodes_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("code");
        QTest::newRow("a failed cell")
            << "measure --metrics google" << Fault::errorStatus(500) << 1;
        QTest::newRow("a failed list") << "lists" << Fault::refuse() << 1;
        QTest::newRow("unknown metric") << "measure --metrics bing" << Fault::none() << 2;
        QTest::newRow("no subcommand") << "--day 1" << Fault::none() << 2;
        QTest::newRow("lookup without a name") << "lookup" << Fault::none() << 2;
    }
    void exitCodes()
    {
        QFETCH(QString, arguments);
        QFETCH(Fault, fault);
        QFETCH(int, code);
        m_f.sim.setFault(Route::All, fault);
        Child child;
        runCli(child, arguments, "a.com\n");
        QCOMPARE(child.finish(), code);
    }

    // Lookup adds the registry's stage and estimate, the rdap metric its columns; a bad download
    // of the RDAP bootstrap leaves the last good copy in place.
    void lookupAndRdap()
    {
        const QString redeem = SimContent::rdapNameFor(SimContent::RdapStage::Redemption, u"r"_s);
        const QString free = SimContent::rdapNameFor(SimContent::RdapStage::NotRegistered, u"f"_s);
        Child child;
        runCli(child, u"lookup "_s + redeem);
        QCOMPARE(child.finish(), 0);
        const QStringList lines = QString::fromUtf8(child.out()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 8);
        const QString icp = SimContent::icpNumber(redeem);
        QCOMPARE(lines[1], u"是否备案: "_s + (icp.isEmpty() ? u"无备案"_s : icp));
        QCOMPARE(lines[6], u"阶段: redemption"_s);
        QVERIFY2(lines[7].startsWith(u"预计删除: 预计 "_s), qPrintable(lines[7]));

        child.out().clear();
        runCli(child, u"measure --metrics rdap"_s, (free + u"\nabc.cn\n"_s).toUtf8());
        QCOMPARE(child.finish(), 0);
        const QStringList rows = QString::fromUtf8(child.out()).split(u"\r\n"_s);
        QVERIFY(rows[0].endsWith(u",是否注册,状态,到期时间,预计删除"_s));
        QCOMPARE(rows[1], free + u",,,,,,,,,未注册,,"_s);
        QCOMPARE(rows[2], u"abc.cn,,,,,,,,,无RDAP服务,,"_s);

        // An answer with a date no reader takes (Nomulus) still stands, and the date is named.
        m_f.sim.setFault(Route::Rdap,
                         Fault::body("{\"objectClassName\": \"domain\", \"events\": "
                                     "[{\"eventAction\": \"expiration\", \"eventDate\": "
                                     "\"294247-01-10T04:00:54.775Z\"}]}"));
        runCli(child, u"lookup "_s + redeem);
        QCOMPARE(child.finish(), 0);
        QVERIFY(child.err().contains(": RDAP event \"expiration\" has no valid date; left out"));

        // The TLDs served after an update: the download's, the built-in table's and the user's.
        const QByteArray good = "{\"services\": [[[\"xyz\", \"co.uk\", \"com\"], [\"http://" +
                                m_f.sim.hostPort().toUtf8() + "/rdap/com/\"]]]}";
        m_f.sim.setFault(Route::RdapBootstrap, Fault::body(good));
        runCli(child, u"rdap-bootstrap --update"_s);
        QCOMPARE(child.finish(), 0);
        QVERIFY2(child.err().contains(": 6 TLDs\n"), child.err());
        QFile cached(child.home.filePath(u"data/Varnel/rdap-dns.json"_s));
        m_f.sim.setFault(Route::RdapBootstrap, Fault::body("{\"services\": 5}"));
        runCli(child, u"rdap-bootstrap --update"_s);
        QCOMPARE(child.finish(), 1);
        QVERIFY(cached.open(QIODevice::ReadOnly));
        QCOMPARE(cached.readAll(), good);
    }

    void badStartOptionIsRefused_data()
    {
        QTest::addColumn<QByteArray>("endpoints");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown name") << QByteArray("bing = b.test\n") << "lookup a.com"
                                      << "line 1";
        QTest::newRow("bad proxy")
            << QByteArray("baidu = a.test\n") << "--proxy http://p.test lookup a.com"
            << "--proxy";
    }
    void badStartOptionIsRefused()
    {
        QFETCH(QByteArray, endpoints);
        QFETCH(QString, arguments);
        QFETCH(QString, says);
        for (const char *program : {VARNEL_BINARY, VARNEL_CLI_BINARY}) {
            Child child;
            const QString file = child.file(u"e.txt"_s, endpoints);
            child.start(QString::fromUtf8(program), arguments.split(u' ')
                                                        << u"--endpoints"_s << file);
            QCOMPARE(child.finish(), 2);
            QVERIFY2(child.err().contains(says.toUtf8()), child.err().constData());
        }
    }

    // A bad setting is reported on standard error and the window still starts.
    void demoStartsDespiteBadSettings()
    {
        Child child;
        child.file(u"config/Varnel/varnel.conf"_s, "[pacing]\nbaidu = abc\n");
        child.start(QStringLiteral(VARNEL_BINARY), {u"--demo"_s});
        QTRY_VERIFY_WITH_TIMEOUT(
            child.out().startsWith("demo: every site is simulated at 127.0.0.1:"), 20000);
        QTRY_VERIFY(child.err().contains("varnel: 设置 [pacing] baidu 的值 \"abc\" 无效"));
        QCOMPARE(child.process.state(), QProcess::Running);
        child.process.kill();
        child.finish();
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
