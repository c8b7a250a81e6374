#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding like a crash: say which, and abort so that libFuzzer keeps the
// input that broke it.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace Fuzz {

// The fuzzer's bytes read front to back: a few selector bytes, then the rest as one page.
class Input {
public:
    Input(const std::uint8_t *data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    // 0 once the bytes run out, so that every input, even an empty one, is a valid case.
    std::uint8_t byte()
    {
        if (m_size == 0)
            return 0;
        --m_size;
        return *m_data++;
    }

    std::size_t left() const { return m_size; }

    // A copy, as a fetched body is: the parsers never see the fuzzer's own buffer.
    QByteArray rest() const
    {
        return QByteArray(reinterpret_cast<const char *>(m_data), qsizetype(m_size));
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
};

// QStringView::startsWith() says no when the text is null, even for an empty prefix; scrapers
// return empty and null texts alike, so only the characters count here.
inline bool startsWith(QStringView text, QStringView prefix)
{
    return text.size() >= prefix.size() && text.first(prefix.size()) == prefix;
}

// Whether `part` is `whole` with some entries left out, order kept.
inline bool isSubsequence(const QStringList &part, const QStringList &whole)
{
    qsizetype at = 0;
    for (const QString &p : part) {
        while (at < whole.size() && whole[at] != p)
            ++at;
        if (at == whole.size())
            return false;
        ++at;
    }
    return true;
}

} // namespace Fuzz
