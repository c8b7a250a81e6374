// The session file: what edits leave in it, what a killed window leaves, files to leave alone.
#include "Fixture.h"
#include "session/SessionStore.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Fixed-width names, so that none is a substring of another in a request target.
QList<RowCells> rowsOf(int count, int from = 0)
{
    QList<RowCells> rows;
    for (int i = from; i < from + count; ++i) {
        RowCells &r = rows.emplace_back();
        r.fill(kBlankCell);
        r[kLabelColumn] = QString::number(i);
        r[kDomainColumn] = u"n%1.com"_s.arg(i, 5, 10, QChar(u'0'));
        r[BaiduSite] = QString::number(i * 7919 % 1000);
    }
    return rows;
}

QList<RowCells> snapshot(const ResultTable &table)
{
    QList<RowCells> rows(table.rowCount());
    for (int r = 0; r < table.rowCount(); ++r)
        for (int c = 0; c < kColumnCount; ++c)
            rows[r][c] = table.cell(r, c);
    return rows;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs statements on a connection of the test's own; the first value of the last one's result.
QVariant sql(const QString &path, const QStringList &statements)
{
    QVariant last;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"test"_s);
        db.setDatabaseName(path);
        QSqlQuery q(db);
        for (const QString &statement : statements)
            last = db.open() && q.exec(statement) && q.next() ? q.value(0) : QVariant();
    }
    QSqlDatabase::removeDatabase(u"test"_s);
    return last;
}

} // namespace

class TestSessionStore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir; // one folder, so that moved-aside files are found beside theirs
    QString m_path;

private Q_SLOTS:
    void init() { m_path = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction())); }

    // A file from a newer version is left alone; at version 1 it is walked to version 2. Then
    // edits, each to the grid restored from the file, each in the file when it is read again.
    void versionsAndEdits()
    {
        sql(m_path, {u"CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)"_s,
                     u"CREATE TABLE rows(key INTEGER PRIMARY KEY, c0, c1, c2, c3, c4, c5, c6, c7, "
                     "c8, c9)"_s,
                     u"INSERT INTO meta VALUES('grid', 'saved')"_s,
                     u"INSERT INTO rows(key, c1, c9) VALUES(3, 'c.com', '可注册')"_s,
                     u"INSERT INTO rows(key, c1) VALUES(1, 'a.com'), (2, 'b.com')"_s,
                     u"PRAGMA user_version = 3"_s});
        const QByteArray newer = contents(m_path);
        {
            SessionStore store(m_path);
            QCOMPARE(store.state(), SessionStore::State::ReadOnly);
            QCOMPARE(store.message(), SessionStore::kNewerMessage);
            QCOMPARE(store.load(), std::nullopt);
            ResultTable table;
            store.attach(&table);
            table.appendRows(rowsOf(5));
        }
        QCOMPARE(contents(m_path), newer);
        QVERIFY(!QFileInfo::exists(m_path + u"-wal"_s));
        sql(m_path, {u"PRAGMA user_version = 1"_s});

        const std::function<void(ResultTable &)> edits[] = {
            [](ResultTable &t) {
                QCOMPARE(t.cell(0, kDomainColumn) + t.cell(2, Registration), u"a.com可注册"_s);
                t.setCell(1, GoogleSite, u"123"_s);
                t.appendRows(rowsOf(200));
                t.setCell(199, PageRank, u"4\n"_s);
                t.sortByColumn(BaiduSite);
                t.setCell(0, Registration, u"可注册"_s);
                t.removeRowsWhere(
                    [](const ResultRow &r) { return r.cells[BaiduSite].size() == 2; });
            },
            [](ResultTable &t) { // many runs of rows, removed in one reset
                t.removeRowsWhere(
                    [](const ResultRow &r) { return r.cells[BaiduSite].endsWith(u'1'); });
            },
            [](ResultTable &t) { // sorted before its slices are handed over
                t.appendRows(rowsOf(45'000, 1000));
                t.sortByColumn(BaiduSite);
                t.setCell(44'000, GoogleSite, u"1"_s);
                QTest::qWait(1000); // the slices go by the timer, not by flush()
            },
            [](ResultTable &t) { t.clear(); },
        };
        for (const auto &edit : edits) {
            ResultTable table;
            {
                SessionStore store(m_path);
                QCOMPARE(store.message(), QString());
                table.appendRows(store.load().value());
                store.attach(&table);
                edit(table);
            }
            QVERIFY2(SessionStore(m_path).load() == snapshot(table),
                     qPrintable(u"edit %1"_s.arg(&edit - edits)));
        }
        QCOMPARE(sql(m_path, {u"PRAGMA user_version"_s}), QVariant(2));
    }

    void damagedFileIsMovedAside()
    {
        const QByteArray damaged = QByteArray("a list of names, not a database\n").repeated(200);
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(damaged) > 0);
        file.close();
        {
            SessionStore store(m_path);
            QCOMPARE(store.state(), SessionStore::State::Saving);
            const QString &prefix = SessionStore::kMovedAsidePrefix;
            QVERIFY2(store.message().startsWith(prefix + m_path + u".corrupt-"_s),
                     qPrintable(store.message()));
            QCOMPARE(contents(store.message().mid(prefix.size())), damaged);
        }
        QCOMPARE(sql(m_path, {u"PRAGMA user_version"_s}), QVariant(2)); // a new file in its place
    }

    // A real window process, killed while its run waits for a page: every answered page's cell
    // is back, the rest blank, the rows in order. Its lock kept others out only while it lived.
    void killedWindowLosesNoAnsweredCell()
    {
        SiteSimulator sim;
        QVERIFY(sim.listen());
        QStringList names;
        for (const RowCells &row : rowsOf(12))
            names << row[kDomainColumn];
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
        // However old: a lock is stale only when its process is gone.
        QFile lock(m_path + u".lock"_s);
        QVERIFY(lock.open(QIODevice::ReadWrite) &&
                lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
        QCOMPARE(SessionStore(m_path).message(), SessionStore::kInUseMessage);

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
            RowCells expected = rowsOf(1, i).first();
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
