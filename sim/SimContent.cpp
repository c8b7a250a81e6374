#include "SimContent.h"
#include "SimRandom.h"

#include <QStringEncoder>
#include <QUrl>

#include <vector>

namespace SimContent {

namespace {

QString grouped(quint64 n)
{
    QString digits = QString::number(n);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, u',');
    return digits;
}

// A number of 1 to `maxDigits` digits, every magnitude equally likely, as real counts spread.
quint64 magnitude(Rng &rng, int maxDigits)
{
    quint64 low = 1;
    for (int d = rng.below(maxDigits); d > 0; --d)
        low *= 10;
    return low + rng.next() % (9 * low);
}

QString countOrNothing(const char *salt, const QString &text, int maxDigits, bool separators)
{
    Rng rng = rngFor(salt, text);
    if (rng.chance(15))
        return {};
    const quint64 n = magnitude(rng, maxDigits);
    return separators ? grouped(n) : QString::number(n);
}

struct Weighted {
    const char *text;
    int percent;
};

template <std::size_t N> const char *pick(Rng &rng, const Weighted (&table)[N])
{
    int roll = rng.below(100);
    for (const Weighted &w : table) {
        roll -= w.percent;
        if (roll < 0)
            return w.text;
    }
    return table[N - 1].text;
}

QByteArray gb(const QString &text)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString htmlHead(const QString &title, bool gbCharset)
{
    const QString meta = gbCharset ? QStringLiteral("<meta http-equiv=\"Content-Type\" "
                                                    "content=\"text/html; charset=gb2312\">")
                                   : QStringLiteral("<meta charset=\"utf-8\">");
    return QStringLiteral("<!DOCTYPE html>\r\n<html>\r\n<head>\r\n") + meta +
           QStringLiteral("\r\n<title>") + esc(title) +
           QStringLiteral("</title>\r\n</head>\r\n<body>\r\n");
}

const QString kHtmlTail = QStringLiteral("</body>\r\n</html>\r\n");

// The few result rows every search page shows under its count.
QString resultRows(const QString &domain)
{
    const QString d = esc(domain);
    return QStringLiteral("<div class=\"result\"><h3><a href=\"http://%1/\">%1 - 首页</a></h3>"
                          "<span class=\"g\">%1/</span></div>\r\n"
                          "<div class=\"result\"><h3><a href=\"http://%1/about.html\">关于我们 - "
                          "%1</a></h3><span class=\"g\">%1/about.html</span></div>\r\n")
        .arg(d);
}

QString yahooPage(const QString &phrase, const QString &target, const QString &count)
{
    QString html = htmlHead(QStringLiteral("雅虎站长工具 - ") + target, false);
    html += QStringLiteral("<div class=\"sitemap\"><form action=\"/search\"><input name=\"p\" "
                           "value=\"%1\"><input type=\"submit\" value=\"查询\"></form></div>\r\n")
                .arg(esc(target));
    if (count.isEmpty()) {
        html += QStringLiteral("<div class=\"noresult\">对不起，没有找到与 <b>%1</b> "
                               "有关的信息，请检查输入的地址。</div>\r\n")
                    .arg(esc(target));
    } else {
        html += QStringLiteral("<div class=\"hd\"><h2>%1</h2></div>\r\n"
                               "<div class=\"sum\">%2 共 <strong>%3</strong> 条</div>\r\n")
                    .arg(phrase, esc(target), count);
        html += resultRows(target);
    }
    return html + kHtmlTail;
}

const Weighted kCnSuffixes[] = {
    {".cn", 50}, {".com.cn", 25}, {".net.cn", 10}, {".org.cn", 10}, {".gov.cn", 5},
};
const Weighted kDailySuffixes[] = {
    {".com", 55}, {".net", 20}, {".org", 12}, {".info", 8}, {".biz", 5},
};

const char kLetters[] = "abcdefghijklmnopqrstuvwxyz";
const char kDigits[] = "0123456789";

// Appends `length` characters, each a digit with `digitPercent` odds, else a letter. One draw
// of the generator serves four characters: lists of a million names must stay fast.
void appendLabel(QByteArray &out, Rng &rng, int length, int digitPercent)
{
    quint64 bits = 0;
    for (int i = 0; i < length; ++i, bits >>= 16) {
        if (i % 4 == 0)
            bits = rng.next();
        const quint16 piece = quint16(bits);
        const bool digit = (piece >> 8) * 100 < quint32(digitPercent) * 256;
        out += digit ? kDigits[(piece & 0xff) % 10] : kLetters[(piece & 0xff) % 26];
    }
}

// Which names a list already holds, as 32-bit fingerprints in an open-addressed table: a node
// per name would cost more than making the name. Two names sharing a fingerprint only means the
// second is dropped, so every list still comes out free of repeats.
class NameSet {
public:
    explicit NameSet(qsizetype expected)
    {
        std::size_t size = 64;
        while (size < std::size_t(expected) * 2)
            size *= 2;
        m_slots.assign(size, 0);
    }
    // Mixed: FNV's low bits cluster for names alike.
    static quint64 key(QByteArrayView name) { return fnv1a(name) * 0x9e3779b97f4a7c15ULL; }
    // A million names miss the cache a million times; asking early overlaps the waits.
    void prefetch(quint64 key) const { __builtin_prefetch(&m_slots[slot(key)]); }
    // False when the name (or one with its fingerprint) is there already.
    bool insert(quint64 key)
    {
        const quint32 print = quint32(key >> 32) | 1; // 0 marks a free slot
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = slot(key);; i = (i + 1) & mask) {
            if (m_slots[i] == print)
                return false;
            if (m_slots[i] == 0) {
                m_slots[i] = print;
                return true;
            }
        }
    }

private:
    std::size_t slot(quint64 key) const { return std::size_t(key >> 8) & (m_slots.size() - 1); }

