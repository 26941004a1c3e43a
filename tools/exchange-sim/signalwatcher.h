#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into the signal terminationRequested on the event loop, by way
// of a socket pair written from the handler (the only safe thing a handler can do).
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    static void handler(int signalNumber);
    void onReadable();

    static int s_fds[2];
    QSocketNotifier* m_notifier = nullptr;
};
