#pragma once

#include "SimContent.h"

#include <QByteArray>
#include <QString>

// The generator every simulated value is drawn from, shared by the sites' content files.
namespace SimContent {

// splitmix64: cheap, and good enough to spread FNV's output over every bit.
class Rng {
public:
    explicit Rng(quint64 seed)
        : m_state(seed)
    {
    }
    quint64 next()
    {
        quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % quint64(n)); }
    bool chance(int percent) { return below(100) < percent; }

private:
    quint64 m_state;
};

// Each property has its own salt, so one domain's values are independent of each other.
inline Rng rngFor(const char *salt, const QString &text)
{
    QByteArray bytes(salt);
    bytes += '\0';
    bytes += text.toUtf8();
    return Rng(fnv1a(bytes));
}

} // namespace SimContent
