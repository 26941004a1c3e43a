#include "agent/eventlog.h"

EventLog::EventLog(QObject* parent) : QObject(parent), m_clock([] { return QTime::currentTime(); })
{
}

static QString formatLine(const QTime& time, const QString& tag, const QString& text)
{
    return time.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + tag +
           QLatin1Char(' ') + text;
}

static QString formatStatus(const QString& tag, const QString& text)
{
    return tag + QStringLiteral("     ") + text;
}

void EventLog::WriteLog(const QString& tag, const QString& text)
{
    ShowStatus(tag, text);
    Q_EMIT lineWritten(formatLine(m_clock(), tag, text));
}

void EventLog::ShowStatus(const QString& tag, const QString& text)
{
    showPlainStatus(formatStatus(tag, text));
}

void EventLog::showPlainStatus(const QString& text)
{
    m_status = text;
    Q_EMIT statusChanged(text);
}
