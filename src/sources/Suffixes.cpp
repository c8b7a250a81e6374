#include "Suffixes.h"

#include <algorithm>

namespace Sources {

namespace {

// The com button cannot count beyond this; larger lists show a fixed text instead.
constexpr qsizetype kComCaptionLimit = 32768;

constexpr std::array<SuffixRecord, kSourceCount> kSuffixes{{
    {u"com", u".com 共：", 7, false},
    {u"info", u".info 共：", 8, false},
    {u"net", u".net 共：", 7, false},
    {u"org", u".org 共：", 7, false},
    {u"biz", u".biz 共：", 7, false},
    {u"net.cn", u"net.cn 共：", 10, true},
    {u"com.cn", u"com.cn 共：", 10, true},
    {u"org.cn", u"org.cn 共：", 10, true},
    {u"gov.cn", u"gov.cn 共：", 10, true},
    {u"cn", u".cn 共：", 6, true},
}};

} // namespace

const SuffixRecord &suffix(int index)
{
    return kSuffixes[std::size_t(std::clamp(index, 0, kSourceCount - 1))];
}

QString countCaption(int index, qsizetype count)
{
    if (index == Com && count >= kComCaptionLimit)
        return QStringLiteral("大于32768条");
    return suffix(index).countPrefix.toString() + QString::number(count);
}

} // namespace Sources
