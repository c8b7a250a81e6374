#include "SourceLists.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#ifdef __x86_64__
#include <emmintrin.h>
#endif

namespace Sources {

// Filed entries are slices of a few large texts, not allocations of their own: an entry's QString
// shares its text's data and reference count, so it stays valid however long it is kept and
// copies itself before any change, as any shared QString does. A day page of a million names
// thus costs no allocation per name. Each entry is followed by a null written over the blank or
// line feed after it, as the text of every QString is. The slices' references are added to the
// count in one step when filing pauses or the text changes, not one atomic step each; until then
// this holds a reference itself, so no slice can outlive its text.
class SharedText final {
    Q_DISABLE_COPY_MOVE(SharedText)

public:
    SharedText() = default;
    ~SharedText() { countSlices(); }

    // Takes `text` over; returns its characters, which are this one's to change until sliced.
    char16_t *reset(QString text)
    {
        countSlices();
        m_text = std::move(text);
        if (m_text.isEmpty())
            return nullptr;
        m_text.detach();
        return m_text.data_ptr().data();
    }

    // [begin, begin + size) of the text, which has room for a null after it.
    QString slice(char16_t *begin, qsizetype size)
    {
        begin[size] = u'\0';
        ++m_uncounted;
        return QString(QString::DataPointer(m_text.data_ptr().d_ptr(), begin, size));
    }

    // Must run before any slice made since the last call can be copied or destroyed.
    void countSlices()
    {
        if (m_uncounted > 0)
            m_text.data_ptr().d_ptr()->ref_.fetchAndAddRelaxed(int(m_uncounted));
        m_uncounted = 0;
    }

private:
    QString m_text;
    qsizetype m_uncounted = 0;
};

namespace {

// Lines of com names are only kept while shorter than this.
constexpr qsizetype kComLineLimit = 18;

constexpr int kSkipped = -1;
constexpr int kDropped = -2;

// Blanks as QStringView::trimmed() takes them, code unit by code unit.
QStringView trimmedLine(QStringView line)
{
    const char16_t *begin = line.utf16();
    const char16_t *end = begin + line.size();
    while (begin < end && QChar::isSpace(*begin))
        ++begin;
    while (end > begin && QChar::isSpace(end[-1]))
        --end;
    return QStringView(begin, end);
}

// What an ASCII character can be in a name; as bits, so that a whole entry is judged by their
// union without a branch per character.
enum CharClass : unsigned char { kNameChar = 1, kDot = 2, kNotName = 4, kWide = 8 };

constexpr std::array<unsigned char, 128> kCharClasses = [] {
    std::array<unsigned char, 128> classes{};
    for (int c = 0; c < 128; ++c) {
        const bool nameChar =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
        classes[std::size_t(c)] = nameChar ? kNameChar : c == '.' ? kDot : kNotName;
    }
    return classes;
}();

// The position of the first dot of `entry` when it is name-like (isNameLike), else -1. ASCII
// is judged here; anything else is left to isNameLike, which knows letters of every script.
qsizetype nameDot(QStringView entry)
{
    const char16_t *const text = entry.utf16();
    unsigned seen = 0;
    qsizetype dot = -1;
    for (qsizetype i = 0; i < entry.size(); ++i) {
        const unsigned kind = text[i] < 0x80 ? unsigned(kCharClasses[text[i]]) : unsigned(kWide);
        seen |= kind;
        if (kind == kDot && dot < 0)
            dot = i;
    }
    if (seen & kWide)
        return isNameLike(entry) ? dot : -1;
    return (seen & kNotName) || dot <= 0 ? -1 : dot;
}

// Up to eight ASCII characters, lower-cased, a byte each from the lowest; 0 for other text.
// Captions are short lower-case ASCII, so a suffix matches one in any case exactly when their
// keys are equal.
std::uint64_t asciiKey(QStringView text)
{
    if (text.isEmpty() || text.size() > 8)
        return 0;
    std::uint64_t key = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.utf16()[i];
        if (c == 0 || c >= 0x80)
            return 0;
        key |= std::uint64_t(c >= u'A' && c <= u'Z' ? c + 0x20 : c) << (8 * i);
    }
    return key;
}

using CaptionKeys = std::array<std::uint64_t, kSourceCount>;

// asciiKey of each suffix's caption.
const CaptionKeys &captionKeys()
{
    static const CaptionKeys keys = [] {
        CaptionKeys keys{};
        for (int index = 0; index < kSourceCount; ++index)
            keys[std::size_t(index)] = asciiKey(suffix(index).caption);
        return keys;
    }();
    return keys;
}

// The list of one file for a name-like `entry` whose suffix, the part after its first dot, is
// `suffixText` with the key asciiKey gives it.
int suffixList(QStringView entry, QStringView suffixText, std::uint64_t key, bool cnFile,
               const CaptionKeys &keys)
{
    const int firstIndex = cnFile ? NetCn : Com;
    // Selected rather than branched on: which suffix a line has is as good as random, and at
    // most one can match.
    int found = -1;
    if (key) {
        for (int index = firstIndex; index < firstIndex + 5; ++index)
            found = key == keys[std::size_t(index)] ? index : found;
    } else {
        for (int index = firstIndex; index < firstIndex + 5; ++index) {
            if (suffixText.compare(suffix(index).caption, Qt::CaseInsensitive) == 0)
                found = index;
        }
    }
    return ((found == Com) & (entry.size() >= kComLineLimit)) ? kDropped : found;
}

int listOf(QStringView entry, bool cnFile)
{
    const qsizetype dot = nameDot(entry);
    if (dot < 0)
        return kSkipped;
    const QStringView suffixText = entry.sliced(dot + 1);
    return suffixList(entry, suffixText, asciiKey(suffixText), cnFile, captionKeys());
}

bool isBracket(char16_t c)
{
    return c == u'[' || c == u']';
}

// Files the line [begin, end), its line feed cut off already, changing its text in place;
// returns whether it was skipped.
bool fileLine(char16_t *begin, char16_t *end, bool cnFile, SharedText &text, SourceLists &lists)
{
    if (cnFile)
        end = std::remove_if(begin, end, isBracket);
    const QStringView entry = trimmedLine(QStringView(begin, end));
    const int index = listOf(entry, cnFile);
    if (index >= 0) {
        lists[std::size_t(index)].append(text.slice(begin + (entry.utf16() - begin), entry.size()));
    }
    return index == kSkipped;
}

#ifdef __x86_64__
// Sixteen characters from `text` as bit masks, bit k for character k: line feeds, dots, and
// characters that are neither ASCII letters, digits, hyphens nor dots.
struct Masks {
    unsigned feeds;
    unsigned dots;
    unsigned others;
    // The characters as bytes with bit 5 set, the first in the lowest byte of lowBytes.
    std::uint64_t lowBytes;
    std::uint64_t highBytes;
};

Masks masksOf(const char16_t *text)
{
    // Judged as bytes: packing saturates every character above U+00FF to 0x00 or 0xFF, which
    // are neither ASCII name characters, dots nor line feeds, just as the character is not.
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + 8));
    const __m128i bytes = _mm_packus_epi16(low, high);
    const __m128i lower = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
    const auto is = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    // Whether v - from <= span, unsigned, by a saturating subtraction.
    const auto within = [](__m128i v, char from, char span) {
        const __m128i offset = _mm_sub_epi8(v, _mm_set1_epi8(from));
        return _mm_cmpeq_epi8(_mm_subs_epu8(offset, _mm_set1_epi8(span)), _mm_setzero_si128());
    };
    const __m128i dots = is(bytes, '.');
    const __m128i nameOrDot =
        _mm_or_si128(_mm_or_si128(within(bytes, '0', 9), within(lower, 'a', 25)),
                     _mm_or_si128(is(bytes, '-'), dots));
    const auto bits = [](__m128i v) { return unsigned(_mm_movemask_epi8(v)); };
    return {bits(is(bytes, '\n')), bits(dots), ~bits(nameOrDot) & 0xffffu,
            std::uint64_t(_mm_cvtsi128_si64(lower)),
            std::uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(lower, lower)))};
}

