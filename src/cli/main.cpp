#include "Commands.h"
#include "SimContent.h"
#include "SiteSimulator.h"
#include "text/Clock.h"
#include "text/Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <QCoroTask>

#include <cstdio>
#include <memory>

namespace {

const char kUsage[] = R"(Subcommands:
  lists [--source daily|cn|ID] [--day -2..2] [--times | --ics]
        [--suffix com|info|net|org|biz|net.cn|com.cn|org.cn|gov.cn|cn]
        [--category 3|4|5|6|7|8+|numeric] [--sort length]
        print a day's deletion list, one name per line; another source (uk, se, nu, pl, or
        one of sources.json) prints its registry's list, and --day N keeps the names that
        drop on today+N in UTC; --times adds a tab and each drop time, or -; --ics writes
        the names with a drop time as an iCalendar file instead (a list with times only)
  sources
        print every probe recipe and list source, its endpoint and address, and whether
        it comes from the built-in table or the user's sources.json
  measure [--metrics baidu,baidufl,google,yahoo,yahooflwww,yahoofl,pr,zhuce,archive,tlds,rdap]
          [FILE|-]
        measure names read from FILE (or standard input) and write CSV to standard output;
        rdap adds the columns 状态, 到期时间, 预计删除, then archive 首次存档, 存档年数
        and tlds 他后缀注册
  lookup NAME
        print one name's age, filing, dates and deletion countdown, and its registry's
        RDAP status, stage and estimated drop date
  rdap-bootstrap --update
        refresh the cached table of RDAP servers from IANA
Exit status: 0 all done, 1 some cells failed or were refused (lists: a download failed),
2 bad usage, 130 interrupted, 141 the reader of standard output went away.)";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Varnel"));
    QCoreApplication::setApplicationVersion(QLatin1StringView(kVarnelVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Varnel without its window: deletion lists, measurements and lookups.\n") +
        QString::fromUtf8(kUsage));
    parser.addHelpOption();
    parser.addVersionOption();
    StartOptions::addTo(parser);
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Use the bundled simulator for every site."));
    parser.addOptions(
        {demo,
         {QStringLiteral("source"), QStringLiteral("lists: the list source (default daily)."),
          QStringLiteral("ID")},
         {QStringLiteral("day"),
          QStringLiteral("lists: -2..2 (default 0); a list with times: days from today, UTC."),
          QStringLiteral("N")},
         {QStringLiteral("times"), QStringLiteral("lists: a tab and each name's drop time.")},
         {QStringLiteral("ics"), QStringLiteral("lists: the drops as an iCalendar file.")},
         {QStringLiteral("suffix"), QStringLiteral("lists: the suffix (default com)."),
          QStringLiteral("SUFFIX")},
         {QStringLiteral("category"),
          QStringLiteral("lists: 3, 4, 5, 6, 7, 8+ or numeric (default: all)."),
          QStringLiteral("CATEGORY")},
         {QStringLiteral("sort"), QStringLiteral("lists: length."), QStringLiteral("ORDER")},
         {QStringLiteral("metrics"),
          QStringLiteral("measure: comma-separated metrics (default: the first eight)."),
          QStringLiteral("LIST")},
         {QStringLiteral("update"),
          QStringLiteral("rdap-bootstrap: download IANA's table of RDAP servers.")}});
    parser.addPositionalArgument(QStringLiteral("subcommand"),
                                 QStringLiteral("lists, sources, measure or lookup."));
    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "varnel-cli: %s\n", qPrintable(parser.errorText()));
        return Cli::kBadUsage;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(Cli::kDone);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    QStringList positional = parser.positionalArguments();
    const QString command = positional.isEmpty() ? QString() : positional.takeFirst();
    using Command = QCoro::Task<int> (*)(Cli::Context);
    const Command run = command == u"lists"            ? &Cli::lists
                        : command == u"measure"        ? &Cli::measure
                        : command == u"lookup"         ? &Cli::lookup
                        : command == u"rdap-bootstrap" ? &Cli::rdapBootstrap
                        : command == u"sources"        ? &Cli::sources
                                                       : nullptr;
    if (!run) {
        std::fprintf(stderr, "varnel-cli: %s\n%s\n",
                     command.isEmpty()
                         ? "no subcommand given"
                         : qPrintable(QStringLiteral("unknown subcommand \"%1\"").arg(command)),
                     kUsage);
        return Cli::kBadUsage;
    }

    QString error;
    std::optional<StartOptions> options = StartOptions::read(parser, &error);
    if (!options) {
        std::fprintf(stderr, "varnel-cli: %s\n", qPrintable(error));
        return Cli::kBadUsage;
    }
    for (const QString &warning : options->settings.warnings)
        std::fprintf(stderr, "varnel-cli: %s\n", qPrintable(warning));

    std::unique_ptr<SiteSimulator> simulator;
    if (parser.isSet(demo)) {
        simulator = std::make_unique<SiteSimulator>();
        if (!simulator->listen()) {
            std::fprintf(stderr, "varnel-cli: the demo simulator could not listen on loopback\n");
            return 1;
        }
        simulator->setMaxRetryAfterSeconds(3); // a demo never waits long on a simulated registry
        options->useSimulator(simulator->endpoints(),
                              SimContent::rdapBootstrap(simulator->hostPort(), Clock::nowUtc()));
    }

    Cli::Console console;
    int status = Cli::kDone;
    QCoro::Task<int> task = run({parser, *options, positional, console});
    task.then([&](int code) {
        status = code;
        QCoreApplication::exit(code);
    });
    if (!task.isReady())
        app.exec();
    return console.closeOutput(status);
}
