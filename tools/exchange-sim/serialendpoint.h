#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// The simulator's end of the serial line: the master of a fresh pseudo-terminal pair (the
// agent opens the slave) or a given device. Non-blocking; bytes arrive by the signal
// bytesReceived, writes that the line cannot take at once wait for the write notifier.
class SerialEndpoint : public QObject
{
    Q_OBJECT
public:
    explicit SerialEndpoint(QObject* parent = nullptr);
    ~SerialEndpoint() override;

    // Creates the pair; the slave's path is then peerPath(). False with *error set on failure.
    bool openPseudoTerminal(QString* error);
    // Opens an existing device (a real port or one end of a pair) in raw mode at 9600 8N1.
    bool openDevice(const QString& path, QString* error);
    // A symbolic link at linkPath that points to peerPath(); removed again on destruction.
    bool createLink(const QString& linkPath, QString* error);

    QString peerPath() const { return m_peerPath; }
    void write(const QByteArray& bytes);

signals:
    void bytesReceived(const QByteArray& bytes);

private:
    bool setUp(int fd, QString* error);
    void onReadable();
    void onWritable();
    void flushOutput();

    int m_fd = -1;
    // The pair's slave stays open here too: without it the master reports a hang-up
    // whenever the agent has closed the port.
    int m_slaveFd = -1;
    QString m_peerPath;
    QString m_linkPath;
    QByteArray m_output;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
};