    std::vector<quint32> m_slots;
};

} // namespace

quint64 fnv1a(QByteArrayView bytes)
{
    quint64 h = 0xcbf29ce484222325ULL;
    for (char c : bytes) {
        h ^= quint8(c);
        h *= 0x100000001b3ULL;
    }
    return h;
}

QString baiduCount(const QString &domain, bool siteOperator)
{
    return countOrNothing(siteOperator ? "baidu-site" : "baidu-domain", domain, 9, true);
}

QString googleCount(const QString &domain)
{
    return countOrNothing("google", domain, 9, true);
}

QString yahooPages(const QString &domain)
{
    return countOrNothing("yahoo-pages", domain, 6, false);
}

QString yahooLinks(const QString &target)
{
    return countOrNothing("yahoo-links", target, 6, false);
}

bool registrable(const QString &domain)
{
    return rngFor("registrar", domain).chance(30);
}

QString pageRank(const QString &domain)
{
    Rng rng = rngFor("pagerank", domain);
    if (rng.chance(25))
        return {};
    // Most sites rank low; a handful rank high.
    static const char kRanks[] = "0001122334456789";
    return QString(QLatin1Char(kRanks[rng.below(16)]));
}

bool pageRankFrameEndsWithLineFeed(const QString &domain)
{
    return rngFor("pagerank-frame", domain).chance(50);
}

DeletionInfo deletionInfo(const QString &domain)
{
    Rng rng = rngFor("deletion", domain);
    if (rng.chance(30))
        return {};
    const int month = 1 + rng.below(12);
    const int day = 1 + rng.below(28);
    const QDate registered(1998 + rng.below(18), month, day);
    const QDate expires(2025 + rng.below(2), month, day);
    static const char *const kRegistrars[] = {"万网", "新网", "易名中国", "GoDaddy"};
    static const char *const kStates[] = {"宽限期", "赎回期", "待删除"};
    const QDate updated = expires.addYears(-1).addDays(rng.below(200));
    DeletionInfo info;
    info.cells = {
        QStringLiteral("<b>%1年</b>(近似值)").arg(expires.year() - registered.year()),
        QString::fromUtf8(kRegistrars[rng.below(4)]),
        registered.toString(Qt::ISODate),
        updated.toString(Qt::ISODate),
        expires.toString(Qt::ISODate),
    };
    info.deletion = expires.addDays(75).toString(Qt::ISODate);
    info.state = QString::fromUtf8(kStates[rng.below(3)]);
    info.countdown = QStringLiteral("%1 天 %2 小时").arg(rng.below(40)).arg(rng.below(24));
    return info;
}

QString icpNumber(const QString &domain)
{
    Rng rng = rngFor("icp", domain);
    if (!rng.chance(40))
        return {};
    static const char *const kProvinces[] = {"京", "沪", "粤", "浙", "苏", "闽", "鲁", "川"};
    QString number = QString::fromUtf8(kProvinces[rng.below(8)]) + QStringLiteral("ICP备") +
                     QString::number(10000000 + rng.below(90000000)) + QStringLiteral("号");
    if (rng.chance(25))
        number += u'-' + QString::number(1 + rng.below(3));
    return number;
}

