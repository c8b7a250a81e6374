#include "SessionStore.h"

#include "SqliteStatement.h"
#include "text/Clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include <algorithm>
#include <functional>
#include <numeric>
#include <optional>

namespace {

// The grid's cell columns in the file, c0 to c(kCellCount - 1), each followed by `suffix`.
QString cellColumns(QStringView suffix)
{
    QStringList columns;
    for (int c = 0; c < kCellCount; ++c)
        columns << QStringLiteral("c%1").arg(c) + suffix.toString();
    return columns.join(QStringLiteral(", "));
}

bool execAll(QSqlQuery &q, const QStringList &statements)
{
    return std::all_of(statements.begin(), statements.end(),
                       [&](const QString &statement) { return q.exec(statement); });
}

// A column added to the grid adds its cell column to the file; nothing else has to change.
bool addMissingCellColumns(QSqlQuery &q)
{
    if (!q.exec(QStringLiteral("SELECT name FROM pragma_table_info('rows')")))
        return false;
    QStringList have;
    while (q.next())
        have << q.value(0).toString();
    for (int c = 0; c < kCellCount; ++c) {
        const QString column = QStringLiteral("c%1").arg(c);
        if (!have.contains(column) &&
            !q.exec(QStringLiteral("ALTER TABLE rows ADD COLUMN %1 TEXT").arg(column)))
            return false;
    }
    // A registry list's drop instant, in ms since the epoch; NULL when the row has none.
    return have.contains(QStringLiteral("drop_ms")) ||
           q.exec(QStringLiteral("ALTER TABLE rows ADD COLUMN drop_ms INTEGER"));
}

// The drop instant as the file keeps it: NULL for none.
QVariant dropOf(qint64 dropMs)
{
    return dropMs == ResultRow::kNoDropTime ? QVariant() : QVariant(dropMs);
}

// The row's states, drop instant, domain and other cells, from the `from`th place of `q` on.
void bindSaved(QSqlQuery &q, int from, const SavedRow &row)
{
    q.bindValue(from, row.states);
    q.bindValue(from + 1, dropOf(row.dropMs));
    q.bindValue(from + 2, row.name);
    q.bindValue(from + 3, row.cells);
}

// The same for the writer's statements, whose places count from 1.
void bindSaved(SqliteStatement &s, int from, const SavedRow &row)
{
    s.bind(from, row.states);
    if (row.dropMs == ResultRow::kNoDropTime)
        s.bindNull(from + 1);
    else
        s.bind(from + 1, row.dropMs);
    s.bindText(from + 2, row.name);
    s.bindBlob(from + 3, row.cells);
}

constexpr int kRowsPerInsert = 100; // 600 values, under SQLite's oldest limit of 999

const QString kInsertSaved = QStringLiteral(
    "INSERT OR REPLACE INTO grid(key, position, states, drop_ms, name, cells) VALUES(?, ?, ?, ?, "
    "?, ?)");

bool hasTable(QSqlQuery &q, const QString &name)
{
    q.prepare(
        QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q.addBindValue(name);
    return q.exec() && q.next() && q.value(0).toLongLong() > 0;
}

// The grid with typed cells (SavedRow): a row's counts as integers, its other texts as they
// are, its states beside them, packed in one value, so that a row is a handful of values to
// write and read. A column added later needs no step: a row saved without it reads as blank
// there. A file with the text grid of the earlier versions has it read as the grid would import
// it, and dropped.
bool typedGrid(QSqlQuery &q)
{
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS grid(key INTEGER PRIMARY KEY, "
                               "position INTEGER NOT NULL DEFAULT 0, states INTEGER NOT NULL "
                               "DEFAULT 0, drop_ms INTEGER, name TEXT, cells BLOB)")))
        return false;
    if (!hasTable(q, QStringLiteral("rows")))
        return true;

