#include "serialendpoint.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A device whose other side went away reports it on every poll; reading is resumed after
// this pause instead of spinning.
constexpr auto HangUpPause = 500ms;

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

bool makeRaw(int fd, QString* error)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        *error = systemError("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        *error = systemError("tcsetattr");
        return false;
    }
    return true;
}

} // namespace

SerialEndpoint::SerialEndpoint(QObject* parent) : QObject(parent) {}

SerialEndpoint::~SerialEndpoint()
{
    // Remove the link only while it still points at our slave: someone may have reused it.
    if (!m_linkPath.isEmpty() && QFile::symLinkTarget(m_linkPath) == m_peerPath)
        QFile::remove(m_linkPath);
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SerialEndpoint::openPseudoTerminal(QString* error)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0) {
        *error = systemError("posix_openpt");
        return false;
    }
    const char* name = nullptr;
    if (grantpt(master) != 0 || unlockpt(master) != 0 || (name = ptsname(master)) == nullptr) {
        *error = systemError("grantpt/unlockpt/ptsname");
        ::close(master);
        return false;
    }
    m_peerPath = QString::fromLocal8Bit(name);
    m_slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slaveFd < 0) {
        *error = systemError("open slave");
        ::close(master);
        return false;
    }
    if (!makeRaw(m_slaveFd, error)) {
        ::close(master);
        return false;
    }
    return setUp(master, error);
}

bool SerialEndpoint::openDevice(const QString& path, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        *error = systemError("open");
        return false;
    }
    m_peerPath = path;
    return setUp(fd, error);
}

bool SerialEndpoint::setUp(int fd, QString* error)
{
    if (!makeRaw(fd, error)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SerialEndpoint::onReadable);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SerialEndpoint::onWritable);
    return true;
}

bool SerialEndpoint::createLink(const QString& linkPath, QString* error)
{
    // Replace a stale link from an earlier run, but never a regular file.
    const QFileInfo info(linkPath);
    if (info.isSymLink())
        QFile::remove(linkPath);
    if (!QFile::link(m_peerPath, linkPath)) {
        *error = QStringLiteral("cannot create the link %1").arg(linkPath);
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void SerialEndpoint::write(const QByteArray& bytes)
{
    if (m_fd < 0)
        return;
    m_output.append(bytes);
    flushOutput();
}

void SerialEndpoint::onReadable()
{
    char buffer[4096];
    QByteArray received;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            received.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // The other side hung up (EIO on a pair, end of file on some devices).
            m_readNotifier->setEnabled(false);
            QTimer::singleShot(HangUpPause, this, [this] { m_readNotifier->setEnabled(true); });
        }
        break;
    }
    if (!received.isEmpty())
        emit bytesReceived(received);
}

void SerialEndpoint::onWritable()
{
    flushOutput();
}

void SerialEndpoint::flushOutput()
{
    while (!m_output.isEmpty()) {
        const ssize_t n = ::write(m_fd, m_output.constData(), size_t(m_output.size()));
        if (n > 0) {
            m_output.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            m_output.clear(); // the line is gone; a reply nobody can read is dropped
        break;
    }
    m_writeNotifier->setEnabled(!m_output.isEmpty());
}
