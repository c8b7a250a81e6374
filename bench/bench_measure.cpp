// Prints the peak resident memory of varnel-cli measuring 20,000 and 80,000 names with one metric
// against the simulator on loopback, which answers at once. A command that forgets each row once
// it is written peaks at about the same size for both.
//   bench_measure [metric, default google]
#include "SiteSimulator.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The helper mode: runs the program with standard output into /dev/null, waits for it alone,
// and prints its peak resident size in KiB and its exit code. The simulator stays in the
// parent, so the figure is the command's own.
int peakOf(char *argv[])
{
    const pid_t child = fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execv(argv[0], argv);
        std::perror("bench_measure: exec");
        _exit(127);
    }
    int status = 0;
    rusage usage = {};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child)
        return 1;
    std::printf("%ld %d\n", usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && std::strcmp(argv[1], "--peak-of") == 0)
        return peakOf(argv + 2);

    QCoreApplication app(argc, argv);
    const QString metric = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("google");
    SiteSimulator sim;
    if (!sim.listen()) {
        std::fprintf(stderr, "bench_measure: the simulator cannot listen on loopback\n");
        return 1;
    }
    QTemporaryDir home;
    QFile endpoints(home.filePath(QStringLiteral("endpoints.txt")));
    if (!endpoints.open(QIODevice::WriteOnly) ||
        endpoints.write(sim.endpoints().toFileText().toUtf8()) < 0)
        return 1;
    endpoints.close();
    // No settings and no session of the user's.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &folder :
         {QStringLiteral("CONFIG"), QStringLiteral("DATA"), QStringLiteral("CACHE")})
        env.insert(QStringLiteral("XDG_%1_HOME").arg(folder), home.filePath(folder));

    for (const int count : {20'000, 80'000}) {
        QFile names(home.filePath(QStringLiteral("names-%1.txt").arg(count)));
        if (!names.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < count; ++i)
            names.write(QStringLiteral("bench%1.com\n").arg(i).toLatin1());
        names.close();

        QProcess helper;
        helper.setProcessEnvironment(env);
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--peak-of"), QStringLiteral(VARNEL_CLI_BINARY),
                      QStringLiteral("measure"), QStringLiteral("--metrics"), metric,
                      QStringLiteral("--endpoints"), endpoints.fileName(), names.fileName()});
        // The simulator answers from this event loop while the helper waits.
        QEventLoop loop;
        QObject::connect(&helper, &QProcess::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const QList<QByteArray> fields = helper.readAllStandardOutput().trimmed().split(' ');
        if (fields.size() != 2 || fields[1] != "0") {
            std::fprintf(stderr, "bench_measure: varnel-cli failed (%s)\n",
                         fields.value(1).constData());
            return 1;
        }
        std::printf("%d names, %s: peak %.1f MB resident\n", count, qPrintable(metric),
                    fields[0].toDouble() / 1024);
        std::printf("FIGURE measure_peak_mb_%dk %.1f\n", count / 1000, fields[0].toDouble() / 1024);
        std::fflush(stdout);
    }
    return 0;
}