QByteArray baiduPage(const QString &domain, bool siteOperator)
{
    const QString query =
        (siteOperator ? QStringLiteral("site:") : QStringLiteral("domain:")) + domain;
    const QString count = baiduCount(domain, siteOperator);
    QString html = htmlHead(query + QStringLiteral("_百度搜索"), true);
    html += QStringLiteral("<div id=\"head\"><form name=\"f\" action=\"/s\"><input name=\"wd\" "
                           "value=\"%1\"><input type=\"submit\" value=\"百度一下\"></form>"
                           "</div>\r\n")
                .arg(esc(query));
    if (count.isEmpty()) {
        html += QStringLiteral("<div class=\"nors\"><p>抱歉，没有找到与<span>“%1”</span>"
                               "相关的网页。</p></div>\r\n")
                    .arg(esc(query));
    } else {
        // The real page words its count a few ways; clients must read them all.
        static const char *const kPhrases[] = {
            "百度为您找到相关结果约%1个",
            "百度为您找到相关结果约 %1 个",
            "百度为您找到相关结果%1个",
        };
        const char *phrase = kPhrases[rngFor("baidu-phrase", query).below(3)];
        html += QStringLiteral("<div class=\"nums\">") + QString::fromUtf8(phrase).arg(count) +
                QStringLiteral("</div>\r\n<div id=\"content_left\">\r\n") + resultRows(domain) +
                QStringLiteral("</div>\r\n");
    }
    html += QStringLiteral("<div id=\"ft\">&copy;2012 Baidu <a href=\"/duty/\">使用百度前必读</a>"
                           "</div>\r\n");
    return gb(html + kHtmlTail);
}

QByteArray googlePage(const QString &domain)
{
    const QString query = QStringLiteral("site:") + domain;
    const QString count = googleCount(domain);
    QString html = htmlHead(query + QStringLiteral(" - Google 搜索"), false);
    if (count.isEmpty()) {
        html += QStringLiteral("<div id=\"res\"><p>找不到和您的查询“<em>%1</em>”"
                               "相符的内容或信息。</p></div>\r\n")
                    .arg(esc(query));
    } else {
        const int centiseconds = 5 + rngFor("google-time", domain).below(60);
        html += QStringLiteral("<div id=\"resultStats\">找到约 %1 条结果<nobr> （用时 0.%2 秒）"
                               "</nobr></div>\r\n<div id=\"res\">\r\n")
                    .arg(count, QString::number(centiseconds).rightJustified(2, u'0')) +
                resultRows(domain) + QStringLiteral("</div>\r\n");
    }
    return (html + kHtmlTail).toUtf8();
}

QByteArray yahooPagesPage(const QString &domain)
{
    return yahooPage(QStringLiteral("被收录的网页"), domain, yahooPages(domain)).toUtf8();
}

QByteArray yahooLinksPage(const QString &target)
{
    return yahooPage(QStringLiteral("链向该地址的网页"), target, yahooLinks(target)).toUtf8();
}

QByteArray registrarAnswer(const QString &domain)
{
    const bool free = registrable(domain);
    return gb(QStringLiteral("<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<property>\r\n"
                             "<returncode>200</returncode>\r\n<key>%1</key>\r\n"
                             "<original>%2</original>\r\n</property>\r\n")
                  .arg(esc(domain), free ? QStringLiteral("210 : Domain name is available")
                                         : QStringLiteral("211 : Domain name is not available")));
}

QByteArray pageRankPage(const QString &domain, const QString &hostPort)
{
    QString html = htmlHead(QStringLiteral("PR查询 - 站长工具"), false);
    html += QStringLiteral("<form action=\"/\" method=\"get\"><input name=\"PRAddress\" "
                           "value=\"%1\"><input type=\"submit\" value=\"查询\"></form>\r\n")
                .arg(esc(domain));
    if (pageRank(domain).isEmpty()) {
        html += QStringLiteral("<div class=\"prbox\">暂无该网站的PR数据</div>\r\n");
    } else {
        // The frame address carries the domain URL-encoded, as a page builds a query.
        html += QStringLiteral("<div class=\"prbox\"><iframe src=\"http://%1/prframe?d=%2\" "
                               "width=\"88\" height=\"31\" frameborder=\"0\" scrolling=\"no\">"
                               "</iframe></div>\r\n")
                    .arg(hostPort, QString::fromLatin1(QUrl::toPercentEncoding(domain)));
    }
    return (html + kHtmlTail).toUtf8();
}