    ResultTable texts;
    QList<std::pair<qint64, qint64>> places; // key, position
    QList<RowCells> rows;
    QList<QDateTime> drops;
    if (!q.exec(
            QStringLiteral("SELECT key, position, %1, drop_ms FROM rows").arg(cellColumns(u""))))
        return false;
    while (q.next()) {
        places.append({q.value(0).toLongLong(), q.value(1).toLongLong()});
        RowCells &cells = rows.emplace_back();
        for (int c = 0; c < kCellCount; ++c)
            cells[c] = q.value(2 + c).toString();
        const QVariant drop = q.value(2 + kCellCount);
        drops << (drop.isNull() ? QDateTime()
                                : QDateTime::fromMSecsSinceEpoch(drop.toLongLong(), Qt::UTC));
    }
    texts.appendRows(rows);
    texts.setDropTimes(drops);
    if (!q.prepare(kInsertSaved))
        return false;
    for (int row = 0; row < texts.rowCount(); ++row) {
        q.bindValue(0, places[row].first);
        q.bindValue(1, places[row].second);
        bindSaved(q, 2, texts.savedRow(row));
        if (!q.exec())
            return false;
    }
    return q.exec(QStringLiteral("DROP TABLE rows"));
}

// Each step brings the file from version i to i + 1; a new file walks them all. The last step
// runs at every start too, so a file at the newest version still gains a new column's cells.
const QList<std::function<bool(QSqlQuery &)>> kMigrations = {
    // 1: the grid, its rows in key order (the cells come with the last step)
    [](QSqlQuery &q) {
        return execAll(q, {QStringLiteral("CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT "
                                          "NOT NULL)"),
                           QStringLiteral("CREATE TABLE rows(key INTEGER PRIMARY KEY)")});
    },
    // 2: each row keeps its place in display order, so a sort rewrites places, not cells
    [](QSqlQuery &q) {
        return execAll(
            q, {QStringLiteral("ALTER TABLE rows ADD COLUMN position INTEGER NOT NULL DEFAULT 0"),
                QStringLiteral("UPDATE rows SET position = key")});
    },
    // 3: a cell column for each grid column
    addMissingCellColumns,
    // 4: typed cells and their states
    typedGrid,
};
const int kSchemaVersion = int(kMigrations.size());
// A release adds a step or two; a header this far ahead was written by no version at all.
const qint64 kNewestPlausibleVersion = kSchemaVersion + 100;

// Changes reach the writer this long after the first of them at most.
constexpr int kHandOverMs = 250;
// Rows with cells per hand-over: a large import reaches the writer in slices, so neither
// thread is held for long, and is committed as one transaction after its last slice.
constexpr qsizetype kRowsPerHandOver = 20'000;

const QString kBusyTimeout = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");

// SQLite's result codes for a file that is not, or no longer, a database it can read. The
// statements that look at a file are fixed, so a plain SQL error there comes from the file: its
// header names a format this SQLite does not know.
bool isDamage(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    return code == u"1" || code == u"11" || code == u"26";
}

enum class Health { Sound, Damaged, Newer, Unreadable };

bool holdsTables(QSqlQuery &q)
{
    return q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && q.next() &&
           q.value(0).toLongLong() > 0;
}

// Looks at an existing file without writing to it: a read-only connection neither converts
// the journal nor checkpoints a newer version's log into the file.
Health examine(const QString &path, const QString &connection)
{
    Health health = Health::Sound;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;") + kBusyTimeout);
        if (!db.open()) {
            health = Health::Unreadable;
        } else {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
                health = isDamage(q.lastError()) ? Health::Damaged : Health::Unreadable;
            } else if (const qint64 version = q.value(0).toLongLong();
                       version < 0 || version > kNewestPlausibleVersion) {
                health = Health::Damaged;
            } else if (version > kSchemaVersion) {
                health = Health::Newer;
            } else if (version == 0 && holdsTables(q)) {
                // Only a file no step has touched may lack a version, and it has no tables.
                health = Health::Damaged;
            } else if (!q.exec(QStringLiteral("PRAGMA quick_check(1)")) || !q.next()) {
                health = isDamage(q.lastError()) ? Health::Damaged : Health::Unreadable;
            } else if (q.value(0).toString() != u"ok") {
                health = Health::Damaged;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return health;
}

void closeConnection(const QString &connection)
{
    if (!QSqlDatabase::contains(connection))
        return;
    QSqlDatabase::database(connection, false).close();
    QSqlDatabase::removeDatabase(connection);
}

} // namespace

// What changed in the grid since the last hand-over.
struct SessionBatch {
    struct Row {
        qint64 key = 0;
        qint64 position = 0;
        SavedRow saved;
    };
    bool wipe = false; // every stored row goes first: the grid was reset
    QList<qint64> deleted;
    QList<std::pair<qint64, qint64>> moves; // key, position
    QList<Row> updates;
    QList<Row> inserts;
    // False for the earlier slices of a large change: its transaction stays open.
    bool complete = true;
};

