// An endpoints file as the command line reads it: bytes taken as UTF-8, then parsed.
#include "FuzzCheck.h"

#include "fetch/Endpoints.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const Endpoints base = Endpoints::publicHosts();
    QString error;
    const std::optional<Endpoints> parsed = Endpoints::parse(text, base, &error);
    if (!parsed) {
        FUZZ_CHECK(error.startsWith(u"line "));
        return 0;
    }
    FUZZ_CHECK(error.isEmpty());
    // Whatever was accepted is written back in a form that reads the same, on any base.
    QString again;
    const std::optional<Endpoints> reread =
        Endpoints::parse(parsed->toFileText(), Endpoints::allAt(QStringLiteral("x")), &again);
    FUZZ_CHECK(reread.has_value());
    FUZZ_CHECK(*reread == *parsed);
    for (const QString &name : Endpoints::names()) {
        const QString host = parsed->host(name);
        FUZZ_CHECK(!host.isEmpty());
        FUZZ_CHECK(!host.contains(u'#') && !host.contains(u'\n') && !host.contains(u' '));
    }
    return 0;
}