QByteArray pageRankFrame(const QString &domain)
{
    const QString rank = pageRank(domain);
    if (rank.isEmpty())
        return {};
    QByteArray body = "Rank_1:1:" + rank.toLatin1();
    if (pageRankFrameEndsWithLineFeed(domain))
        body += '\n';
    return body;
}

QByteArray deletionToolPage(const QString &domain)
{
    const DeletionInfo info = deletionInfo(domain);
    QString html = htmlHead(QStringLiteral("域名删除时间查询 - ") + domain, false);
    if (info.cells.isEmpty()) {
        html += QStringLiteral("<div class=\"notfound\">没有查询到相应的信息，请确认域名 "
                               "<b>%1</b> 是否正确。</div>\r\n")
                    .arg(esc(domain));
    } else {
        html +=
            QStringLiteral("<table class=\"deltable\">\r\n<tr><th>域名年龄</th><th>注册商</th>"
                           "<th>注册时间</th><th>更新时间</th><th>过期时间</th><th>删除时间</th>"
                           "<th>状态</th></tr>\r\n<tr>");
        for (const QString &cell : info.cells)
            html += QStringLiteral("<td class=\"deltd1\">") + cell + QStringLiteral("</td>");
        html += QStringLiteral("<td class=\"deltd2\">%1</td><td class=\"deltd2\">%2</td>")
                    .arg(info.deletion, info.state);
        html += QStringLiteral("</tr>\r\n</table>\r\n<p class=\"countdown\">距离删除<span>还剩：") +
                info.countdown + QStringLiteral("</span></p>\r\n");
    }
    return (html + kHtmlTail).toUtf8();
}

QByteArray icpPage(const QString &domain)
{
    const QString number = icpNumber(domain);
    QString html = htmlHead(QStringLiteral("ICP备案查询 - ") + domain, true);
    if (number.isEmpty()) {
        html += QStringLiteral("<p class=\"noicp\">域名 %1 未备案或备案已取消。</p>\r\n")
                    .arg(esc(domain));
    } else {
        static const char *const kOwners[] = {"北京星河网络科技有限公司",
                                              "上海云帆信息技术有限公司", "深圳市海角数码有限公司",
                                              "个人"};
        const char *owner = kOwners[rngFor("icp-owner", domain).below(4)];
        html += QStringLiteral("<table class=\"icptable\">\r\n<tr><th>主办单位</th><th>备案号</th>"
                               "</tr>\r\n<tr><td class=\"ap\"><a href=\"/info?q=%1\">%2</a> "
                               "<span>%3</span> <a href=\"http://www.miibeian.gov.cn/\" "
                               "target=\"_blank\">%4</a></td></tr>\r\n</table>\r\n")
                    .arg(esc(domain), QString::fromUtf8(owner),
                         QString::fromUtf8(qstrcmp(owner, "个人") ? "企业" : "个人"), number);
    }
    return gb(html + kHtmlTail);
}

QByteArray makerPage()
{
    return gb(htmlHead(QStringLiteral("Varnel 删除域名助手"), true) +
              QStringLiteral("<h1>Varnel 删除域名助手</h1>\r\n<p>每天整理即将删除的域名，"
                             "查询收录、反链、PR 与备案信息。</p>\r\n"
                             "<p><a href=\"/varnel/varnel-setup.exe\">下载最新版本</a></p>\r\n") +
              kHtmlTail);
}

QByteArray notFoundPage(const QString &target)
{
    return (htmlHead(QStringLiteral("404 Not Found"), false) +
            QStringLiteral("<h1>Not Found</h1>\r\n<p>The requested URL %1 was not found on this "
                           "server.</p>\r\n")
                .arg(esc(target)) +
            kHtmlTail)
        .toUtf8();
}

QByteArray throttledPage(int status)
{
    return (htmlHead(QStringLiteral("%1").arg(status), false) +
            QStringLiteral("<h1>请求过于频繁</h1>\r\n<p>Too many requests from your address. "
                           "Please try again later.</p>\r\n") +
            kHtmlTail)
        .toUtf8();
}

