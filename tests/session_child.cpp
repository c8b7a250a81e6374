// Started by tst_session_store, which kills it mid-run: a window's session with its store, running
// the first and third metrics (Baidu and Google pages) over the names given. Prints the store's
// state and message once the store is attached.
//   session_child DATABASE HOST:PORT NAME...
#include "probes/QueryRun.h"
#include "session/Session.h"
#include "session/SessionStore.h"
#include "sources/CategoryImport.h"
#include "table/ResultTable.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: session_child DATABASE HOST:PORT NAME...\n");
        return 2;
    }
    StartOptions options;
    options.endpoints = Endpoints::allAt(args[2]);
    Session session(options);
    SessionStore store(args[1]);
    if (const auto rows = store.load()) {
        session.grid()->clear();
        session.grid()->appendRows(*rows);
    }
    store.attach(session.grid());
    std::printf("%d %s\n", int(store.state()), qPrintable(store.message()));
    std::fflush(stdout);

    Sources::importCategory(*session.grid(), args.mid(3));
    session.run()->setTicked(0, true);
    session.run()->setTicked(2, true);
    auto run = session.run()->startOrStop();
    return app.exec();
}
