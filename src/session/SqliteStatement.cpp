#include "SqliteStatement.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

SqliteStatement::~SqliteStatement()
{
    finalize();
}

void SqliteStatement::finalize()
{
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
    m_db = nullptr;
}

bool SqliteStatement::prepare(const QSqlDatabase &db, const QString &sql)
{
    finalize();
    // The driver hands its connection out as documented for QSqlDriver::handle().
    const QVariant handle = db.isOpen() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0 ||
        !*static_cast<sqlite3 *const *>(handle.constData())) {
        m_error = QStringLiteral("no open SQLite connection");
        return false;
    }
    m_db = *static_cast<sqlite3 *const *>(handle.constData());
    if (sqlite3_prepare16_v3(m_db, sql.utf16(), int(sql.size() * 2), SQLITE_PREPARE_PERSISTENT,
                             &m_statement, nullptr) != SQLITE_OK) {
        noteError();
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        return false;
    }
    return true;
}

void SqliteStatement::bind(int place, qint64 value)
{
    sqlite3_bind_int64(m_statement, place, value);
}

void SqliteStatement::bindNull(int place)
{
    sqlite3_bind_null(m_statement, place);
}

void SqliteStatement::bindText(int place, const QString &text)
{
    // A null QString would bind SQL NULL; the file keeps an empty text as ''.
    sqlite3_bind_text16(m_statement, place,
                        text.isNull() ? static_cast<const void *>(u"") : text.utf16(),
                        int(text.size() * 2), SQLITE_STATIC);
}

void SqliteStatement::bindBlob(int place, const QByteArray &blob)
{
    sqlite3_bind_blob(m_statement, place, blob.isNull() ? "" : blob.constData(), int(blob.size()),
                      SQLITE_STATIC);
}

bool SqliteStatement::exec()
{
    const int result = sqlite3_step(m_statement);
    sqlite3_reset(m_statement);
    if (result != SQLITE_DONE && result != SQLITE_ROW) {
        noteError();
        return false;
    }
    return true;
}

bool SqliteStatement::next()
{
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    if (result != SQLITE_DONE)
        noteError();
    sqlite3_reset(m_statement);
    return false;
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

qint64 SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

QString SqliteStatement::text(int column) const
{
    // The file keeps its texts in UTF-8: Qt's decoder is quicker than SQLite's and needs no
    // buffer of SQLite's own.
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement, column)) : QString();
}

QByteArray SqliteStatement::blob(int column) const
{
    const void *bytes = sqlite3_column_blob(m_statement, column);
    return bytes ? QByteArray(static_cast<const char *>(bytes),
                              sqlite3_column_bytes(m_statement, column))
                 : QByteArray();
}

void SqliteStatement::noteError()
{
    m_error = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("no connection");
}