QByteArray blockPage(BlockStyle style, bool gbCharset)
{
    QString html;
    switch (style) {
    case BlockStyle::Baidu:
        html =
            htmlHead(QStringLiteral("百度安全验证"), gbCharset) +
            QStringLiteral("<div class=\"timeout\"><p class=\"timeout-title\">百度安全验证</p>"
                           "<p>网络不给力，请稍后重试</p><div class=\"vcode-spin\">请完成下方验证"
                           "后继续操作</div><a href=\"https://wappass.baidu.com/static/captcha/"
                           "tuxing.html\">验证</a></div>\r\n");
        break;
    case BlockStyle::Google:
        html = htmlHead(QStringLiteral("https://www.google.com/search"), gbCharset) +
               QStringLiteral("<div>Our systems have detected unusual traffic from your computer "
                              "network. This page checks to see if it's really you sending the "
                              "requests, and not a robot.</div>\r\n<form id=\"captcha-form\" "
                              "action=\"index\" method=\"post\"><div class=\"g-recaptcha\">"
                              "</div></form>\r\n");
        break;
    case BlockStyle::Generic:
        html = htmlHead(QStringLiteral("访问受限"), gbCharset) +
               QStringLiteral("<h1>访问过于频繁</h1>\r\n<p>您的访问过于频繁，请输入验证码后继续："
                              "<img src=\"/captcha.gif\"> <input name=\"code\"></p>\r\n");
        break;
    }
    html += kHtmlTail;
    return gbCharset ? gb(html) : html.toUtf8();
}

QStringList cnListTokens()
{
    return {QStringLiteral("3todayDel"), QStringLiteral("2todayDel"), QStringLiteral("1todayDel"),
            QStringLiteral("future1todayDel"), QStringLiteral("future2todayDel")};
}

QByteArray cnDeletionList(const QString &token)
{
    if (!cnListTokens().contains(token))
        return {};
    Rng rng = rngFor("cn-list", token);
    const int lines = 600 + rng.below(600);
    NameSet seen(lines);
    QByteArray out;
    QByteArray name;
    for (int made = 0; made < lines;) {
        name.resize(0);
        const bool bracketed = rng.chance(8);
        if (bracketed)
            name += '[';
        const int length = 1 + rng.below(12);
        appendLabel(name, rng, length, rng.chance(5) ? 100 : 8);
        if (bracketed)
            name += ']';
        name += pick(rng, kCnSuffixes);
        if (!seen.insert(NameSet::key(name)))
            continue;
        out += name + "\r\n";
        ++made;
    }
    return out;
}

QByteArray dailyDeletionList(const QDate &date, int lines)
{
    // Names that trip naive parsers: "com" inside a .net label, a long label, numeric labels,
    // a label that reads as a number in exponent form, hyphens. Spread evenly through the list.
    static const char *const kOddities[] = {
        "telecomhub.net",  "internationalshippingsolutions.com",
        "123.com",         "1e5.com",
        "007.net",         "e-shop-online.org",
        "best-price.info", "my-biz.biz",
    };
    constexpr int oddCount = int(std::size(kOddities));
    NameSet seen(qsizetype(lines) + oddCount);
    for (const char *odd : kOddities)
        seen.insert(NameSet::key(odd));

    Rng rng = rngFor("daily-list", date.toString(Qt::ISODate));
    QByteArray out;
    out.reserve(qsizetype(lines) * 16);
    int written = 0;
    int nextOdd = 0;
    const auto append = [&](QByteArrayView name) {
        out += name;
        out += "\r\n";
        ++written;
    };
    // Candidates come in batches, their table slots fetched ahead, then are kept if new.
    constexpr int batchSize = 64;
    QByteArray batch;
    qsizetype ends[batchSize];
    quint64 keys[batchSize];
    while (written < lines) {
        batch.resize(0);
        for (int b = 0; b < batchSize; ++b) {
            const qsizetype start = batch.size();
            const int length = rng.chance(10) ? 13 + rng.below(8) : 3 + rng.below(10);
            appendLabel(batch, rng, 1, 0); // a letter first
            appendLabel(batch, rng, length - 1, rng.chance(10) ? 30 : 0);
            if (length > 4 && rng.chance(5))
                batch[start + 1 + rng.below(length - 2)] = '-';
            batch += pick(rng, kDailySuffixes);
            ends[b] = batch.size();
            keys[b] = NameSet::key(QByteArrayView(batch).sliced(start));
            seen.prefetch(keys[b]);
        }
        for (int b = 0; b < batchSize && written < lines; ++b) {
            if (nextOdd < oddCount && qint64(nextOdd + 1) * lines / (oddCount + 1) <= written)
                append(kOddities[nextOdd++]);
            const qsizetype start = b ? ends[b - 1] : 0;
            if (written < lines && seen.insert(keys[b]))
                append(QByteArrayView(batch).sliced(start, ends[b] - start));
        }
    }
    return out;
}

} // namespace SimContent
