// The session file's header. A real file, saved once by the store, gets some of its header
// fields overwritten: three bytes pick which fields, and the rest of the input gives their
// bytes in order. The store must start on it without crashing, in one of three ways: saving on
// the file as it found it, with the grid that was saved; saving on a new file, the damaged one
// moved aside and said so; or, for a newer version's file, read-only and the file left as it
// was. A store that says it is saving must save: the next one finds its rows.
#include "FuzzCheck.h"

#include "session/SessionStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <iterator>
#include <optional>

namespace {

// Offset and length of each field of the 100-byte header after its magic string.
struct Field {
    int offset;
    int length;
};
constexpr Field kFields[] = {
    {16, 2},  // page size
    {18, 1},  // write version: 1 rollback journal, 2 WAL
    {19, 1},  // read version
    {20, 1},  // reserved bytes per page
    {21, 3},  // payload fractions
    {24, 4},  // change counter
    {28, 4},  // size in pages
    {32, 4},  // first freelist page
    {36, 4},  // freelist pages
    {40, 4},  // schema cookie
    {44, 4},  // schema format
    {48, 4},  // page cache size
    {52, 4},  // largest root page (auto-vacuum)
    {56, 4},  // text encoding
    {60, 4},  // user version: the store's schema version
    {64, 4},  // incremental vacuum
    {68, 4},  // application id
    {72, 20}, // reserved
    {92, 4},  // the change counter the size is valid for
    {96, 4},  // library version
};
static_assert(std::size(kFields) <= 24);

QList<RowCells> sampleRows()
{
    QList<RowCells> rows(3);
    for (int r = 0; r < rows.size(); ++r) {
        rows[r].fill(kBlankCell);
        rows[r][kDomainColumn] = QStringLiteral("名字%1.com").arg(r);
        rows[r][BaiduSite] = QString::number(r * 1234);
    }
    return rows;
}

// The rows are in the file once the store is gone.
void save(const QString &path, const QList<RowCells> &rows)
{
    ResultTable table;
    SessionStore store(path);
    store.attach(&table);
    table.appendRows(rows);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The store syncs every commit; in a folder in memory, where there is one, that costs little.
QString scratchRoot()
{
    const QString shm = QStringLiteral("/dev/shm");
    return QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
}

struct Files {
    Files()
    {
        static int argc = 1;
        static char name[] = "fuzz_session_header";
        static char *argv[] = {name, nullptr};
        // The SQL driver is a plugin, which only an application loads.
        new QCoreApplication(argc, argv);
        FUZZ_CHECK(dir.isValid() && QDir().mkpath(folder));
        save(path, sampleRows());
        saved = contents(path);
        FUZZ_CHECK(saved.size() >= 100 && saved.startsWith("SQLite format 3"));
    }

    QTemporaryDir dir{scratchRoot() + QStringLiteral("/fuzz_session_header-XXXXXX")};
    QString folder = dir.filePath(QStringLiteral("run"));
    QString path = folder + QStringLiteral("/session.sqlite");
    QByteArray saved;
};

const Files &files()
{
    static const Files made;
    return made;
}

// Returns where the damaged file went, or an empty text when nothing was moved aside.
QString checkStarted(const SessionStore &store)
{
    FUZZ_CHECK(store.state() != SessionStore::State::InUse);
    const QString message = store.message();
    // The folder and the file may be written, so only a newer version's file is kept from
    // saving: any other header that stops the store is damage, to be moved aside.
    if (store.state() == SessionStore::State::ReadOnly) {
        FUZZ_CHECK(message == SessionStore::kNewerMessage);
        return {};
    }
    if (message.isEmpty())
        return {};
    FUZZ_CHECK(message.startsWith(SessionStore::kMovedAsidePrefix));
    const QString aside = message.mid(SessionStore::kMovedAsidePrefix.size());
    FUZZ_CHECK(aside.startsWith(store.path() + QStringLiteral(".corrupt-")));
    FUZZ_CHECK(QFile::exists(aside));
    return aside;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Files &f = files();
    Fuzz::Input in(data, size);
    quint32 chosen = 0;
    for (int shift = 0; shift < 24; shift += 8)
        chosen |= quint32(in.byte()) << shift;
    QByteArray bytes = f.saved;
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
        if (chosen & 1u << i) {
            for (int b = 0; b < kFields[i].length; ++b)
                bytes[kFields[i].offset + b] = char(in.byte());
        }
    }
    // Each input starts alone: no file moved aside before, no log, no lock.
    QDir(f.folder).removeRecursively();
    FUZZ_CHECK(QDir().mkpath(f.folder));
    QFile file(f.path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    const QList<RowCells> rows = sampleRows().mid(1);
    bool saving = false;
    {
        ResultTable table;
        SessionStore store(f.path);
        checkStarted(store);
        // Reading the grid may find damage the first look missed, and move the file aside.
        const std::optional<QList<RowCells>> loaded = store.load();
        const QString aside = checkStarted(store);
        saving = store.state() == SessionStore::State::Saving;
        if (!saving) {
            FUZZ_CHECK(!loaded);
        } else {
            // A grid read from the file is the grid saved in it; a file moved aside leaves an
            // empty one in its place. A header left as it was loses nothing.
            FUZZ_CHECK(aside.isEmpty() ? !loaded || *loaded == sampleRows() : !loaded);
            FUZZ_CHECK(bytes != f.saved || loaded == sampleRows());
            store.attach(&table);
            table.appendRows(rows);
        }
    }
    if (!saving) {
        // A store that does not save leaves the file as it found it, journal mode and all.
        FUZZ_CHECK(contents(f.path) == bytes);
        return 0;
    }
    SessionStore again(f.path);
    FUZZ_CHECK(again.state() == SessionStore::State::Saving);
    FUZZ_CHECK(again.message().isEmpty());
    FUZZ_CHECK(again.load() == rows);
    return 0;
}
