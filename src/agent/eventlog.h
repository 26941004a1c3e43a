#pragma once

#include "agent/logswitches.h"

#include <QObject>
#include <QString>
#include <QTime>
#include <functional>

// The agent's event log and status line as the engine sees them. The window (or the
// headless console) subscribes to the signals; the engine only writes.
class EventLog : public QObject
{
    Q_OBJECT
public:
    explicit EventLog(QObject* parent = nullptr);

    // Status line: tag, five spaces, text. Log line: time, two spaces, tag, one space, text.
    void WriteLog(const QString& tag, const QString& text);
    void ShowStatus(const QString& tag, const QString& text);
    // A status text of its own, without a tag (socket notifications and the like).
    void showPlainStatus(const QString& text);

    LogSwitches& switches() { return m_switches; }
    const LogSwitches& switches() const { return m_switches; }

    QString status() const { return m_status; }

    // Time of day for log lines; tests replace it to get fixed lines.
    void setClock(std::function<QTime()> clock) { m_clock = std::move(clock); }

Q_SIGNALS:
    void lineWritten(const QString& line);
    void statusChanged(const QString& status);

private:
    LogSwitches m_switches;
    QString m_status;
    std::function<QTime()> m_clock;
};
