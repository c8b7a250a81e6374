#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <QCoroTask>

class QSocketNotifier;

namespace Cli {

// Names from a file or standard input as they arrive, read as the window's file import reads a
// whole file: in order, each first occurrence once. The event loop runs on while it waits. At
// most about `backlog` names wait to be taken; reading pauses until some are, so that a long
// input never sits in memory whole.
class NameReader final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NameReader)

public:
    NameReader(int fd, qsizetype backlog, QObject *parent = nullptr);

    // Completes once names wait to be taken or no more will come.
    QCoro::Task<void> wait();
    // Up to `count` of the waiting names, in input order.
    QStringList take(qsizetype count);
    // Reads no more and drops what is not yet a whole line; the names read stay to be taken.
    void stop();

    // The input ended, failed or was stopped.
    bool isFinished() const { return m_finished; }
    // Empty unless reading failed.
    QString errorString() const { return m_error; }
    qsizetype namesRead() const { return m_namesRead; }
    qsizetype skipped() const { return m_skipped; }
    qsizetype duplicates() const { return m_duplicates; }
    // The names the whole input will give: exact once it has ended, estimated from the share of
    // a file read so far before; -1 for a pipe still being read.
    qsizetype expectedNames() const;

Q_SIGNALS:
    void changed();

private:
    enum class Encoding { Unknown, Utf8, Utf8OrGb18030, Gb18030, Utf16LE, Utf16BE };

    void readSome();
    void finish(int error);
    void wake();
    bool decide(bool toEnd);
    QString decode(QByteArrayView bytes);
    void takeLines(bool toEnd);

    int m_fd;
    qsizetype m_backlog;
    QSocketNotifier *m_notifier;
    qint64 m_fileSize = -1;
    qint64 m_bytesRead = 0;
    QByteArray m_pending; // bytes not yet a whole line
    Encoding m_encoding = Encoding::Unknown;
    QStringList m_names; // read, not yet taken
    // Digests of the names seen: a tenth of the memory the names themselves would take.
    QSet<size_t> m_seen;
    qsizetype m_namesRead = 0;
    qsizetype m_skipped = 0;
    qsizetype m_duplicates = 0;
    bool m_finished = false;
    bool m_waiting = false;
    QString m_error;
};

} // namespace Cli