// Files the line at `text` the short way when it is plain: up to fifteen ASCII letters, digits,
// hyphens and dots, perhaps a CR, and the line feed, all within the sixteen characters at
// `text`. Returns the line's length then, else -1.
int fileShortLine(char16_t *text, bool cnFile, const CaptionKeys &keys, SharedText &shared,
                  SourceLists &lists, bool *skipped)
{
    const Masks masks = masksOf(text);
    if (masks.feeds == 0)
        return -1;
    const int length = std::countr_zero(masks.feeds);
    int size = length;
    unsigned others = masks.others & ((1u << length) - 1);
    if (length > 0 && others == 1u << (length - 1) && text[length - 1] == u'\r') {
        --size;
        others = 0;
    }
    if (others != 0 || size == 0)
        return -1;
    const unsigned dots = masks.dots & ((1u << size) - 1);
    const int dot = dots ? std::countr_zero(dots) : -1;
    const int suffixSize = size - dot - 1;
    if (dot <= 0 || suffixSize > 8) { // no name, or longer than any suffix
        *skipped = true;
        return length;
    }
    // Letters, digits, hyphens and dots are lower case with bit 5 set.
    const int shift = 8 * (dot + 1);
    std::uint64_t key = shift < 64 ? masks.lowBytes >> shift | masks.highBytes << (64 - shift)
                                   : masks.highBytes >> (shift - 64);
    key &= suffixSize == 0 ? 0 : ~std::uint64_t(0) >> (64 - 8 * suffixSize);
    // As suffixList, in parallel: no caption's key is 0, and a line this short is no com line
    // too long to keep.
    const int first = cnFile ? NetCn : Com;
    const std::uint64_t *const captions = keys.data() + first;
    const int index =
        int(key == captions[0]) * (first + 1) + int(key == captions[1]) * (first + 2) +
        int(key == captions[2]) * (first + 3) + int(key == captions[3]) * (first + 4) +
        int(key == captions[4]) * (first + 5) - 1;
    static_assert(kComLineLimit > 15);
    if (index >= 0)
        lists[std::size_t(index)].append(shared.slice(text, size));
    *skipped = index < 0;
    return length;
}
#endif

