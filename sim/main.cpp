#include "SiteSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

// Serves every simulated site on 127.0.0.1 until killed.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnel-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stands in for every site Varnel reads, on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on (0: any free one)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption listSizeOption(QStringLiteral("list-size"),
                                            QStringLiteral("Lines in each daily deletion list."),
                                            QStringLiteral("N"), QStringLiteral("6000"));
    const QCommandLineOption endpointsOption(
        QStringLiteral("print-endpoints"),
        QStringLiteral("Print an endpoints file that points every site here."));
    parser.addOptions({portOption, listSizeOption, endpointsOption});
    parser.process(app);

    QTextStream err(stderr);
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    bool sizeOk = false;
    const int listSize = parser.value(listSizeOption).toInt(&sizeOk);
    if (!portOk || port > 65535 || !sizeOk || listSize < 0) {
        err << "varnel-sim: --port takes 0..65535 and --list-size a count of lines\n";
        return 2;
    }

    SiteSimulator sim;
    sim.setListSize(listSize);
    if (!sim.listen(quint16(port))) {
        err << "varnel-sim: cannot listen on 127.0.0.1:" << port << '\n';
        return 1;
    }
    QTextStream out(stdout);
    out << "listening on " << sim.hostPort() << '\n';
    if (parser.isSet(endpointsOption))
        out << sim.endpoints().toFileText();
    out.flush();
    return app.exec();
}
