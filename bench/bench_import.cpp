// Prints how long a user's name file takes to decode and read, at 100,000 and 1,000,000 lines.
// Work that grew with the file per line would show as a tenfold time per line; a bigger set of
// names missing the cache more often shows as a small factor.
#include "sources/NameImport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>

namespace {

// The forms a hand-made list mixes: bare names, URLs, www., ports, CSV rows, repeats, junk.
QByteArray nameFile(int lines)
{
    QRandomGenerator rng(5);
    QByteArray out;
    out.reserve(qsizetype(lines) * 24);
    out += "\xEF\xBB\xBF";
    for (int i = 0; i < lines; ++i) {
        const QByteArray name = "n" + QByteArray::number(rng.bounded(lines), 36) + ".com";
        switch (rng.bounded(8)) {
        case 0:
            out += "http://" + name + "/index.html";
            break;
        case 1:
            out += "https://www." + name.toUpper() + ":8080/?q=1";
            break;
        case 2:
            out += "www." + name;
            break;
        case 3:
            out += name + ",12,\"3,400\"";
            break;
        case 4:
            out += rng.bounded(2) ? "<td>not a name</td>" : "192.168.1.1";
            break;
        default:
            out += name;
        }
        out += "\r\n";
    }
    return out;
}

double bestMs(const QByteArray &file, NameImport::Result *result)
{
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        *result = {}; // the last round's names are freed outside the timing
        QElapsedTimer t;
        t.start();
        *result = NameImport::readNames(NameImport::decodeFile(file));
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("name file, decode + read (best of 3)\n");
    double perLineAtSmall = 0;
    for (const int lines : {100'000, 1'000'000}) {
        const QByteArray file = nameFile(lines);
        NameImport::Result r;
        const double ms = bestMs(file, &r);
        const double perLine = ms * 1e6 / lines;
        std::printf("  %9d lines, %5.1f MB: %8.1f ms  (%5.0f ns/line; %lld names, %lld "
                    "duplicates, %lld skipped)\n",
                    lines, file.size() / 1e6, ms, perLine, qlonglong(r.names.size()),
                    qlonglong(r.duplicates), qlonglong(r.skipped));
        if (perLineAtSmall == 0)
            perLineAtSmall = perLine;
        else
            std::printf("  time per line, 1,000,000 against 100,000: %.2fx\n",
                        perLine / perLineAtSmall);
    }
    return 0;
}