qsizetype filePieces(const QList<QStringView> &pieces, qsizetype from, qsizetype to, bool cnFile,
                     SourceLists &lists)
{
    to = std::clamp<qsizetype>(to, 0, pieces.size());
    from = std::clamp<qsizetype>(from, 0, to);
    // The pieces are copied into one text of their own, a null's room after each.
    qsizetype chars = 0;
    for (qsizetype i = from; i < to; ++i)
        chars += pieces[i].size() + 1;
    SharedText text;
    char16_t *at = text.reset(QString(chars, Qt::Uninitialized));
    qsizetype skipped = 0;
    for (qsizetype i = from; i < to; ++i) {
        const qsizetype size = pieces[i].size();
        std::copy_n(pieces[i].utf16(), size, at);
        skipped += fileLine(at, at + size, cnFile, text, lists);
        at += size + 1;
    }
    return skipped;
}

} // namespace

QList<QStringView> cutLines(QStringView page)
{
    QList<QStringView> pieces;
    pieces.reserve(page.count(u'\n') + 1);
    qsizetype start = 0;
    for (qsizetype feed; (feed = page.indexOf(u'\n', start)) >= 0; start = feed + 1)
        pieces.append(page.sliced(start, feed - start));
    if (start < page.size())
        pieces.append(page.sliced(start));
    return pieces;
}

bool isNameLike(QStringView entry)
{
    if (entry.indexOf(u'.') <= 0)
        return false;
    for (qsizetype i = 0; i < entry.size(); ++i) {
        char32_t c = entry[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < entry.size() && entry[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(entry[i], entry[i + 1]);
            ++i;
        }
        if (c != u'-' && c != u'.' && !(c >= u'0' && c <= u'9') && !QChar::isLetter(c))
            return false;
    }
    return true;
}

qsizetype fileDailyLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                         SourceLists &lists)
{
    return filePieces(pieces, from, to, false, lists);
}

qsizetype fileCnLines(const QList<QStringView> &pieces, qsizetype from, qsizetype to,
                      SourceLists &lists)
{
    return filePieces(pieces, from, to, true, lists);
}

PageFiling::PageFiling(QString page, bool cnFile)
    : m_cnFile(cnFile)
    , m_size(page.size())
    , m_text(std::make_unique<SharedText>())
{
    m_data = m_text->reset(std::move(page));
}

PageFiling::~PageFiling() = default;

void PageFiling::fileLines(qsizetype lines, SourceLists &lists)
{
    // The first lines are a sample: each list is then made room for its share of the rest, so
    // that it does not grow (and copy itself) step by step through a big page.
    constexpr qsizetype kSampleLines = 4096;
    const int firstList = m_cnFile ? NetCn : Com;
    if (m_lines == 0) {
        for (int i = 0; i < 5; ++i)
            m_sizesBefore[std::size_t(i)] = lists[std::size_t(firstList + i)].size();
    }
    if (m_lines < kSampleLines) {
        const qsizetype sample = std::min(lines, kSampleLines - m_lines);
        fileSome(sample, lists);
        lines -= sample;
        if (m_lines == kSampleLines && m_at < m_size) {
            const double restPerLine = double(m_size - m_at) / double(m_at) * 1.15;
            for (int i = 0; i < 5; ++i) {
                QStringList &list = lists[std::size_t(firstList + i)];
                const qsizetype filed = list.size() - m_sizesBefore[std::size_t(i)];
                list.reserve(list.size() + qsizetype(double(filed) * restPerLine) + 16);
            }
        }
    }
    fileSome(lines, lists);
}

void PageFiling::fileSome(qsizetype lines, SourceLists &lists)
{
    // Kept in locals while the loop runs: the appends are calls the compiler cannot see into,
    // and members would go back to memory around every one.
    char16_t *at = m_data + m_at;
    char16_t *const pageEnd = m_data + m_size;
    qsizetype skipped = 0;
    qsizetype n = 0;
#ifdef __x86_64__
    const CaptionKeys &keys = captionKeys();
    const bool cnFile = m_cnFile;
    SharedText &text = *m_text;
#endif
    for (; n < lines && at < pageEnd; ++n) {
#ifdef __x86_64__
        // Most lines are short plain names; only the others take the general way.
        bool shortSkipped = false;
        const int length =
            pageEnd - at >= 16 ? fileShortLine(at, cnFile, keys, text, lists, &shortSkipped) : -1;
        if (length >= 0) {
            skipped += shortSkipped;
            at += length + 1;
            continue;
        }
#endif
        // Qt's search takes a vector of characters at a time.
        const qsizetype feed = QStringView(at, pageEnd - at).indexOf(u'\n');
        char16_t *const end = feed >= 0 ? at + feed : pageEnd;
        skipped += fileLine(at, end, m_cnFile, *m_text, lists);
        at = end == pageEnd ? pageEnd : end + 1;
    }
    m_at = at - m_data;
    m_lines += n;
    m_skipped += skipped;
    m_text->countSlices();
}

} // namespace Sources
