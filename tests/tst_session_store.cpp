// The session file: what edits leave in it, what a killed window leaves, files to leave alone.
#include "Fixture.h"
#include "session/Session.h"
#include "session/SessionStore.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <QCoroTask>

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

QList<SavedRow> snapshot(const ResultTable &table)
{
    QList<SavedRow> rows;
    for (int r = 0; r < table.rowCount(); ++r)
        rows << table.savedRow(r);
    return rows;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
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
    void init()
    {
        m_path = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) +
                                QString::fromLatin1(QTest::currentDataTag()));
    }

    // A file at version 1, written when the grid had a column less, is walked to the newest
    // version and gains the cells of the new column. Then edits, each to the grid restored from
    // the file, each in the file when it is read again.
    void versionsAndEdits()
    {
        sql(m_path, {u"CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)"_s,
                     u"CREATE TABLE rows(key INTEGER PRIMARY KEY, c0, c1, c2, c3, c4, c5, c6, c7, "
                     "c8)"_s,
                     u"INSERT INTO meta VALUES('grid', 'saved')"_s,
                     u"INSERT INTO rows(key, c1, c8) VALUES(3, 'c.com', '查询失败')"_s,
                     u"INSERT INTO rows(key, c1) VALUES(1, 'a.com'), (2, 'b.com')"_s,
                     u"PRAGMA user_version = 1"_s});

        const std::function<void(ResultTable &)> edits[] = {
            [](ResultTable &t) {
                QCOMPARE(t.cell(0, kDomainColumn) + t.cell(2, PageRank), u"a.com查询失败"_s);
                QCOMPARE(t.cellState(2, PageRank), CellState::Failed);
                t.setCell(1, GoogleSite, u"123"_s);
                t.appendRows(rowsOf(200));
                t.setCell(199, PageRank, u"4\n"_s);
                t.sortByColumn(BaiduSite);
                t.setCell(0, Registration, u"可注册"_s);
                t.removeRowsWhere(
                    [](const ResultRow &r) { return r.cells[BaiduSite].size() == 2; });
                t.setDropTimes({{}, QDateTime(QDate(2026, 12, 8), QTime(13, 5), Qt::UTC)});
            },
            [](ResultTable &t) { // many runs of rows, removed in one reset
                QCOMPARE(t.dropTime(1), QDateTime(QDate(2026, 12, 8), QTime(13, 5), Qt::UTC));
                QVERIFY(!t.dropTime(0).isValid());
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
                table.appendSavedRows(store.loadSaved().value());
                store.attach(&table);
                edit(table);
            }
            QVERIFY2(SessionStore(m_path).loadSaved() == snapshot(table),
                     qPrintable(u"edit %1"_s.arg(&edit - edits)));
        }
        QCOMPARE(sql(m_path, {u"PRAGMA user_version"_s}), QVariant(4));
    }

    // A file the previous version wrote, its cells as texts, comes back as it was: each cell's
    // text and the state read from it, the drop instant, the order; and so again from the file
    // in its new form.
    void previousVersionRestoredUnchanged_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<CellState>("state");
        const CellState value = CellState::Value;
        QTest::newRow("count grouped") << int(BaiduSite) << u"1,230,000"_s << value;
        QTest::newRow("count plain") << int(BaiduDomain) << u"56"_s << value;
        QTest::newRow("leading zero") << int(GoogleSite) << u"007"_s << value;
        QTest::newRow("billions") << int(GoogleSite) << u"25,270,000,000"_s << value;
        QTest::newRow("PageRank") << int(PageRank) << u"4\n"_s << value;
        QTest::newRow("failed") << int(YahooPages) << kQueryFailed << CellState::Failed;
        QTest::newRow("refused") << int(YahooLinksWww) << kQueryRefused << CellState::Refused;
        QTest::newRow("empty") << int(YahooLinksBare) << QString() << CellState::Blank;
        QTest::newRow("RDAP stage") << int(Registration) << kStageRedemption << value;
        QTest::newRow("no archive") << int(ArchiveFirstYear) << kNoArchive << value;
        QTest::newRow("share") << int(OtherSuffixes) << u"3/8"_s << value;
        QTest::newRow("label not a number") << kLabelColumn << u"x"_s << value;
    }
    void previousVersionRestoredUnchanged()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(CellState, state);
        QStringList columns;
        for (int c = 0; c < kCellCount; ++c)
            columns << u"c%1 TEXT"_s.arg(c);
        sql(m_path, {u"CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)"_s,
                     u"CREATE TABLE rows(key INTEGER PRIMARY KEY, position INTEGER NOT NULL "
                     "DEFAULT 0, %1, drop_ms INTEGER)"_s.arg(columns.join(u", "_s)),
                     u"INSERT INTO meta VALUES('grid', 'saved')"_s,
                     u"INSERT INTO rows(key, position, c0, c1, c%1, drop_ms) VALUES(7, 2, '1', "
                     "'b.com', NULL, 1765199100000), (9, 1, '0', 'a.com', ' ', NULL)"_s.arg(column),
                     u"PRAGMA user_version = 3"_s});
        // The text goes in bound, so that it keeps its type and line breaks.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bind"_s);
            db.setDatabaseName(m_path);
            QSqlQuery q(db);
            QVERIFY(db.open() && q.prepare(u"UPDATE rows SET c%1 = ? WHERE key = 7"_s.arg(column)));
            q.addBindValue(text.isNull() ? u""_s : text);
            QVERIFY(q.exec());
        }
        QSqlDatabase::removeDatabase(u"bind"_s);
        for (int pass = 0; pass < 2; ++pass) {
            ResultTable table;
            SessionStore store(m_path);
            table.appendSavedRows(store.loadSaved().value());
            store.attach(&table);
            QCOMPARE(table.rowCount(), 2);
            QCOMPARE(table.cell(1, kDomainColumn), u"b.com"_s);
            QCOMPARE(table.cell(1, column), text);
            QCOMPARE(table.cellState(1, column), state);
            QCOMPARE(table.cell(0, column), column == kLabelColumn ? u"0"_s : kBlankCell);
            QCOMPARE(table.dropTime(1), QDateTime::fromMSecsSinceEpoch(1765199100000, Qt::UTC));
        }
        QCOMPARE(sql(m_path, {u"SELECT count(*) FROM sqlite_master WHERE name = 'rows'"_s}),
                 QVariant(0));
    }

    // How a store starts. A file that is no database, or whose header gives a version no
    // release wrote, a format SQLite does not know or marks it read-only, is moved aside for a
    // new one; a plausible newer version's is left alone. A lock that names no live process (as
    // a power cut leaves it) gives way; a live one holds.
    void filesFoundAtStart_data()
    {
        // `file` null: a saved grid (version 2) with `patch` at `at` in its header. `lock` null:
        // none; "held": a live lock in this process; "unreadable": one nobody may read.
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("at");
        QTest::addColumn<QByteArray>("patch");
        QTest::addColumn<QByteArray>("lock");
        QTest::addColumn<QString>("message");
        const QByteArray saved, none;
        const QString aside = SessionStore::kMovedAsidePrefix;
        QTest::newRow("not a database")
            << "a list of names, not a database\n"_ba.repeated(200) << 0 << none << none << aside;
        QTest::newRow("version -1") << saved << 60 << "\xFF\xFF\xFF\xFF"_ba << none << aside;
        QTest::newRow("version 0, with tables") << saved << 63 << "\0"_ba << none << aside;
        QTest::newRow("version 1, tables of 2") << saved << 63 << "\1"_ba << none << aside;
        QTest::newRow("version 2^31 - 1") << saved << 60 << "\x7F\xFF\xFF\xFF"_ba << none << aside;
        QTest::newRow("version 40")
            << saved << 63 << "\x28"_ba << none << SessionStore::kNewerMessage;
        QTest::newRow("write version 255") << saved << 18 << "\xFF"_ba << none << aside;
        QTest::newRow("schema format 5") << saved << 47 << "\x05"_ba << none << aside;
        QTest::newRow("write version 255, no log") << saved << 18 << "\xFF\x01"_ba << none << aside;
        QTest::newRow("empty lock") << ""_ba << 0 << none << ""_ba << QString();
        QTest::newRow("garbled lock")
            << ""_ba << 0 << none << "\xFF\0\x13 no pid\n"_ba << QString();
        QTest::newRow("unreadable lock") << ""_ba << 0 << none << "unreadable"_ba << QString();
        QTest::newRow("live lock")
            << ""_ba << 0 << none << "held"_ba << SessionStore::kInUseMessage;
    }
    void filesFoundAtStart()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, at);
        QFETCH(QByteArray, patch);
        QFETCH(QByteArray, lock);
        QFETCH(QString, message);
        if (file.isNull()) {
            {
                ResultTable table;
                SessionStore store(m_path);
                store.attach(&table);
                table.appendRows(rowsOf(3));
            }
            file = contents(m_path).replace(at, patch.size(), patch);
        }
        QLockFile live(m_path + u".lock"_s);
        QVERIFY(write(m_path, file));
        QVERIFY(lock == "held" ? live.tryLock(0) : lock.isNull() || write(live.fileName(), lock));
        QVERIFY(lock != "unreadable" || QFile::setPermissions(live.fileName(), {}));
        const bool movedAside = message == SessionStore::kMovedAsidePrefix;
        const bool saving = movedAside || message.isEmpty();
        {
            ResultTable table;
            SessionStore store(m_path);
            QCOMPARE(store.state() == SessionStore::State::Saving, saving);
            const QString says = movedAside ? message + m_path + u".corrupt-"_s : message;
            QCOMPARE(store.message().left(movedAside ? says.size() : -1), says);
            if (movedAside)
                QCOMPARE(contents(store.message().mid(message.size())), file);
            QCOMPARE(store.load(), std::nullopt);
            store.attach(&table);
            table.appendRows(rowsOf(5));
        }
        if (saving) {
            QCOMPARE(SessionStore(m_path).load(), rowsOf(5));
        } else {
            QCOMPARE(contents(m_path), file);
            QCOMPARE(QFileInfo(m_path + u"-wal"_s).size(), 0); // nothing written, not even a log
        }
    }

    // A write SQLite refuses (here by a trigger of the test's own) stops saving and says so,
    // once; the rows saved before stay as they were.
    void refusedWriteStopsSaving_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("edit");
        QTest::newRow("row added") << u"INSERT"_s << 0;
        QTest::newRow("cell changed") << u"UPDATE"_s << 1;
        QTest::newRow("rows sorted") << u"UPDATE"_s << 2;
        QTest::newRow("row removed") << u"DELETE"_s << 3;
    }
    void refusedWriteStopsSaving()
    {
        QFETCH(QString, event);
        QFETCH(int, edit);
        ResultTable table;
        table.appendRows(rowsOf(3));
        const QList<SavedRow> saved = snapshot(table);
        {
            SessionStore store(m_path);
            store.attach(&table);
            store.flush();
            sql(m_path, {u"CREATE TRIGGER refuse BEFORE %1 ON grid BEGIN "
                         "SELECT RAISE(ABORT, 'refused'); END"_s.arg(event)});
            QSignalSpy stopped(&store, &SessionStore::stateChanged);
            if (edit == 0)
                table.appendRows(rowsOf(1, 3));
            else if (edit == 1)
                table.setCell(0, GoogleSite, u"5"_s);
            else if (edit == 2)
                table.sortByColumn(BaiduSite);
            else
                table.removeRowsWhere([](const ResultRow &r) { return r.cells[0] == u"1"; });
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^session file: .*refused"_s));
            store.flush();
            table.setCell(1, GoogleSite, u"6"_s);
            store.flush();
            QCOMPARE(stopped.size(), 1);
            QCOMPARE(store.state(), SessionStore::State::ReadOnly);
            QCOMPARE(store.message(), SessionStore::kUnwritableMessage);
        }
        sql(m_path, {u"DROP TRIGGER refuse"_s});
        QCOMPARE(SessionStore(m_path).loadSaved(), saved);
    }

    // A file without names, or none at all, leaves the grid and the session file as the last
    // import left them.
    void importWithoutNames()
    {
        QVERIFY(write(m_path + u".txt"_s, "a.com\nb.net\n"_ba) &&
                write(m_path + u".bin"_s, "\177ELF\2\1\1\0\n\0\0\0\0\n\3\0>\0\1\0\0\0"_ba));
        {
            Session session{StartOptions()};
            session.keepIn(m_path);
            QCoro::waitFor(session.importFile(m_path + u".txt"_s));
            QCOMPARE(QCoro::waitFor(session.importFile(m_path + u".bin"_s)),
                     u"未找到域名：跳过 3 行"_s);
            QCOMPARE(QCoro::waitFor(session.importFile(m_path + u".none"_s)),
                     u"无法读取文件："_s + m_path + u".none"_s);
            QCOMPARE(session.grid()->rowCount(), 2);
        }
        QCOMPARE(SessionStore(m_path).load().value_or(QList<RowCells>()).size(), 2);
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
