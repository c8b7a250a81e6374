#pragma once

#include "cli/Console.h"
#include "session/StartOptions.h"

#include <QCommandLineParser>
#include <QString>

#include <QCoroTask>

// The subcommands of varnel-cli. Each writes its results to standard output and its progress and
// problems to standard error through the console, and returns the exit code (Console.h).
namespace Cli {

struct Context {
    const QCommandLineParser &parser;
    StartOptions options;
    QStringList arguments; // the positional arguments after the subcommand
    Console &console;
};

QCoro::Task<int> lists(Context context);
QCoro::Task<int> measure(Context context);
QCoro::Task<int> lookup(Context context);
QCoro::Task<int> rdapBootstrap(Context context);
QCoro::Task<int> sources(Context context);

} // namespace Cli
