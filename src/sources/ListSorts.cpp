#include "ListSorts.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace Sources {

namespace {

// Minima of the current lengths over a perfect binary tree; leaves past the end hold kNone.
class ShorterFinder {
public:
    explicit ShorterFinder(const QStringList &list) {
        while (m_leaves < list.size())
            m_leaves *= 2;
        m_min.assign(2 * m_leaves, kNone);
        for (qsizetype i = 0; i < list.size(); ++i)
            m_min[m_leaves + i] = list[i].size();
        for (qsizetype k = m_leaves - 1; k > 0; --k)
            m_min[k] = std::min(m_min[2 * k], m_min[2 * k + 1]);
    }

    void setLength(qsizetype pos, qsizetype length) {
        qsizetype k = m_leaves + pos;
        m_min[k] = length;
        for (k /= 2; k > 0; k /= 2) {
            const qsizetype merged = std::min(m_min[2 * k], m_min[2 * k + 1]);
            if (m_min[k] == merged)
                break;
            m_min[k] = merged;
        }
    }

    // The first position after `pos` whose length is below `length`, or -1.
    qsizetype firstShorterAfter(qsizetype pos, qsizetype length) const {
        if (pos + 1 >= m_leaves)
            return -1;
        qsizetype k = m_leaves + pos + 1;
        // Climb to the first subtree to the right that holds a shorter length ...
        while (m_min[k] >= length) {
            while (k & 1)
                k /= 2;
            if (k == 0)
                return -1;
            ++k;
        }
        // ... then descend to its leftmost such leaf.
        while (k < m_leaves) {
            k *= 2;
            if (m_min[k] >= length)
                ++k;
        }
        return k - m_leaves;
    }

private:
    static constexpr qsizetype kNone = std::numeric_limits<qsizetype>::max();
    qsizetype m_leaves = 1;
    std::vector<qsizetype> m_min;
};

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

qsizetype skipDigits(QStringView text, qsizetype at) {
    while (at < text.size() && isAsciiDigit(text[at]))
        ++at;
    return at;
}

// The end of the decimal number starting at `at`, or `at` when there is none.
qsizetype numberEnd(QStringView text, qsizetype at) {
    const qsizetype start = at;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-'))
        ++at;
    const qsizetype intStart = at;
    at = skipDigits(text, at);
    qsizetype digits = at - intStart;
    if (at < text.size() && text[at] == u'.') {
        const qsizetype fracEnd = skipDigits(text, at + 1);
        digits += fracEnd - (at + 1);
        if (digits > 0)
            at = fracEnd;
    }
    if (digits == 0)
        return start;
    if (at < text.size() && (text[at] == u'e' || text[at] == u'E')) {
        qsizetype exp = at + 1;
        if (exp < text.size() && (text[exp] == u'+' || text[exp] == u'-'))
            ++exp;
        const qsizetype expEnd = skipDigits(text, exp);
        if (expEnd > exp)
            at = expEnd;
    }
    return at;
}

} // namespace

void SortByLengthLiteral(QStringList &list) {
    const qsizetype n = list.size();
    QString *w = list.data();
    for (qsizetype i = 0; i < n; ++i) {
        for (qsizetype j = i; j < n; ++j) {
            if (w[i].size() > w[j].size())
                w[i].swap(w[j]);
        }
    }
}

void SortByLength(QStringList &list) {
    const qsizetype n = list.size();
    if (n < 2)
        return;
    ShorterFinder finder(list);
    QString *w = list.data();
    for (qsizetype i = 0; i + 1 < n; ++i) {
        // The literal pass i: w[i] trades places with each later element shorter than itself.
        qsizetype held = w[i].size();
        for (qsizetype p = finder.firstShorterAfter(i, held); p >= 0;
             p = finder.firstShorterAfter(p, held)) {
            w[i].swap(w[p]);
            finder.setLength(p, held);
            held = w[i].size();
        }
    }
}

double leadingNumber(QStringView text) {
    qsizetype start = 0;
    while (start < text.size() && (text[start] == u' ' || text[start] == u'\t'))
        ++start;
    const qsizetype end = numberEnd(text, start);
    if (end == start)
        return 0.0;
    // The C locale reads the same text whatever the user's locale is; overflow gives infinity.
    return QLocale::c().toDouble(text.sliced(start, end - start));
}

QString shortestDecimal(double value) {
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0.0 || (magnitude >= 1e-6 && magnitude < 1e21);
    // "+ 0.0" turns a negative zero into zero, which reads the same.
    return QString::number(value + 0.0, plain ? 'f' : 'g', QLocale::FloatingPointShortest);
}

QStringList SortBySize(const QStringList &input) {
    std::vector<double> values;
    values.reserve(input.size());
    for (const QString &text : input)
        values.push_back(leadingNumber(text));
    std::stable_sort(values.begin(), values.end());
    QStringList sorted;
    sorted.reserve(input.size());
    for (double v : values)
        sorted.append(shortestDecimal(v));
    return sorted;
}

} // namespace Sources