namespace {

// A row to insert, from the `from`th place of `s` on.
void bindInsert(SqliteStatement &s, int from, const SessionBatch::Row &row)
{
    s.bind(from, row.key);
    s.bind(from + 1, row.position);
    bindSaved(s, from + 2, row.saved);
}

} // namespace

// Lives on the writer thread with its own connection; the window's thread never waits for it.
class SessionWriter final : public QObject {
    Q_DISABLE_COPY_MOVE(SessionWriter)

public:
    SessionWriter(const QString &path, const QString &connection)
        : m_path(path)
        , m_connection(connection)
    {
    }

    // False once a write has failed; nothing is written after that.
    bool apply(const SessionBatch &batch)
    {
        if (m_failed || (!m_db.isOpen() && !openConnection()))
            return fail();
        if (!m_inTransaction) {
            if (!m_db.transaction())
                return fail();
            m_inTransaction = true;
        }
        bool ok = true;
        if (batch.wipe) {
            QSqlQuery q(m_db);
            ok = q.exec(QStringLiteral("DELETE FROM grid")) &&
                 q.exec(QStringLiteral(
                     "INSERT OR REPLACE INTO meta(name, value) VALUES('grid', 'saved')"));
            if (!ok)
                return fail(q.lastError().text());
        }
        for (qsizetype i = 0; ok && i < batch.deleted.size(); ++i) {
            m_delete.bind(1, batch.deleted[i]);
            ok = m_delete.exec() || fail(m_delete.errorText());
        }
        for (qsizetype i = 0; ok && i < batch.moves.size(); ++i) {
            m_move.bind(1, batch.moves[i].second);
            m_move.bind(2, batch.moves[i].first);
            ok = m_move.exec() || fail(m_move.errorText());
        }
        for (qsizetype i = 0; ok && i < batch.updates.size(); ++i) {
            const SessionBatch::Row &row = batch.updates[i];
            bindSaved(m_update, 1, row.saved);
            m_update.bind(5, row.key);
            ok = m_update.exec() || fail(m_update.errorText());
        }
        // Many rows a statement: each run of a statement costs more than a row's values.
        qsizetype i = 0;
        for (; ok && i + kRowsPerInsert <= batch.inserts.size(); i += kRowsPerInsert) {
            for (int k = 0; k < kRowsPerInsert; ++k)
                bindInsert(m_insertMany, 1 + k * 6, batch.inserts[i + k]);
            ok = m_insertMany.exec() || fail(m_insertMany.errorText());
        }
        for (; ok && i < batch.inserts.size(); ++i) {
            bindInsert(m_insert, 1, batch.inserts[i]);
            ok = m_insert.exec() || fail(m_insert.errorText());
        }
        if (ok && batch.complete) {
            ok = m_db.commit();
            m_inTransaction = !ok;
            if (ok)
                checkpointLater();
        }
        return ok || fail();
    }

