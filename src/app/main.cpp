#include "MainWindow.h"
#include "SimContent.h"
#include "SiteSimulator.h"
#include "session/SessionStore.h"
#include "session/StartOptions.h"
#include "text/Clock.h"
#include "text/Version.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnel"));
    QApplication::setApplicationVersion(QLatin1StringView(kVarnelVersion));
    // Lets a Wayland compositor match the window to the installed varnel.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("varnel"));
    // Closing goes through the exit question; the program ends only when it is answered OK.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Watch domain names about to be deleted."));
    parser.addHelpOption();
    parser.addVersionOption();
    StartOptions::addTo(parser);
    const QCommandLineOption demoOption(
        QStringLiteral("demo"),
        QStringLiteral("Start the bundled site simulator and use it for every site."));
    parser.addOption(demoOption);
    parser.process(app);

    QString error;
    std::optional<StartOptions> options = StartOptions::read(parser, &error);
    if (!options) {
        std::fprintf(stderr, "varnel: %s\n", qPrintable(error));
        return 2;
    }
    for (const QString &warning : options->settings.warnings)
        std::fprintf(stderr, "varnel: %s\n", qPrintable(warning));

    std::unique_ptr<SiteSimulator> simulator;
    if (parser.isSet(demoOption)) {
        simulator = std::make_unique<SiteSimulator>();
        if (!simulator->listen()) {
            std::fprintf(stderr, "varnel: the demo simulator could not listen on loopback\n");
            return 1;
        }
        simulator->setMaxRetryAfterSeconds(3); // a demo never waits long on a simulated registry
        options->useSimulator(simulator->endpoints(),
                              SimContent::rdapBootstrap(simulator->hostPort(), Clock::nowUtc()));
        std::printf("demo: every site is simulated at %s\n", qPrintable(simulator->hostPort()));
        std::fflush(stdout);
    }

    MainWindow window(*options);
    window.keepSession(SessionStore::defaultPath(parser.isSet(demoOption)));
    window.show();
    return app.exec();
}
