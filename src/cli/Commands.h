#pragma once

#include "session/StartOptions.h"

#include <QCommandLineParser>
#include <QString>

#include <QCoroTask>

// The subcommands of varnel-cli. Each writes its results to standard output and its progress and
// problems to standard error, and returns the exit code: 0 all done, 1 something could not be
// measured or downloaded, 2 bad usage, 130 interrupted.
namespace Cli {

inline constexpr int kDone = 0;
inline constexpr int kIncomplete = 1;
inline constexpr int kBadUsage = 2;
inline constexpr int kInterrupted = 130;

struct Context {
    const QCommandLineParser &parser;
    StartOptions options;
    QStringList arguments; // the positional arguments after the subcommand
};

QCoro::Task<int> lists(Context context);
QCoro::Task<int> measure(Context context);
QCoro::Task<int> lookup(Context context);
QCoro::Task<int> rdapBootstrap(Context context);

// Set from the SIGINT handler: a measurement stops after the requests in flight.
void requestInterrupt();

} // namespace Cli
