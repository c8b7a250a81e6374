#include "Console.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Cli {

namespace {

// The handler may only write: the byte wakes the event loop through the other end.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t sent = ::write(g_signalPipe[0], &byte, 1);
    errno = saved;
}

} // namespace

Console::Console(QObject *parent)
    : QObject(parent)
{
    // Qt's sockets ignore SIGPIPE once the first opens; ignoring it from the start makes a closed
    // pipe an EPIPE from write() at any point of the run.
    std::signal(SIGPIPE, SIG_IGN);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        std::perror("varnel-cli: Ctrl+C will end the program at once");
        return;
    }
    m_signals = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(m_signals, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_signalPipe[1], bytes, sizeof bytes) > 0) {
        }
        stop(kInterrupted);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // A second Ctrl+C ends the program at once, should the first not be enough.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

Console::~Console()
{
    std::signal(SIGINT, SIG_DFL);
    delete m_signals;
    for (int &fd : g_signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void Console::stop(int exitCode)
{
    if (isStopping())
        return;
    m_exitCode = exitCode;
    Q_EMIT stopRequested();
}

void Console::err(const QString &text)
{
    if (!isStopping())
        std::fprintf(stderr, "varnel-cli: %s\n", qPrintable(text));
}

bool Console::out(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size() && !m_outputFailed;) {
        const ssize_t n =
            ::write(STDOUT_FILENO, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n >= 0) {
            done += n;
        } else if (errno == EAGAIN) {
            pollfd ready = {STDOUT_FILENO, POLLOUT, 0};
            ::poll(&ready, 1, -1);
        } else if (errno != EINTR) {
            failOutput(errno);
        }
    }
    return !m_outputFailed;
}

void Console::failOutput(int error)
{
    m_outputFailed = true;
    if (error != EPIPE)
        std::fprintf(stderr, "varnel-cli: cannot write output: %s\n",
                     qPrintable(qt_error_string(error)));
    stop(error == EPIPE ? kBrokenPipe : kIncomplete);
}

int Console::closeOutput(int exitCode)
{
    if (m_outputFailed || ::close(STDOUT_FILENO) == 0 || errno == EINTR)
        return exitCode;
    failOutput(errno);
    return kIncomplete;
}

} // namespace Cli
