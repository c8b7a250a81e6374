#include "NameImport.h"

#include "fetch/PageFetcher.h"

#include <QSet>
#include <QStringDecoder>
#include <QUrl>

namespace {

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isScheme(QStringView text)
{
    if (text.isEmpty() || !isAsciiLetter(text.front()))
        return false;
    for (const QChar c : text) {
        if (!isAsciiLetter(c) && !isDigit(c) && c != u'+' && c != u'-' && c != u'.')
            return false;
    }
    return true;
}

bool isAllDigits(QStringView text)
{
    return std::all_of(text.begin(), text.end(), isDigit);
}

// Letters, digits and inner hyphens, 1 to 63 characters per label, 253 in all.
bool isHostName(QStringView name)
{
    if (name.size() > 253)
        return false;
    qsizetype labels = 0;
    QStringView last;
    for (const QStringView label : name.tokenize(u'.')) {
        if (label.isEmpty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-')
            return false;
        for (const QChar c : label) {
            if (!(c >= u'a' && c <= u'z') && !isDigit(c) && c != u'-')
                return false;
        }
        ++labels;
        last = label;
    }
    return labels >= 2 && !isAllDigits(last);
}

QString decodeUtf16(QByteArrayView bytes, QStringDecoder::Encoding encoding)
{
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    return decoder(bytes);
}

// Text saved as UTF-16 without a byte-order mark: the high byte of each Latin letter, digit
// and dot is zero, so zeros crowd one side of every pair. Binary data has zeros on both sides
// or hardly any, and stays with the 8-bit readings.
std::optional<QStringDecoder::Encoding> bomlessUtf16(QByteArrayView bytes)
{
    const QByteArrayView sample = bytes.first(std::min<qsizetype>(bytes.size(), 4096));
    qsizetype zeros[2] = {0, 0};
    for (qsizetype i = 0; i < sample.size(); ++i)
        zeros[i % 2] += sample[i] == '\0';
    const qsizetype pairs = sample.size() / 2;
    for (const int side : {0, 1}) {
        const qsizetype other = zeros[1 - side];
        if (pairs > 0 && zeros[side] * 5 >= pairs * 2 && other * 4 <= zeros[side])
            return side == 1 ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE;
    }
    return std::nullopt;
}

} // namespace

namespace NameImport {

QString decodeFile(const QByteArray &bytes)
{
    const QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        return PageFetcher::decodeBody(bytes.mid(3), Charset::Utf8);
    if (view.startsWith("\xFF\xFE"))
        return decodeUtf16(view.sliced(2), QStringDecoder::Utf16LE);
    if (view.startsWith("\xFE\xFF"))
        return decodeUtf16(view.sliced(2), QStringDecoder::Utf16BE);
    if (const auto utf16 = bomlessUtf16(view))
        return decodeUtf16(view, *utf16);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(view);
    if (!utf8.hasError())
        return text;
    // Chinese editors save in the local code page when not told otherwise.
    return PageFetcher::decodeBody(bytes, Charset::Gb2312);
}

std::optional<QString> normaliseName(QStringView text)
{
    QStringView rest = text.trimmed();
    const qsizetype schemeEnd = rest.indexOf(u"://");
    if (schemeEnd >= 0) {
        if (!isScheme(rest.first(schemeEnd)))
            return std::nullopt;
        rest = rest.sliced(schemeEnd + 3);
    }
    for (qsizetype i = 0; i < rest.size(); ++i) {
        if (rest[i] == u'/' || rest[i] == u'?' || rest[i] == u'#') {
            rest.truncate(i);
            break;
        }
    }
    if (const qsizetype colon = rest.lastIndexOf(u':'); colon >= 0) {
        const QStringView port = rest.sliced(colon + 1);
        if (port.isEmpty() || !isAllDigits(port))
            return std::nullopt;
        rest.truncate(colon);
    }
    if (rest.endsWith(u'.'))
        rest.chop(1);

    QString name = rest.toString().toLower();
    const bool ascii =
        std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 128; });
    if (!ascii) {
        name = QString::fromLatin1(QUrl::toAce(name));
        if (name.isEmpty())
            return std::nullopt;
    }
    if (name.startsWith(u"www.") && name.indexOf(u'.', 4) > 0)
        name.remove(0, 4);
    if (!isHostName(name))
        return std::nullopt;
    return name;
}

Result readNames(const QString &text)
{
    Result result;
    // Views into the kept names: a million-line file would otherwise spend a good part of its
    // time dropping a second reference to every name when the set goes.
    QSet<QStringView> seen;
    seen.reserve(text.count(u'\n') + 1);
    for (QStringView line : QStringTokenizer(text, u'\n')) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (const qsizetype comma = line.indexOf(u','); comma >= 0) {
            if (line.startsWith(u'"')) {
                const qsizetype close = line.indexOf(u'"', 1);
                line = line.sliced(1, (close < 0 ? line.size() : close) - 1);
            } else {
                line.truncate(comma);
            }
        }
        const std::optional<QString> name = normaliseName(line);
        if (!name) {
            ++result.skipped;
            continue;
        }
        // One hash lookup per line: the set grows only for a name not seen before, whose text
        // the list then shares, so the view stays valid.
        const qsizetype known = seen.size();
        seen.insert(QStringView(*name));
        if (seen.size() == known)
            ++result.duplicates;
        else
            result.names << *name;
    }
    return result;
}

} // namespace NameImport
