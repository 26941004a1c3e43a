#pragma once

// A pseudo-terminal pair for tests: the code under test opens slavePath() as its serial
// device; the test plays the far end on masterFd(). Header-only, nothing to link.
//
// Both ends are in raw mode (cfmakeraw): no echo, no line editing, no CR/LF
// translation, every byte passes as it is. The master is non-blocking.
//
// The helper keeps its own descriptor of the slave open until closeSlave() (or the
// destructor), so that the line stays up between a close and a reopen of the device
// under test; closing the master (closeMaster) hangs the line up: reads of the slave
// then fail with EIO, as when an adapter is unplugged.
//
// It uses posix_openpt/grantpt/unlockpt/ptsname_r, the POSIX form of openpty(3), so that
// it needs neither <pty.h> (whose name this file shares) nor -lutil.

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace sarvik::test {

class Pty
{
public:
    Pty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0)
            return;
        char name[128] = {};
        if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
            ::ptsname_r(m_master, name, sizeof name) != 0) {
            closeMaster();
            return;
        }
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_slave < 0) {
            closeMaster();
            return;
        }
        m_slavePath = QString::fromLocal8Bit(name);
        makeRaw(m_master);
        makeRaw(m_slave);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty()
    {
        closeSlave();
        closeMaster();
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool isValid() const { return m_master >= 0 && !m_slavePath.isEmpty(); }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    int slaveFd() const { return m_slave; }

    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    void closeSlave()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        m_slave = -1;
    }

    // Writes all bytes into the master (the far end sends them); false on failure.
    bool writeMaster(QByteArrayView bytes, int timeoutMs = 2000)
    {
        QDeadlineTimer deadline(timeoutMs);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (deadline.hasExpired() || !waitFor(POLLOUT, deadline))
                return false;
        }
        return true;
    }

    // Reads from the master (what the device under test wrote) until `expected` bytes
    // have come or the time is up; returns what came. Never blocks the caller longer
    // than timeoutMs. With expected < 0, returns what is there within the time.
    QByteArray readMaster(qsizetype expected, int timeoutMs = 2000)
    {
        QByteArray out;
        QDeadlineTimer deadline(timeoutMs);
        char buf[4096];
        while (expected < 0 || out.size() < expected) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                out.append(buf, n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                break; // EIO: nobody holds the slave open
            if (deadline.hasExpired() || !waitFor(POLLIN, deadline))
                break;
        }
        return out;
    }

private:
    static void makeRaw(int fd)
    {
        termios t{};
        if (::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }
    bool waitFor(short events, const QDeadlineTimer& deadline)
    {
        pollfd p{m_master, events, 0};
        const int r = ::poll(&p, 1, int(qMax<qint64>(0, deadline.remainingTime())));
        return r > 0;
    }

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

} // namespace sarvik::test
