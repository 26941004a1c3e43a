#pragma once

#include "exchangemodel.h"
#include "link/framecodec.h"
#include "scenario.h"

#include <QObject>
#include <QTimer>

class SerialEndpoint;

// Plays the exchange on the serial line: frames in, ExchangeModel answers, frames out, with
// the faults a test or a demo asks for (silence, delay, a corrupted frame, error codes)
// and the TRAP records the scenario raises on a timer. Every event is logged on stdout.
class Simulator : public QObject
{
    Q_OBJECT
public:
    Simulator(const Scenario& scenario, SerialEndpoint* port, QObject* parent = nullptr);

    void setSilent(bool silent);
    void setDelay(int milliseconds);
    void corruptNextReply();
    ExchangeModel& model() { return m_model; }

    // One command line as typed on stdin: silent, delay, corrupt, error, trap, status,
    // help, quit. Answers with log lines.
    void execute(const QString& line);

    // One line per command, for help and --help.
    static QStringList commandHelp();

signals:
    void quitRequested();

private:
    void onBytesReceived(const QByteArray& bytes);
    void onFrame(const Frame& frame);
    void sendReply(uint8_t seq, const QByteArray& reply);
    void raisePeriodicTrap();

    ExchangeModel m_model;
    SerialEndpoint* m_port;
    FrameReceiver m_receiver;
    bool m_silent = false;
    int m_delayMs = 0;
    bool m_corruptNext = false;

    Scenario m_scenario; // periodic TRAP settings
    QTimer m_periodicTimer;
    int m_periodicCount = 0;
};
