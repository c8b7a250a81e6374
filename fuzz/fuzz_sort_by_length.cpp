// SortByLength against the exchange procedure it must reproduce, on lists built from the bytes.
#include "FuzzCheck.h"

#include "Reference.h"
#include "sources/ListSorts.h"

#include <vector>

namespace {

// Keeps the quadratic reference quick, yet long enough for many distinct lengths, each a block
// the fast sort places on its own.
constexpr qsizetype kMaxEntries = 600;

bool lengthsAscend(const QStringList &list)
{
    for (qsizetype i = 1; i < list.size(); ++i) {
        if (list[i - 1].size() > list[i].size())
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::Input in(data, size);
    // Narrow: one byte per entry, few lengths and many ties. Wide: two bytes per entry, up to
    // 700 distinct lengths.
    const bool wide = in.byte() & 1;
    QStringList input;
    while (in.left() >= (wide ? 2u : 1u) && input.size() < kMaxEntries) {
        int value = in.byte();
        if (wide)
            value = (value << 8 | in.byte()) % 700;
        else
            value %= 24;
        // Each entry is made of its own character, so entries of one length differ and the
        // order among them shows.
        input.append(QString(value, QChar(0x4E00 + int(input.size()))));
    }

    QStringList literal = input;
    Reference::sortByLengthLiteral(literal);
    QStringList fast = input;
    Sources::sortByLength(fast);
    FUZZ_CHECK(fast == literal);

    // The reference itself: lengths ascending, and every entry still there once. A non-empty
    // entry names its place in the input by its character; empty ones are all alike.
    FUZZ_CHECK(lengthsAscend(literal));
    std::vector<bool> seen(std::size_t(input.size()), false);
    qsizetype empties = 0;
    for (const QString &entry : literal) {
        if (entry.isEmpty()) {
            ++empties;
            continue;
        }
        const qsizetype from = entry.front().unicode() - 0x4E00;
        FUZZ_CHECK(from >= 0 && from < input.size() && !seen[std::size_t(from)]);
        FUZZ_CHECK(input[from] == entry);
        seen[std::size_t(from)] = true;
    }
    FUZZ_CHECK(empties == input.count(QString()));
    return 0;
}
