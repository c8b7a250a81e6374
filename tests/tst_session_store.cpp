// The session file: what the grid's changes leave in it, what a killed window leaves, and the
// files a store must not write to.
#include "Fixture.h"
#include "session/SessionStore.h"
#include "sources/CategoryImport.h"
#include "table/ResultTable.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <functional>

using namespace Qt::StringLiterals;

using Edit = std::function<void(ResultTable &)>;
Q_DECLARE_METATYPE(Edit)
// Makes what a case needs beside a fresh path; returns the path the store opens.
using Prepare = std::function<QString(const QString &)>;
Q_DECLARE_METATYPE(Prepare)

namespace {

// Fixed width, so that no name is a substring of another in a request target.
QString nameAt(int i)
{
    return u"n%1.com"_s.arg(i, 5, 10, QChar(u'0'));
}

QList<RowCells> rowsOf(int count, int from = 0)
{
    QList<RowCells> rows;
    for (int i = from; i < from + count; ++i) {
        RowCells r;
        r.fill(kBlankCell);
        r[kLabelColumn] = QString::number(i);
        r[kDomainColumn] = nameAt(i);
        r[BaiduSite] = QString::number(i * 7919 % 1000);
        rows << r;
    }
    return rows;
}

QList<RowCells> snapshot(const ResultTable &table)
{
    QList<RowCells> rows;
    for (int r = 0; r < table.rowCount(); ++r) {
        RowCells cells;
        for (int c = 0; c < kColumnCount; ++c)
            cells[c] = table.cell(r, c);
        rows << cells;
    }
    return rows;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs `sql` on a connection of the test's own, outside any store.
QVariant query(const QString &path, const QStringList &sql)
{
    QVariant last;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"test"_s);
        db.setDatabaseName(path);
        if (!db.open())
            return {};
        QSqlQuery q(db);
        for (const QString &statement : sql) {
            if (!q.exec(statement))
                return {};
            if (q.next())
                last = q.value(0);
        }
    }
    QSqlDatabase::removeDatabase(u"test"_s);
    return last;
}

} // namespace