    void close()
    {
        if (m_inTransaction)
            m_db.commit();
        // Statements go before the connection, which cannot close while one is left.
        m_insert.finalize();
        m_insertMany.finalize();
        m_update.finalize();
        m_move.finalize();
        m_delete.finalize();
        m_db = {};
        closeConnection(m_connection);
    }

private:
    bool openConnection()
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        m_db.setDatabaseName(m_path);
        m_db.setConnectOptions(kBusyTimeout);
        if (!m_db.open())
            return false;
        // In WAL mode NORMAL loses nothing when the process dies, only on power loss.
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        // Committed rows are safe in the log; copying them into the file waits until the
        // writer has nothing else queued (checkpointLater), not inside the commit.
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
        const auto prepared = [this](SqliteStatement &statement, const QString &sql) {
            return statement.prepare(m_db, sql) || fail(statement.errorText());
        };
        const QStringList many(kRowsPerInsert, QStringLiteral("(?, ?, ?, ?, ?, ?)"));
        return prepared(m_insert, kInsertSaved) &&
               prepared(m_insertMany,
                        QStringLiteral("INSERT OR REPLACE INTO grid(key, position, states, "
                                       "drop_ms, name, cells) VALUES %1")
                            .arg(many.join(u','))) &&
               prepared(m_update, QStringLiteral("UPDATE grid SET states = ?, drop_ms = ?, name = "
                                                 "?, cells = ? WHERE key = ?")) &&
               prepared(m_move, QStringLiteral("UPDATE grid SET position = ? WHERE key = ?")) &&
               prepared(m_delete, QStringLiteral("DELETE FROM grid WHERE key = ?"));
    }

    // Once the log has grown past what SQLite's own automatic checkpoint allows (1,000 pages),
    // it is copied into the file and emptied after the work already queued, so that a flush
    // does not wait for it. A checkpoint that finds a reader busy is tried after a later commit.
    void checkpointLater()
    {
        constexpr qint64 kLogLimit = 1000 * 4096;
        if (m_checkpointQueued || QFileInfo(m_path + QStringLiteral("-wal")).size() < kLogLimit)
            return;
        m_checkpointQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_checkpointQueued = false;
                if (!m_failed && !m_inTransaction && m_db.isOpen())
                    QSqlQuery(m_db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            },
            Qt::QueuedConnection);
    }

    // `why` is SQLite's word on the statement that failed; by default the connection's.
    bool fail(const QString &why = {})
    {
        if (!m_failed) {
            qWarning("session file: %s", qPrintable(why.isEmpty() ? m_db.lastError().text() : why));
            if (m_inTransaction)
                m_db.rollback();
            m_inTransaction = false;
            m_failed = true;
        }
        return false;
    }

    QString m_path;
    QString m_connection;
    QSqlDatabase m_db;
    SqliteStatement m_insert;
    SqliteStatement m_insertMany; // kRowsPerInsert rows
    SqliteStatement m_update;
    SqliteStatement m_move;
    SqliteStatement m_delete;
    bool m_inTransaction = false;
    bool m_failed = false;
    bool m_checkpointQueued = false;
};

SessionStore::SessionStore(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
    , m_connection(QStringLiteral("varnel-session-%1").arg(quintptr(this), 0, 16))
    , m_lock(path + QStringLiteral(".lock"))
{
    m_handOverTimer.setSingleShot(true);
    connect(&m_handOverTimer, &QTimer::timeout, this, &SessionStore::handOver);

    // A lock is stale only when its process is gone, however long a window stays open.
    m_lock.setStaleLockTime(0);
    if (!takeLock()) {
        runWithoutSaving(
            m_lock.error() == QLockFile::LockFailedError ? State::InUse : State::ReadOnly,
            m_lock.error() == QLockFile::LockFailedError ? kInUseMessage : kUnwritableMessage);
        return;
    }
    open();
}

SessionStore::~SessionStore()
{
    flush();
    if (m_writer) {
        QMetaObject::invokeMethod(
            m_writer, [writer = m_writer] { writer->close(); }, Qt::BlockingQueuedConnection);
        m_writerThread.quit();
        m_writerThread.wait();
        delete m_writer;
    }
    closeConnection(m_connection);
}

QString SessionStore::defaultPath(bool demo)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return folder +
           (demo ? QStringLiteral("/session-demo.sqlite") : QStringLiteral("/session.sqlite"));
}

bool SessionStore::takeLock()
{
    if (m_lock.tryLock(0))
        return true;
    // QLockFile clears a lock whose process is gone, but only when the lock names one: an
    // empty or garbled file, as a power cut leaves, would keep every window out for good.
    qint64 pid = 0;
    QString host;
    QString application;
    if (m_lock.error() != QLockFile::LockFailedError ||
        m_lock.getLockInfo(&pid, &host, &application))
        return false;
    // A live owner holds an advisory lock on its file, which removeStaleLockFile() respects;
    // a file this user cannot even open was not written by this user's window.
    const QString lockPath = m_path + QStringLiteral(".lock");
    if (!m_lock.removeStaleLockFile() &&
        (QFileInfo(lockPath).isReadable() || !QFile::remove(lockPath)))
        return false;
    return m_lock.tryLock(0);
}

