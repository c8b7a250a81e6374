// Body decoding in both charsets.
#include "FuzzCheck.h"

#include "fetch/PageFetcher.h"

#include <QStringEncoder>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString utf8 = PageFetcher::decodeBody(body, Charset::Utf8);
    const QString gb = PageFetcher::decodeBody(body, Charset::Gb2312);

    // No byte yields more than one UTF-16 unit: a supplementary character takes four bytes in
    // either charset and two units.
    FUZZ_CHECK(utf8.size() <= body.size());
    FUZZ_CHECK(gb.size() <= body.size());

    // Both charsets are ASCII at heart: ASCII bytes are the same text in either.
    bool ascii = true;
    for (char c : body)
        ascii = ascii && uchar(c) < 0x80;
    if (ascii) {
        const QString latin1 = QString::fromLatin1(body);
        FUZZ_CHECK(utf8 == latin1);
        FUZZ_CHECK(gb == latin1);
    }

    // Text that decoded without a replacement is the body again, less a leading byte-order
    // mark: nothing, not even a sequence cut off at the end, disappears silently.
    if (!utf8.contains(QChar::ReplacementCharacter)) {
        const QByteArray bare = body.startsWith("\xEF\xBB\xBF") ? body.sliced(3) : body;
        FUZZ_CHECK(bare == utf8.toUtf8());
    }

    // The gb2312 sites send GB18030, which covers all of Unicode: any text they encode reads
    // back unchanged, CJK markers included.
    QStringEncoder encoder("GB18030");
    FUZZ_CHECK(encoder.isValid());
    const QByteArray encoded = encoder.encode(utf8);
    FUZZ_CHECK(PageFetcher::decodeBody(encoded, Charset::Gb2312) == utf8);
    // A byte-order mark is dropped only at the start of the body.
    if (!utf8.startsWith(QChar(0xFEFF)))
        FUZZ_CHECK(PageFetcher::decodeBody(utf8.toUtf8(), Charset::Utf8) == utf8);
    return 0;
}