class TestSessionStore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }
    void init()
    {
        // A fresh file for each case, in the same folder so moved-aside files are found.
        static int n = 0;
        m_path = m_dir.filePath(u"session%1.sqlite"_s.arg(++n));
    }

    void defaultPathFolderIsMade()
    {
        const QString path = SessionStore::defaultPath(true);
        QVERIFY(path.endsWith(u"/session-demo.sqlite"_s));
        QVERIFY(QFileInfo(path).dir().exists());
    }

    void changesSurviveReload_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::newRow("nothing") << Edit([](ResultTable &) {});
        QTest::newRow("cells written") << Edit([](ResultTable &t) {
            t.setCell(3, GoogleSite, u"12"_s);
            t.setCell(199, PageRank, u"4\n"_s);
            t.setCellOf(t.rowId(3), GoogleSite, u"查询失败"_s);
        });
        QTest::newRow("sorted, written, sorted back") << Edit([](ResultTable &t) {
            t.sortByColumn(BaiduSite);
            t.setCell(0, Registration, u"可注册"_s);
            t.sortByColumn(BaiduSite);
        });
        QTest::newRow("a few rows removed") << Edit([](ResultTable &t) {
            t.removeRowsWhere([](const ResultRow &r) { return r.cells[BaiduSite].size() == 2; });
        });
        QTest::newRow("many runs removed in one reset") << Edit([](ResultTable &t) {
            t.removeRowsWhere([](const ResultRow &r) { return r.cells[BaiduSite].endsWith(u'1'); });
        });
        QTest::newRow("sorted, then rows appended and written") << Edit([](ResultTable &t) {
            t.sortByColumn(kDomainColumn);
            t.appendRows(rowsOf(3, 1000));
            t.setCell(t.rowCount() - 1, YahooPages, u"9"_s);
        });
        QTest::newRow("cleared") << Edit([](ResultTable &t) { t.clear(); });
        QTest::newRow("import over a sorted grid") << Edit([](ResultTable &t) {
            t.sortByColumn(BaiduSite);
            Sources::importCategory(t, {u"b.com"_s, u"a.com"_s});
            t.setCell(1, BaiduDomain, u"5"_s);
        });
        QTest::newRow("large import sorted before it is handed over in slices")
            << Edit([](ResultTable &t) {
                   t.appendRows(rowsOf(45'000, 200));
                   t.sortByColumn(BaiduSite);
                   t.setCell(44'000, GoogleSite, u"1"_s);
                   QTest::qWait(1000); // the slices go by the timer, not by flush()
               });
    }
    void changesSurviveReload()
    {
        QFETCH(Edit, edit);
        ResultTable table;
        table.appendRows(rowsOf(200));
        {
            SessionStore store(m_path);
            QCOMPARE(store.load(), std::nullopt);
            store.attach(&table);
            store.flush(); // the edit then reaches the file as changes, not as a first write
            edit(table);
            store.flush();
        }
        SessionStore again(m_path);
        QCOMPARE(again.state(), SessionStore::State::Saving);
        const std::optional<QList<RowCells>> rows = again.load();
        QVERIFY(rows.has_value());
        QCOMPARE(rows->size(), table.rowCount());
        QVERIFY(*rows == snapshot(table));
    }

    // A restored grid keeps being saved; then the change reaches the file without a flush.
    void restoredGridKeepsSavingWithinASecond()
    {
        ResultTable first;
        first.appendRows(rowsOf(50));
        {
            SessionStore store(m_path);
            store.attach(&first);
            first.sortByColumn(BaiduSite);
        }
        ResultTable restored;
        {
            SessionStore store(m_path);
            restored.appendRows(*store.load());
            store.attach(&restored);
            QVERIFY(snapshot(restored) == snapshot(first));
            restored.removeRowsWhere(
                [](const ResultRow &r) { return r.cells[kLabelColumn] == u"7"; });
            restored.setCell(0, GoogleSite, u"123"_s);
            const QString written = restored.cell(0, kDomainColumn);
            restored.sortByColumn(kDomainColumn);
            const QStringList read = {u"SELECT c4 FROM rows WHERE c1 = '%1'"_s.arg(written)};
            QElapsedTimer clock;
            clock.start();
            QTRY_COMPARE_WITH_TIMEOUT(query(m_path, read).toString(), u"123"_s, 2000);
            QVERIFY2(clock.elapsed() <= 1000, qPrintable(QString::number(clock.elapsed())));
        }
        SessionStore again(m_path);
        QVERIFY(again.load() == snapshot(restored));
    }

    // The loaded grid was not restored: what is attached replaces it, same row count or not.
    void attachingAnotherGridReplacesTheSaved()
    {
        ResultTable saved;
        saved.appendRows(rowsOf(5));
        {
            SessionStore store(m_path);
            store.attach(&saved);
        }
        ResultTable other;
        other.appendRows(rowsOf(5, 100));
        {
            SessionStore store(m_path);
            QVERIFY(store.load() == snapshot(saved));
            store.attach(&other);
        }
        SessionStore again(m_path);
        QVERIFY(again.load() == snapshot(other));
    }

    void olderSchemaIsMigrated()
    {
        QVERIFY(query(m_path,
                      {u"CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)"_s,
                       u"CREATE TABLE rows(key INTEGER PRIMARY KEY, c0 TEXT, c1 TEXT, c2 TEXT, "
                       "c3 TEXT, c4 TEXT, c5 TEXT, c6 TEXT, c7 TEXT, c8 TEXT, c9 TEXT)"_s,
                       u"INSERT INTO meta VALUES('grid', 'saved')"_s,
                       u"INSERT INTO rows VALUES(3, '2', 'c.com', ' ', ' ', ' ', ' ', ' ', ' ', "
                       "' ', '可注册')"_s,
                       u"INSERT INTO rows VALUES(1, '0', 'a.com', '10', ' ', ' ', ' ', ' ', ' ', "
                       "' ', ' ')"_s,
                       u"INSERT INTO rows VALUES(2, '1', 'b.com', '9', ' ', ' ', ' ', ' ', ' ', "
                       "' ', ' ')"_s,
                       u"PRAGMA user_version = 1"_s, u"PRAGMA user_version"_s})
                    .isValid());
        ResultTable table;
        {
            SessionStore store(m_path);
            QCOMPARE(store.state(), SessionStore::State::Saving);
            QCOMPARE(store.message(), QString());
            const auto rows = store.load();
            QVERIFY(rows.has_value());
            table.appendRows(*rows);
            QCOMPARE(table.cell(0, kDomainColumn), u"a.com"_s);
            QCOMPARE(table.cell(2, Registration), u"可注册"_s);
            store.attach(&table);
            table.sortByColumn(kDomainColumn);
        }
        SessionStore again(m_path);
        QVERIFY(again.load() == snapshot(table));
        QCOMPARE(query(m_path, {u"PRAGMA user_version"_s}).toInt(), 2);
    }

    void damagedFileIsMovedAside_data()
    {
        QTest::addColumn<bool>("sqliteHeader");
        QTest::newRow("not SQLite") << false;
        QTest::newRow("SQLite, pages overwritten") << true;
    }
    void damagedFileIsMovedAside()
    {
        QFETCH(bool, sqliteHeader);
        QByteArray damaged;
        if (sqliteHeader) {
            ResultTable table;
            table.appendRows(rowsOf(3000));
            {
                SessionStore store(m_path);
                store.attach(&table);
            }
            damaged = contents(m_path);
            QVERIFY(damaged.size() > 40'000);
            damaged.replace(8192, 24'000, QByteArray(24'000, '\x5a'));
        } else {
            damaged = QByteArray("this is a list of names, not a database\n").repeated(200);
        }
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
        file.close();

        ResultTable table;
        table.appendRows(rowsOf(2));
        {
            SessionStore store(m_path);
            QCOMPARE(store.state(), SessionStore::State::Saving);
            QVERIFY2(store.message().startsWith(SessionStore::kMovedAsidePrefix),
                     qPrintable(store.message()));
            const QString aside = store.message().mid(SessionStore::kMovedAsidePrefix.size());
            QVERIFY(QRegularExpression(QRegularExpression::escape(m_path) +
                                       uR"(\.corrupt-\d{8}-\d{6})"_s)
                        .match(aside)
                        .hasMatch());
            QCOMPARE(contents(aside), damaged);
            QCOMPARE(store.load(), std::nullopt);
            store.attach(&table);
        }
        SessionStore again(m_path);
        QVERIFY(again.load() == snapshot(table));
    }

    void runsWithoutSaving_data()
    {
        QTest::addColumn<Prepare>("prepare");
        QTest::addColumn<SessionStore::State>("state");
        QTest::addColumn<QString>("message");
        QTest::newRow("newer version") << Prepare([](const QString &path) {
            query(path, {u"CREATE TABLE rows(anything)"_s, u"PRAGMA user_version = 3"_s});
            return path;
        }) << SessionStore::State::ReadOnly
                                       << SessionStore::kNewerMessage;
        QTest::newRow("a folder at the path") << Prepare([](const QString &path) {
            QDir().mkpath(path);
            return path;
        }) << SessionStore::State::ReadOnly << SessionStore::kUnwritableMessage;
        QTest::newRow("a file where its folder should be") << Prepare([](const QString &path) {
            QFile(path).open(QIODevice::WriteOnly);
            return path + u"/session.sqlite"_s;
        }) << SessionStore::State::ReadOnly << SessionStore::kUnwritableMessage;
    }
    void runsWithoutSaving()
    {
        QFETCH(Prepare, prepare);
        QFETCH(SessionStore::State, state);
        QFETCH(QString, message);
        m_path = prepare(m_path);
        const QByteArray before = contents(m_path);
        {
            SessionStore store(m_path);
            QCOMPARE(store.state(), state);
            QCOMPARE(store.message(), message);
            QCOMPARE(store.load(), std::nullopt);
            ResultTable table;
            table.appendRows(rowsOf(5));
            store.attach(&table);
            table.setCell(0, GoogleSite, u"1"_s);
            store.flush();
        }
        QCOMPARE(contents(m_path), before);
        QVERIFY(!QFileInfo::exists(m_path + u"-wal"_s));
    }

    void secondStoreOnAHeldFile()
    {
        ResultTable table;
        table.appendRows(rowsOf(5));
        SessionStore first(m_path);
        first.attach(&table);
        {
            SessionStore second(m_path);
            QCOMPARE(second.state(), SessionStore::State::InUse);
            QCOMPARE(second.message(), SessionStore::kInUseMessage);
            QCOMPARE(second.load(), std::nullopt);
            ResultTable other;
            other.appendRows(rowsOf(1, 900));
            second.attach(&other);
            second.flush();
        }
        table.setCell(1, GoogleSite, u"2"_s);
        first.flush();
        QCOMPARE(query(m_path, {u"SELECT count(*) FROM rows"_s}).toInt(), 5);
        QCOMPARE(query(m_path, {u"SELECT c4 FROM rows WHERE c1 = '%1'"_s.arg(nameAt(1))}), u"2"_s);
    }

    // A real window process, killed while its run waits for a page: every answered page's cell
    // is back, the rest blank, the rows in order. The lock it left behind does not count.
    void killedWindowLosesNoAnsweredCell()
    {
        SiteSimulator sim;
        QVERIFY(sim.listen());
        QStringList names;
        for (int i = 0; i < 12; ++i)
            names << nameAt(i);
        constexpr int kAnsweredGoogle = 5; // the child's second metric stalls on the next page
        // Answers spread over several hand-overs, so cells also reach the file as changes.
        sim.setFault(Route::BaiduSite, Fault::delay(40));
        sim.setFault(Route::Google, Fault::delay(150));
        connect(&sim, &SiteSimulator::requestReceived, this, [&](Route route) {
            if (route == Route::Google && sim.requestCount(Route::Google) == kAnsweredGoogle + 1)
                sim.hold(Route::Google);
        });

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(VARNEL_SESSION_CHILD),
                    QStringList{m_path, sim.hostPort()} + names);
        QVERIFY(child.waitForStarted());
        QTRY_VERIFY(child.canReadLine());
        QCOMPARE(child.readLine().trimmed(), QByteArray::number(int(SessionStore::State::Saving)));

        // Quiet for 1.5 s: the last answer's cell has been handed over and written.
        int seen = -1;
        QElapsedTimer quiet;
        const QDeadlineTimer deadline(30'000);
        while (!deadline.hasExpired() && (sim.heldCount() == 0 || quiet.elapsed() < 1500)) {
            QTest::qWait(50);
            if (sim.requestCount() != seen) {
                seen = sim.requestCount();
                quiet.start();
            }
        }
        QCOMPARE(sim.heldCount(Route::Google), 1);
        QCOMPARE(sim.requestCount(Route::BaiduSite), names.size());
        const QStringList googleTargets = sim.requestTargets(Route::Google);
        for (int i = 0; i < kAnsweredGoogle; ++i)
            QVERIFY(googleTargets[i].contains(names[i]));

        child.kill(); // SIGKILL: no destructor, no flush
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(QFileInfo::exists(m_path + u".lock"_s));

        SessionStore store(m_path);
        QCOMPARE(store.state(), SessionStore::State::Saving);
        QCOMPARE(store.message(), QString());
        const auto rows = store.load();
        QVERIFY(rows.has_value());
        QCOMPARE(rows->size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            const RowCells &row = rows->at(i);
            QCOMPARE(row[kLabelColumn], QString::number(i));
            QCOMPARE(row[kDomainColumn], names[i]);
            for (int c = BaiduSite; c < kColumnCount; ++c) {
                const QString expected = c == BaiduSite ? expectedCell(0, names[i])
                                         : c == GoogleSite && i < kAnsweredGoogle
                                             ? expectedCell(2, names[i])
                                             : kBlankCell;
                QCOMPARE(row[c], expected);
            }
        }
        sim.release(Route::All);
    }
};

QTEST_GUILESS_MAIN(TestSessionStore)
#include "tst_session_store.moc"
