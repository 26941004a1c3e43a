#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// Reads lines from a file descriptor (standard input) without blocking. At end of input
// it stops watching quietly: the simulator runs on without commands.
class LineReader : public QObject
{
    Q_OBJECT
public:
    explicit LineReader(int fd, QObject* parent = nullptr);

signals:
    void lineRead(const QString& line);

private:
    void onReadable();

    int m_fd;
    QByteArray m_pending;
    QSocketNotifier* m_notifier = nullptr;
};
