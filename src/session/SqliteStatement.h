#pragma once

#include <QByteArray>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;
class QSqlDatabase;

// A statement on the SQLite connection under a QSqlDatabase of the QSQLITE driver, for the
// session file's bulk paths: QSqlQuery keeps every bound value in a QVariant under a generated
// placeholder name, which costs several times SQLite's own work on a grid of many rows. Bound
// texts and blobs are not copied; they must stay alive until the next step() or reset().
// Everything else (opening, transactions, schema steps) stays with Qt SQL on the same connection,
// so a statement is finalized before that connection closes.
class SqliteStatement final {
public:
    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    // False, with errorText() saying why, when `db` is no open SQLite connection or the
    // statement does not compile.
    bool prepare(const QSqlDatabase &db, const QString &sql);
    // Done with: the connection may close.
    void finalize();

    // Places count from 1, as in SQLite.
    void bind(int place, qint64 value);
    void bindNull(int place);
    void bindText(int place, const QString &text);
    void bindBlob(int place, const QByteArray &blob);

    // Runs a statement that returns no rows and makes it ready to run again.
    bool exec();
    // The next row of a query; false at the end or on an error (then errorText() is not empty).
    bool next();

    // Columns count from 0.
    bool isNull(int column) const;
    qint64 integer(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;

    QString errorText() const { return m_error; }

private:
    void noteError();

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    QString m_error;
};