bool SessionStore::open()
{
    const QFileInfo info(m_path);
    if (info.exists() && (!info.isFile() || !info.isWritable())) {
        runWithoutSaving(State::ReadOnly, kUnwritableMessage);
        return false;
    }
    if (info.exists()) {
        switch (examine(m_path, m_connection + QStringLiteral("-examine"))) {
        case Health::Sound:
            break;
        case Health::Damaged:
            if (!moveAside())
                return false;
            break;
        case Health::Newer:
            runWithoutSaving(State::ReadOnly, kNewerMessage);
            return false;
        case Health::Unreadable:
            runWithoutSaving(State::ReadOnly, kUnwritableMessage);
            return false;
        }
    }

    bool ok = false;
    bool misfit = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(m_path);
        db.setConnectOptions(kBusyTimeout);
        ok = db.open();
        QSqlQuery q(db);
        ok = ok && q.exec(QStringLiteral("PRAGMA user_version")) && q.next();
        const qint64 version = ok ? q.value(0).toLongLong() : 0;
        // WAL: a commit appends to the log, and readers never block the writer.
        ok = ok && q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && q.next() &&
             q.value(0).toString() == u"wal";
        // examine() has judged the version already; whatever the header says now, no step
        // outside the list is run.
        ok = ok && version >= 0 && version <= kSchemaVersion;
        // The version is written at every start, up to date or not: a file that takes no
        // writes is found now, not at the first save.
        if (ok) {
            ok = db.transaction();
            for (qsizetype step = qMin<qint64>(version, kSchemaVersion - 1);
                 ok && step < kMigrations.size(); ++step)
                ok = kMigrations[step](q);
            ok = ok && q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)) &&
                 db.commit();
            if (!ok)
                db.rollback();
        }
        // A step that fails as SQL met tables that do not fit the version in the header; a file
        // that refuses the journal switch or a write its folder allows has a header that marks
        // it read-only. Either way the header is damaged.
        const QString code = q.lastError().nativeErrorCode();
        misfit = !ok && info.exists() && (code == u"1" || code == u"8");
    }
    // Moved aside, the path names no file, so the second open() starts afresh.
    if (misfit)
        return moveAside() && open();
    if (!ok)
        runWithoutSaving(State::ReadOnly, kUnwritableMessage);
    return ok;
}

bool SessionStore::moveAside()
{
    closeConnection(m_connection);
    const QString stamp = Clock::nowUtc().toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString stem = m_path + QStringLiteral(".corrupt-") + stamp;
    QString aside = stem;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = stem + u'-' + QString::number(n);
    if (!QFile::rename(m_path, aside)) {
        runWithoutSaving(State::ReadOnly, kUnwritableMessage);
        return false;
    }
    // A log beside the damaged file belongs to it; the new file must not replay it.
    for (const char *suffix : {"-wal", "-shm", "-journal"}) {
        const QLatin1StringView log(suffix);
        if (QFileInfo::exists(m_path + log))
            QFile::rename(m_path + log, aside + log);
    }
    m_message = kMovedAsidePrefix + QDir::toNativeSeparators(aside);
    return true;
}

void SessionStore::runWithoutSaving(State state, const QString &message)
{
    closeConnection(m_connection);
    m_state = state;
    m_message = message;
    if (m_lock.isLocked())
        m_lock.unlock();
}

std::optional<QList<SavedRow>> SessionStore::loadSaved()
{
    if (m_state != State::Saving)
        return std::nullopt;
    bool readable = false;
    Loaded loaded;
    bool saved = false;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        readable = q.exec(QStringLiteral("SELECT value FROM meta WHERE name = 'grid'"));
        saved = readable && q.next();
        if (saved) {
            readable = q.exec(QStringLiteral("SELECT count(*) FROM grid")) && q.next();
            if (readable) {
                loaded.rows.reserve(q.value(0).toLongLong());
                loaded.tracked.reserve(q.value(0).toLongLong());
            }
            // Read in the table's own order and put in display order here: cheaper than
            // SQLite's sort of the whole grid.
            SqliteStatement all;
            readable =
                readable && all.prepare(db, QStringLiteral("SELECT key, position, states, "
                                                           "drop_ms, name, cells FROM grid"));
            Loaded read;
            read.rows.reserve(loaded.rows.capacity());
            read.tracked.reserve(loaded.rows.capacity());
            while (readable && all.next()) {
                read.rows.append({all.text(4), all.blob(5), quint32(all.integer(2)),
                                  all.isNull(3) ? ResultRow::kNoDropTime : all.integer(3)});
                read.tracked << Tracked{all.integer(0), all.integer(1)};
            }
            readable = readable && all.errorText().isEmpty();
            const auto before = [](const Tracked &x, const Tracked &y) {
                return x.position != y.position ? x.position < y.position : x.key < y.key;
            };
            // A grid never sorted since it was saved is in order already.
            if (std::is_sorted(read.tracked.cbegin(), read.tracked.cend(), before)) {
                loaded = std::move(read);
            } else {
                std::vector<qsizetype> order(std::size_t(read.rows.size()));
                std::iota(order.begin(), order.end(), 0);
                std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
                    return before(read.tracked[a], read.tracked[b]);
                });
                for (const qsizetype i : order) {
                    loaded.rows.append(std::move(read.rows[i]));
                    loaded.tracked.append(read.tracked[i]);
                }
            }
        }
    }
    if (!readable) {
        // Damage past what the first look saw: keep the file for the user, start afresh.
        if (moveAside())
            open();
        return std::nullopt;
    }
    if (!saved)
        return std::nullopt;
    m_loaded = std::move(loaded);
    return m_loaded->rows;
}

