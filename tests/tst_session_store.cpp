// The session file: what the grid's changes leave in it, what a killed window leaves, and the
// files a store must not write to.
#include "Fixture.h"
#include "session/SessionStore.h"
#include "sources/CategoryImport.h"
#include "table/ResultTable.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
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
        rows.append(RowCells());
        for (int c = 0; c < kColumnCount; ++c)
            rows.last()[c] = table.cell(r, c);
    }
    return rows;
}

std::optional<QList<RowCells>> saved(const QString &path)
{
    return SessionStore(path).load();
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs statements on a connection of the test's own; the first value of the last result.
QVariant sql(const QString &path, const QStringList &statements)
{
    QVariant last;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"test"_s);
        db.setDatabaseName(path);
        QSqlQuery q(db);
        for (const QString &statement : statements) {
            if (!db.open() || !q.exec(statement))
                return {};
            last = q.next() ? q.value(0) : QVariant();
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
    std::optional<SessionStore> m_holder;

private Q_SLOTS:
    void init()
    {
        // A fresh file in one folder, so that moved-aside files are found beside it.
        static int n = 0;
        m_path = m_dir.filePath(u"session%1.sqlite"_s.arg(++n));
        QStandardPaths::setTestModeEnabled(true);
    }
    void cleanup() { m_holder.reset(); }

    void changesSurviveReload_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::newRow("written, sorted, written") << Edit([](ResultTable &t) {
            t.setCell(199, PageRank, u"4\n"_s);
            t.sortByColumn(BaiduSite);
            t.setCell(0, Registration, u"可注册"_s);
        });
        QTest::newRow("a few rows removed") << Edit([](ResultTable &t) {
            t.removeRowsWhere([](const ResultRow &r) { return r.cells[BaiduSite].size() == 2; });
        });
        QTest::newRow("many runs removed in one reset") << Edit([](ResultTable &t) {
            t.removeRowsWhere([](const ResultRow &r) { return r.cells[BaiduSite].endsWith(u'1'); });
        });
        QTest::newRow("sorted, rows appended") << Edit([](ResultTable &t) {
            t.sortByColumn(kDomainColumn);
            t.appendRows(rowsOf(3, 1000));
            t.setCell(t.rowCount() - 1, YahooPages, u"9"_s);
        });
        QTest::newRow("cleared") << Edit([](ResultTable &t) { t.clear(); });
        QTest::newRow("import over a sorted grid") << Edit([](ResultTable &t) {
            t.sortByColumn(BaiduSite);
            Sources::importCategory(t, {u"b.com"_s, u"a.com"_s});
        });
        QTest::newRow("large import sorted before its slices go") << Edit([](ResultTable &t) {
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
        }
        QVERIFY(saved(m_path) == snapshot(table));
    }

    // Restored, a saved grid is kept on; not restored, what is attached replaces it, though as
    // long. Either way a change reaches the file within a second, without a flush.
    void savedGridRestoredOrNot_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::newRow("restored") << true;
        QTest::newRow("another grid") << false;
    }
    void savedGridRestoredOrNot()
    {
        QFETCH(bool, restore);
        ResultTable first;
        first.appendRows(rowsOf(50));
        SessionStore(m_path).attach(&first);
        ResultTable table;
        {
            SessionStore store(m_path);
            const auto loaded = store.load();
            table.appendRows(restore ? *loaded : rowsOf(50, 100));
            store.attach(&table);
            table.removeRowsWhere([](const ResultRow &r) { return r.cells[kLabelColumn] == u"7"; });
            table.setCell(0, GoogleSite, u"123"_s);
            const QStringList read = {
                u"SELECT c4 FROM rows WHERE c1 = '%1'"_s.arg(table.cell(0, kDomainColumn))};
            table.sortByColumn(BaiduSite);
            QElapsedTimer clock;
            clock.start();
            QTRY_COMPARE_WITH_TIMEOUT(sql(m_path, read).toString(), u"123"_s, 2000);
            QVERIFY2(clock.elapsed() <= 1000, qPrintable(QString::number(clock.elapsed())));
        }
        QVERIFY(saved(m_path) == snapshot(table));
    }

    void olderSchemaIsMigrated()
    {
        QCOMPARE(sql(m_path, {u"CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)"_s,
                              u"CREATE TABLE rows(key INTEGER PRIMARY KEY, c0, c1, c2, c3, c4, "
                              "c5, c6, c7, c8, c9)"_s,
                              u"INSERT INTO meta VALUES('grid', 'saved')"_s,
                              u"INSERT INTO rows(key, c1, c9) VALUES(3, 'c.com', '可注册')"_s,
                              u"INSERT INTO rows(key, c1) VALUES(1, 'a.com'), (2, 'b.com')"_s,
                              u"PRAGMA user_version = 1"_s, u"PRAGMA user_version"_s}),
                 QVariant(1));
        ResultTable table;
        {
            SessionStore store(m_path);
            QCOMPARE(store.message(), QString());
            table.appendRows(store.load().value_or(QList<RowCells>()));
            QCOMPARE(table.cell(0, kDomainColumn), u"a.com"_s);
            QCOMPARE(table.cell(2, Registration), u"可注册"_s);
            store.attach(&table);
            table.sortByColumn(kDomainColumn);
        }
        QVERIFY(saved(m_path) == snapshot(table));
        QCOMPARE(sql(m_path, {u"PRAGMA user_version"_s}), QVariant(2));
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
        ResultTable table;
        table.appendRows(rowsOf(3000));
        SessionStore(m_path).attach(&table);
        QByteArray damaged = contents(m_path);
        if (sqliteHeader)
            damaged.replace(8192, 24'000, QByteArray(24'000, 'Z'));
        else
            damaged = QByteArray("a list of names, not a database\n").repeated(200);
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
        file.close();

        table.clear();
        SessionStore store(m_path);
        QCOMPARE(store.state(), SessionStore::State::Saving);
        const QString aside = store.message().mid(SessionStore::kMovedAsidePrefix.size());
        QCOMPARE(store.message(), SessionStore::kMovedAsidePrefix + aside);
        QVERIFY2(QRegularExpression(u"^"_s + QRegularExpression::escape(m_path) +
                                    uR"(\.corrupt-\d{8}-\d{6}$)"_s)
                     .match(aside)
                     .hasMatch(),
                 qPrintable(aside));
        QCOMPARE(contents(aside), damaged);
        QCOMPARE(store.load(), std::nullopt);
        store.attach(&table);
        store.flush();
        QCOMPARE(sql(m_path, {u"SELECT count(*) FROM meta"_s}), QVariant(1));
    }

    void runsWithoutSaving_data()
    {
        QTest::addColumn<Prepare>("prepare");
        QTest::addColumn<SessionStore::State>("state");
        QTest::addColumn<QString>("message");
        QTest::newRow("newer version") << Prepare([](const QString &path) {
            sql(path, {u"CREATE TABLE rows(anything)"_s, u"PRAGMA user_version = 3"_s});
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
        QTest::newRow("held by a live store for an hour") << Prepare([this](const QString &path) {
            m_holder.emplace(path);
            QFile lock(path + u".lock"_s);
            lock.open(QIODevice::ReadWrite);
            lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                             QFileDevice::FileModificationTime);
            return path;
        }) << SessionStore::State::InUse << SessionStore::kInUseMessage;
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
        }
        QCOMPARE(contents(m_path), before);
        QVERIFY(!QFileInfo::exists(m_path + u"-wal"_s));
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
        // Answers spread over several hand-overs, so cells also reach the file as changes; the
        // child's second metric (Google) stalls on the page after kAnswered.
        sim.setFault(Route::BaiduSite, Fault::delay(40));
        sim.setFault(Route::Google, Fault::delay(150));
        constexpr int kAnswered = 5;
        connect(&sim, &SiteSimulator::requestReceived, this, [&](Route route) {
            if (route == Route::Google && sim.requestCount(Route::Google) == kAnswered + 1)
                sim.hold(Route::Google);
        });
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(VARNEL_SESSION_CHILD),
                    QStringList{m_path, sim.hostPort()} + names);
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
        for (int i = 0; i < kAnswered; ++i)
            QVERIFY(sim.requestTargets(Route::Google)[i].contains(names[i]));
        child.kill(); // SIGKILL: no destructor, no flush
        QVERIFY(child.waitForFinished());
        QVERIFY(QFileInfo::exists(m_path + u".lock"_s));

        SessionStore store(m_path);
        QCOMPARE(store.state(), SessionStore::State::Saving);
        const QList<RowCells> rows = store.load().value_or(QList<RowCells>());
        QCOMPARE(rows.size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            RowCells expected;
            expected.fill(kBlankCell);
            expected[kLabelColumn] = QString::number(i);
            expected[kDomainColumn] = names[i];
            expected[BaiduSite] = expectedCell(0, names[i]);
            if (i < kAnswered)
                expected[GoogleSite] = expectedCell(2, names[i]);
            QVERIFY2(rows[i] == expected, qPrintable(names[i]));
        }
        sim.release(Route::All);
    }
};

QTEST_GUILESS_MAIN(TestSessionStore)
#include "tst_session_store.moc"
