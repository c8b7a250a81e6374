#pragma once

#include "table/ResultTable.h"

#include <QHash>
#include <QList>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QThread>
#include <QTimer>

#include <optional>

class SessionWriter;
struct SessionBatch;

// The result grid kept on disk, so that a closed window or a crash does not cost the user a
// run: an SQLite file written in the background, read back at start. One store per file: a
// second window that finds the file in use, and a file that cannot be written or comes from a
// newer version, run without saving and say so; a damaged file is moved aside and said so.
class SessionStore final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionStore)

public:
    enum class State {
        Saving,   // the grid is kept
        InUse,    // another store holds the file; nothing is read or written
        ReadOnly, // the file cannot be written or is newer; nothing is read or written
    };
    Q_ENUM(State)

    static inline const QString kInUseMessage =
        QStringLiteral("会话正被另一个窗口使用，本窗口的结果不会保存");
    static inline const QString kUnwritableMessage =
        QStringLiteral("会话文件无法写入，本次结果不会保存");
    static inline const QString kNewerMessage =
        QStringLiteral("会话文件来自更新的版本，本次结果不会保存");
    // Followed by where the damaged file went.
    static inline const QString kMovedAsidePrefix = QStringLiteral("会话文件已损坏，已移至 ");

    // Opens, checks and if need be migrates or replaces the file at `path`; takes its lock.
    explicit SessionStore(const QString &path, QObject *parent = nullptr);
    // Writes what is pending, as flush() does, and releases the file.
    ~SessionStore() override;

    // The window's file in the application's data folder, which this creates.
    static QString defaultPath(bool demo);

    State state() const { return m_state; }
    // Empty while all is well; otherwise what the user should be told.
    QString message() const { return m_message; }
    QString path() const { return m_path; }

    // The saved grid in display order, as the file keeps it (for ResultTable::appendSavedRows):
    // nullopt when none was ever saved (or nothing may be read), an empty list when an empty
    // grid was saved. Call before attach().
    std::optional<QList<SavedRow>> loadSaved();
    // The same as texts, for ResultTable::appendRows; the states are read from the texts again.
    std::optional<QList<RowCells>> load();
    // The drop instants of the rows last loaded, in the same order (invalid: none); for
    // ResultTable::setDropTimes. Empty after attach().
    QList<QDateTime> loadedDropTimes() const;

    // Keeps `table` from now on: each change reaches the file within a second. When the table
    // holds just what load() returned, nothing is rewritten. Changes made after the table is
    // gone cannot be saved, so flush() before a table is destroyed.
    void attach(ResultTable *table);

    // Hands over every pending change and waits until it is written.
    void flush();

Q_SIGNALS:
    // Saving stopped because a write failed; message() tells the user.
    void stateChanged(SessionStore::State state);

private:
    struct Tracked {
        qint64 key = 0;      // the row's key in the file, which outlives this process's RowId
        qint64 position = 0; // sorts rows into display order; gaps allowed
    };
    struct Loaded {
        QList<SavedRow> rows;
        QList<Tracked> tracked;
    };

    bool takeLock();
    bool open();
    bool moveAside();
    void runWithoutSaving(State state, const QString &message);

    void rowsInserted(int first, int last);
    void rowsAboutToBeRemoved(int first, int last);
    void rowsChanged(int first, int last);
    void orderChanged();
    void resync();
    void schedule();
    bool hasPending() const;
    SessionBatch takeBatch(qsizetype maxRows);
    void post(qsizetype maxRows);
    void handOver();
    void writeFailed();

    QString m_path;
    QString m_connection;
    State m_state = State::Saving;
    QString m_message;
    QLockFile m_lock;
    std::optional<Loaded> m_loaded;

    QPointer<ResultTable> m_table;
    QHash<RowId, Tracked> m_tracked;
    QList<RowId> m_insertQueue; // rows not yet handed over, each with its key and position
    QSet<RowId> m_changed;
    QList<qint64> m_deleted;
    bool m_wipePending = false;
    bool m_orderPending = false;
    qint64 m_nextKey = 1;
    qint64 m_nextPosition = 0;
    QTimer m_handOverTimer;

    QThread m_writerThread;
    SessionWriter *m_writer = nullptr;
};