std::optional<QList<RowCells>> SessionStore::load()
{
    const std::optional<QList<SavedRow>> saved = loadSaved();
    if (!saved)
        return std::nullopt;
    ResultTable table;
    table.appendSavedRows(*saved);
    QList<RowCells> rows(table.rowCount());
    for (int row = 0; row < table.rowCount(); ++row) {
        // The drop time's place holds the blank marker, as an imported row's does.
        for (int c = 0; c < kCellCount; ++c)
            rows[row][c] = c == kDropTimeColumn ? kBlankCell : table.cell(row, c);
    }
    return rows;
}

QList<QDateTime> SessionStore::loadedDropTimes() const
{
    QList<QDateTime> times;
    if (!m_loaded)
        return times;
    times.reserve(m_loaded->rows.size());
    for (const SavedRow &row : m_loaded->rows)
        times << (row.dropMs == ResultRow::kNoDropTime
                      ? QDateTime()
                      : QDateTime::fromMSecsSinceEpoch(row.dropMs, Qt::UTC));
    return times;
}

void SessionStore::attach(ResultTable *table)
{
    if (m_state != State::Saving || !table)
        return;
    if (m_table) {
        flush();
        disconnect(m_table, nullptr, this, nullptr);
    }
    m_table = table;
    connect(table, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { rowsInserted(first, last); });
    connect(
        table, &QAbstractItemModel::rowsAboutToBeRemoved, this,
        [this](const QModelIndex &, int first, int last) { rowsAboutToBeRemoved(first, last); });
    connect(table, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                rowsChanged(topLeft.row(), bottomRight.row());
            });
    connect(table, &QAbstractItemModel::layoutChanged, this, &SessionStore::orderChanged);
    connect(table, &QAbstractItemModel::modelReset, this, &SessionStore::resync);

    if (!m_writer) {
        m_writer = new SessionWriter(m_path, m_connection + QStringLiteral("-writer"));
        m_writer->moveToThread(&m_writerThread);
        m_writerThread.setObjectName(QStringLiteral("session writer"));
        m_writerThread.start();
    }

    // A restored grid is already on disk: its rows keep their keys and nothing is rewritten.
    bool restored = m_loaded && m_loaded->rows.size() == table->rowCount();
    for (int row = 0; restored && row < table->rowCount(); ++row)
        restored = table->savedRow(row) == m_loaded->rows[row];
    if (restored) {
        for (int row = 0; row < table->rowCount(); ++row) {
            const Tracked &t = m_loaded->tracked[row];
            m_tracked.insert(table->rowId(row), t);
            m_nextKey = std::max(m_nextKey, t.key + 1);
            m_nextPosition = std::max(m_nextPosition, t.position + 1);
        }
    } else {
        resync();
    }
    m_loaded.reset();
}

void SessionStore::rowsInserted(int first, int last)
{
    // Rows appended at the end follow the others; rows put anywhere else renumber them all.
    if (last != m_table->rowCount() - 1)
        m_orderPending = true;
    for (int row = first; row <= last; ++row) {
        const RowId id = m_table->rowId(row);
        m_tracked.insert(id, Tracked{m_nextKey++, m_nextPosition++});
        m_insertQueue << id;
    }
    schedule();
}

