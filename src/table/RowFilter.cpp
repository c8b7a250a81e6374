#include "RowFilter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <string>
#include <system_error>

namespace RowFilter {

namespace {

struct Entry {
    const char16_t *text;
    FilterCriterion criterion;
};

using K = FilterCriterion::Kind;

// Drop-down order.
constexpr std::array<Entry, 9> entries{{
    {u"删除百度收录小于", {K::NumberAtMost, BaiduSite}},
    {u"删除百度反链小于", {K::NumberAtMost, BaiduDomain}},
    {u"删除GOOGLE收录小于", {K::NumberAtMost, GoogleSite}},
    {u"删除YAHOO收录小于", {K::NumberAtMost, YahooPages}},
    {u"删除YAHOO反链小于", {K::NumberAtMost, YahooLinksWww}},
    {u"删除YAHOO不带W小于", {K::NumberAtMost, YahooLinksBare}},
    {u"删除PR值小于", {K::NumberAtMost, PageRank}},
    {u"删除带-的域名", {K::DomainHasHyphen, kDomainColumn}},
    {u"删除不可以注册的域名", {K::AlreadyRegistered, Registration}},
}};

constexpr QStringView registeredText = u"已被注册";

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Longest cell body we bother converting; no measurement comes anywhere near it.
constexpr qsizetype maxCellChars = 128;

} // namespace

QStringList criterionTexts()
{
    QStringList texts;
    texts.reserve(qsizetype(entries.size()));
    for (const Entry &e : entries)
        texts.append(QString::fromUtf16(e.text));
    return texts;
}

std::optional<FilterCriterion> criterionFromText(const QString &text)
{
    for (const Entry &e : entries) {
        if (QStringView(text) == QStringView(e.text))
            return e.criterion;
    }
    return std::nullopt;
}

double leadingNumber(QStringView text)
{
    QString t;
    t.reserve(text.size());
    for (QChar c : text) {
        if (c != u' ')
            t.append(c);
    }
    const qsizetype n = t.size();
    qsizetype i = 0;

    bool negative = false;
    if (i < n && (t[i] == u'+' || t[i] == u'-')) {
        negative = t[i] == u'-';
        ++i;
    }

    const auto takeDigits = [&](std::string &to) {
        while (i < n && isDigit(t[i]))
            to += char(t[i++].unicode());
    };

    std::string intPart;
    std::string fracPart;
    takeDigits(intPart);
    if (i < n && t[i] == u'.') {
        ++i;
        takeDigits(fracPart);
    }
    if (intPart.empty() && fracPart.empty())
        return 0.0;

    // The exponent counts only when at least one digit follows the marker and its sign.
    bool negativeExponent = false;
    std::string expPart;
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < n && (t[i] == u'+' || t[i] == u'-'))
            negativeExponent = t[i++] == u'-';
        takeDigits(expPart);
    }

    // Sign stays out of from_chars, which takes no '+'; from_chars is locale-independent.
    std::string magnitude = intPart.empty() ? std::string("0") : intPart;
    if (!fracPart.empty())
        magnitude += '.' + fracPart;
    if (!expPart.empty())
        magnitude += (negativeExponent ? "e-" : "e") + expPart;

    double value = 0.0;
    const auto result =
        std::from_chars(magnitude.data(), magnitude.data() + magnitude.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: the decimal exponent of the first significant digit says which.
        long long lead = 0;
        if (const auto nz = intPart.find_first_not_of('0'); nz != std::string::npos)
            lead = (long long)(intPart.size() - nz) - 1;
        else
            lead = -(long long)fracPart.find_first_not_of('0') - 1;
        long long exponent = 0;
        for (char d : expPart) {
            exponent = std::min(exponent * 10 + (d - '0'), 1'000'000'000LL);
        }
        if (negativeExponent)
            exponent = -exponent;
        value = lead + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

std::optional<double> cellNumber(QStringView cell)
{
    const QStringView body = cell.trimmed();
    const qsizetype n = body.size();
    if (n == 0 || n > maxCellChars)
        return std::nullopt;

    char buffer[maxCellChars + 1];
    qsizetype out = 0;
    qsizetype i = 0;
    if (body[i] == u'+' || body[i] == u'-') {
        if (body[i] == u'-')
            buffer[out++] = '-';
        ++i;
    }

    const auto copyDigits = [&]() {
        const qsizetype start = i;
        while (i < n && isDigit(body[i]))
            buffer[out++] = char(body[i++].unicode());
        return i - start;
    };

    const qsizetype lead = copyDigits();
    if (lead == 0)
        return std::nullopt;
    if (i < n && body[i] == u',') {
        // Grouped: a lead of one to three digits, then groups of exactly three.
        if (lead > 3)
            return std::nullopt;
        while (i < n && body[i] == u',') {
            ++i;
            if (copyDigits() != 3)
                return std::nullopt;
        }
    }
    if (i < n && body[i] == u'.') {
        buffer[out++] = '.';
        ++i;
        if (copyDigits() == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;

    double value = 0.0;
    const auto [end, ec] = std::from_chars(buffer, buffer + out, value);
    Q_UNUSED(end);
    if (ec == std::errc::result_out_of_range)
        return std::nullopt;
    return value;
}

bool rowIsDeleted(const FilterCriterion &criterion, double threshold,
                  std::span<const QString> cells)
{
    if (criterion.column < 0 || std::size_t(criterion.column) >= cells.size())
        return false;
    const QString &cell = cells[std::size_t(criterion.column)];

    switch (criterion.kind) {
    case FilterCriterion::Kind::NumberAtMost: {
        if (cell.size() == 1 && cell.front() == u' ')
            return false;
        const std::optional<double> number = cellNumber(cell);
        return number && *number <= threshold;
    }
    case FilterCriterion::Kind::DomainHasHyphen:
        return cell.contains(u'-');
    case FilterCriterion::Kind::AlreadyRegistered:
        return QStringView(cell) == registeredText;
    }
    return false;
}

} // namespace RowFilter
