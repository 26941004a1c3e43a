#pragma once

#include <QObject>

class EventLog;

// Headless front end: every log line goes to standard output as it is written
// (UTF-8, flushed per line so that a pipe sees it at once); warnings and errors go
// to standard error.
class HeadlessConsole : public QObject
{
    Q_OBJECT
public:
    explicit HeadlessConsole(EventLog& log, QObject* parent = nullptr);

    static void warn(const QString& title, const QString& text);
};
