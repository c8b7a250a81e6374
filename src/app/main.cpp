#include "MainWindow.h"
#include "SiteSimulator.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnel"));
    QApplication::setApplicationVersion(QStringLiteral("8.1"));
    // Lets a Wayland compositor match the window to the installed varnel.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("varnel"));
    // Closing goes through the exit question; the program ends only when it is answered OK.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Watch domain names about to be deleted."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption endpointsOption(
        QStringLiteral("endpoints"),
        QStringLiteral("Read site hosts from FILE (name = host[:port])."), QStringLiteral("FILE"));
    const QCommandLineOption demoOption(
        QStringLiteral("demo"),
        QStringLiteral("Start the bundled site simulator and use it for every site."));
    parser.addOption(endpointsOption);
    parser.addOption(demoOption);
    parser.process(app);

    Endpoints endpoints = Endpoints::publicHosts();
    if (parser.isSet(endpointsOption)) {
        QFile file(parser.value(endpointsOption));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            std::fprintf(stderr, "varnel: cannot read %s: %s\n", qPrintable(file.fileName()),
                         qPrintable(file.errorString()));
            return 2;
        }
        QString error;
        const auto parsed = Endpoints::parse(QString::fromUtf8(file.readAll()), endpoints, &error);
        if (!parsed) {
            std::fprintf(stderr, "varnel: %s: %s\n", qPrintable(file.fileName()),
                         qPrintable(error));
            return 2;
        }
        endpoints = *parsed;
    }

    std::unique_ptr<SiteSimulator> simulator;
    if (parser.isSet(demoOption)) {
        simulator = std::make_unique<SiteSimulator>();
        if (!simulator->listen()) {
            std::fprintf(stderr, "varnel: the demo simulator could not listen on loopback\n");
            return 1;
        }
        endpoints = simulator->endpoints();
        std::printf("demo: every site is simulated at %s\n", qPrintable(simulator->hostPort()));
        std::fflush(stdout);
    }

    MainWindow window(endpoints);
    window.show();
    return app.exec();
}
