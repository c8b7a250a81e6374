// Numeric-label detection on names from a list, against a regular expression of its rule.
#include "FuzzCheck.h"

#include "fetch/PageFetcher.h"
#include "sources/LengthBreakdown.h"
#include "sources/SourceLists.h"
#include "text/Numbers.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // ASCII digits, or digits, one exponent letter and digits; nothing else, whole label.
    static const QRegularExpression rule(QStringLiteral("\\A[0-9]+(?:[eEdD][0-9]+)?\\z"));

    Fuzz::Input in(data, size);
    const std::uint8_t mode = in.byte();
    const Charset charset = (mode & 1) ? Charset::Utf8 : Charset::Gb2312;
    const QString text = PageFetcher::decodeBody(in.rest(), charset);

    QStringList names;
    for (QStringView line : Sources::cutLines(text)) {
        FUZZ_CHECK(Numbers::isNumericLabel(line) == rule.match(line).hasMatch());
        names.append(line.toString());
    }

    // The numeric category holds exactly the names whose label, the part before the first dot,
    // follows the rule.
    const int index = (mode >> 1) % Sources::kSourceCount;
    const Sources::Categories categories = Sources::lengthBreakdown(names, index);
    QStringList expected;
    for (const QString &name : names) {
        if (rule.match(QStringView(name).first(name.indexOf(u'.') < 0 ? name.size()
                                                                      : name.indexOf(u'.')))
                .hasMatch())
            expected.append(name);
    }
    FUZZ_CHECK(categories[6] == expected);
    return 0;
}
