#include "NameReader.h"

#include "fetch/PageFetcher.h"
#include "sources/NameImport.h"

#include <QSocketNotifier>
#include <QStringDecoder>

#include <QCoroSignal>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace Cli {

namespace {

// Enough of a file for the import's test of UTF-16 without a byte-order mark.
constexpr qsizetype kSample = 4096;

QString decodeStateless(QByteArrayView bytes, QStringDecoder::Encoding encoding,
                        bool *failed = nullptr)
{
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (failed)
        *failed = decoder.hasError();
    return text;
}

} // namespace

NameReader::NameReader(int fd, qsizetype backlog, QObject *parent)
    : QObject(parent)
    , m_fd(fd)
    , m_backlog(backlog)
    , m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read, this))
{
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        m_fileSize = info.st_size;
    connect(m_notifier, &QSocketNotifier::activated, this, &NameReader::readSome);
}

void NameReader::readSome()
{
    char buffer[64 * 1024];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n > 0) {
        m_bytesRead += n;
        m_pending.append(buffer, n);
        takeLines(false);
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        finish(n < 0 ? errno : 0);
    }
}

void NameReader::finish(int error)
{
    m_notifier->setEnabled(false);
    m_finished = true;
    if (error)
        m_error = qt_error_string(error);
    else
        takeLines(true); // what follows the last line break is the last line
    m_pending.clear();
    wake();
}

void NameReader::stop()
{
    if (m_finished)
        return;
    m_notifier->setEnabled(false);
    m_pending.clear();
    m_finished = true;
    wake();
}

// The waiter resumes from the event loop: a second signal before then would resume it twice.
void NameReader::wake()
{
    if (!m_waiting)
        return;
    m_waiting = false;
    Q_EMIT changed();
}

QCoro::Task<void> NameReader::wait()
{
    while (m_names.isEmpty() && !m_finished) {
        m_waiting = true;
        co_await qCoro(this, &NameReader::changed);
    }
}

QStringList NameReader::take(qsizetype count)
{
    const QStringList names = m_names.first(std::min(count, m_names.size()));
    m_names.remove(0, names.size());
    if (!m_finished && m_names.size() < m_backlog)
        m_notifier->setEnabled(true);
    return names;
}

qsizetype NameReader::expectedNames() const
{
    if (m_finished)
        return m_namesRead;
    if (m_fileSize > 0 && m_bytesRead > 0)
        return std::max(m_namesRead,
                        qsizetype(double(m_namesRead) * double(m_fileSize) / double(m_bytesRead)));
    return -1;
}

// The whole-file import chooses the encoding from the byte-order mark or the first 4 KiB. Here
// the choice is made as soon as the first line is whole, so that a name typed or piped in is
// measured at once.
bool NameReader::decide(bool toEnd)
{
    const QByteArrayView head(m_pending);
    if (!toEnd && head.size() < kSample && !head.contains('\n'))
        return false;
    if (head.startsWith("\xEF\xBB\xBF")) {
        m_encoding = Encoding::Utf8;
        m_pending.remove(0, 3);
    } else if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        m_encoding = head.startsWith("\xFF") ? Encoding::Utf16LE : Encoding::Utf16BE;
        m_pending.remove(0, 2);
    } else {
        // Without a mark, the import's own reading of the sample says whether it is UTF-16.
        const QByteArrayView sample = head.first(std::min(head.size(), kSample));
        const QString text = NameImport::decodeFile(sample.toByteArray());
        m_encoding = text == decodeStateless(sample, QStringDecoder::Utf16LE) ? Encoding::Utf16LE
                     : text == decodeStateless(sample, QStringDecoder::Utf16BE)
                         ? Encoding::Utf16BE
                         : Encoding::Utf8OrGb18030;
    }
    return true;
}

// Text that is not UTF-8 is GB18030, as Chinese editors save it, from the first line that
// shows it on; the lines before read the same either way unless they held other UTF-8.
QString NameReader::decode(QByteArrayView bytes)
{
    switch (m_encoding) {
    case Encoding::Utf16LE:
        return decodeStateless(bytes, QStringDecoder::Utf16LE);
    case Encoding::Utf16BE:
        return decodeStateless(bytes, QStringDecoder::Utf16BE);
    case Encoding::Utf8:
        return decodeStateless(bytes, QStringDecoder::Utf8);
    case Encoding::Utf8OrGb18030: {
        bool failed = false;
        QString text = decodeStateless(bytes, QStringDecoder::Utf8, &failed);
        if (!failed)
            return text;
        m_encoding = Encoding::Gb18030;
        break;
    }
    case Encoding::Gb18030:
    case Encoding::Unknown:
        break;
    }
    return PageFetcher::decodeBody(bytes.toByteArray(), Charset::Gb2312);
}

void NameReader::takeLines(bool toEnd)
{
    if (m_encoding == Encoding::Unknown && !decide(toEnd))
        return;
    qsizetype cut = m_pending.size();
    if (!toEnd && (m_encoding == Encoding::Utf16LE || m_encoding == Encoding::Utf16BE)) {
        // A line break is a whole code unit: a byte pair at an even offset.
        const char first = m_encoding == Encoding::Utf16LE ? '\n' : '\0';
        const char second = m_encoding == Encoding::Utf16LE ? '\0' : '\n';
        for (cut = (m_pending.size() & ~qsizetype(1)) - 2;
             cut >= 0 && !(m_pending.at(cut) == first && m_pending.at(cut + 1) == second);
             cut -= 2) {
        }
        cut += 2;
    } else if (!toEnd) {
        cut = m_pending.lastIndexOf('\n') + 1;
    }
    if (cut <= 0)
        return;
    const NameImport::Result read =
        NameImport::readNames(decode(QByteArrayView(m_pending).first(cut)));
    m_pending.remove(0, cut);
    m_skipped += read.skipped;
    m_duplicates += read.duplicates;
    for (const QString &name : read.names) {
        const qsizetype known = m_seen.size();
        m_seen.insert(qHash(name, size_t(0x5eed)));
        if (m_seen.size() == known) {
            ++m_duplicates;
        } else {
            m_names << name;
            ++m_namesRead;
        }
    }
    if (m_names.size() >= m_backlog)
        m_notifier->setEnabled(false);
    if (!read.names.isEmpty())
        wake();
}

} // namespace Cli
