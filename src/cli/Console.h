#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace Cli {

// The exit codes of varnel-cli.
inline constexpr int kDone = 0;
inline constexpr int kIncomplete = 1; // something could not be measured, downloaded or written
inline constexpr int kBadUsage = 2;
inline constexpr int kInterrupted = 130; // Ctrl+C
inline constexpr int kBrokenPipe = 141;  // the reader of standard output went away

// varnel-cli's standard streams, and the three ways a subcommand ends early: Ctrl+C, a reader of
// standard output that went away (quietly, as the other tools in a pipe end), and standard output
// that cannot be written. Whatever waits (a request, a pause, standard input) listens to
// stopRequested() and gives up at once.
class Console final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Console)

public:
    // Takes SIGINT through the event loop. One console per process.
    explicit Console(QObject *parent = nullptr);
    ~Console() override;

    // Writes all of `bytes` to standard output, unbuffered, so that a write error is seen where
    // it happens. A failure stops the run; false then and for every later call.
    bool out(const QByteArray &bytes);
    // "varnel-cli: TEXT" on standard error; nothing once the run is stopping.
    void err(const QString &text);

    // Ends the run early with `exitCode`; the first cause wins.
    void stop(int exitCode);
    bool isStopping() const { return m_exitCode >= 0; }
    int exitCode() const { return m_exitCode; }

    // Closes standard output, since some file systems report a lost write only then: the exit
    // code, or kIncomplete when the close fails.
    int closeOutput(int exitCode);

Q_SIGNALS:
    void stopRequested();

private:
    void failOutput(int error);

    QSocketNotifier *m_signals = nullptr;
    int m_exitCode = -1;
    bool m_outputFailed = false;
};

} // namespace Cli
