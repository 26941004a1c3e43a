#include "signalwatcher.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

int SignalWatcher::s_fds[2] = {-1, -1};

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_fds) != 0)
        return;
    m_notifier = new QSocketNotifier(s_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::onReadable);
    struct sigaction action = {};
    action.sa_handler = &SignalWatcher::handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    for (int& fd : s_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalWatcher::handler(int signalNumber)
{
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(s_fds[0], &byte, 1);
}

void SignalWatcher::onReadable()
{
    char byte = 0;
    if (::read(s_fds[1], &byte, 1) == 1)
        emit terminationRequested(byte);
}
