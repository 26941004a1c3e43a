#include "linereader.h"

#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

LineReader::LineReader(int fd, QObject* parent) : QObject(parent), m_fd(fd)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return; // no such descriptor: nothing to read
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LineReader::onReadable);
}

void LineReader::onReadable()
{
    char buffer[1024];
    bool ended = false;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            m_pending.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    qsizetype newline;
    while ((newline = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        emit lineRead(QString::fromUtf8(line).trimmed());
    }
    if (ended) {
        if (!m_pending.isEmpty())
            emit lineRead(QString::fromUtf8(m_pending).trimmed());
        m_pending.clear();
        m_notifier->setEnabled(false);
    }
}