void SessionStore::rowsAboutToBeRemoved(int first, int last)
{
    // The identities must be read now: after the removal these rows cannot be asked for.
    for (int row = first; row <= last; ++row) {
        const auto it = m_tracked.constFind(m_table->rowId(row));
        if (it == m_tracked.cend())
            continue;
        m_deleted << it->key;
        m_tracked.erase(it);
    }
    schedule();
}

void SessionStore::rowsChanged(int first, int last)
{
    for (int row = first; row <= last; ++row)
        m_changed.insert(m_table->rowId(row));
    schedule();
}

void SessionStore::orderChanged()
{
    m_orderPending = true;
    schedule();
}

void SessionStore::resync()
{
    m_wipePending = true;
    m_orderPending = false;
    m_deleted.clear();
    m_changed.clear();
    m_tracked.clear();
    m_insertQueue.clear();
    m_tracked.reserve(m_table->rowCount());
    m_insertQueue.reserve(m_table->rowCount());
    m_nextPosition = 0;
    rowsInserted(0, m_table->rowCount() - 1);
}

void SessionStore::schedule()
{
    if (!m_handOverTimer.isActive())
        m_handOverTimer.start(kHandOverMs);
}

bool SessionStore::hasPending() const
{
    return m_wipePending || m_orderPending || !m_deleted.isEmpty() || !m_changed.isEmpty() ||
           !m_insertQueue.isEmpty();
}

SessionBatch SessionStore::takeBatch(qsizetype maxRows)
{
    SessionBatch batch;
    batch.wipe = std::exchange(m_wipePending, false);
    batch.deleted = std::exchange(m_deleted, {});
    // A row removed since it was noted is neither tracked nor in the grid any more.
    const auto stored = [this](RowId id) -> std::optional<SessionBatch::Row> {
        const auto it = m_tracked.constFind(id);
        const int row = it == m_tracked.cend() ? -1 : m_table->rowOf(id);
        if (row < 0)
            return std::nullopt;
        return SessionBatch::Row{it->key, it->position, m_table->savedRow(row)};
    };

    if (std::exchange(m_orderPending, false)) {
        // Rows still queued take their new place with them when they are inserted.
        batch.moves.reserve(m_table->rowCount());
        for (int row = 0; row < m_table->rowCount(); ++row) {
            const auto it = m_tracked.find(m_table->rowId(row));
            if (it == m_tracked.end())
                continue;
            it->position = row;
            batch.moves.append({it->key, row});
        }
        m_nextPosition = m_table->rowCount();
    }
    for (const RowId id : std::as_const(m_changed)) {
        if (auto row = stored(id))
            batch.updates << std::move(*row);
    }
    m_changed.clear();

    const qsizetype taken = std::min(maxRows, m_insertQueue.size());
    batch.inserts.reserve(taken);
    for (qsizetype i = 0; i < taken; ++i) {
        if (auto row = stored(m_insertQueue[i]))
            batch.inserts << std::move(*row);
    }
    m_insertQueue.remove(0, taken);
    batch.complete = m_insertQueue.isEmpty();
    return batch;
}

void SessionStore::post(qsizetype maxRows)
{
    QMetaObject::invokeMethod(
        m_writer,
        [this, writer = m_writer, batch = takeBatch(maxRows)] {
            if (!writer->apply(batch))
                QMetaObject::invokeMethod(this, &SessionStore::writeFailed, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void SessionStore::handOver()
{
    if (!m_table || !m_writer || !hasPending())
        return;
    post(kRowsPerHandOver);
    // The rest of a large change follows as soon as the event loop turns.
    if (!m_insertQueue.isEmpty())
        m_handOverTimer.start(0);
}

void SessionStore::flush()
{
    if (!m_writer)
        return;
    m_handOverTimer.stop();
    // In slices, so that the writer writes one while the next is taken from the grid.
    constexpr qsizetype kRowsPerSlice = 5'000;
    while (m_table && hasPending())
        post(kRowsPerSlice);
    // Calls run in order: once this one returns, everything handed over before is written.
    QMetaObject::invokeMethod(
        m_writer, [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void SessionStore::writeFailed()
{
    if (m_state != State::Saving)
        return;
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    m_handOverTimer.stop();
    m_wipePending = m_orderPending = false;
    m_deleted.clear();
    m_changed.clear();
    m_insertQueue.clear();
    m_tracked.clear();
    runWithoutSaving(State::ReadOnly, kUnwritableMessage);
    Q_EMIT stateChanged(m_state);
}
