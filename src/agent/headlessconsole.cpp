#include "agent/headlessconsole.h"

#include "agent/errorreporter.h"
#include "agent/eventlog.h"

#include <cstdio>

HeadlessConsole::HeadlessConsole(EventLog& log, QObject* parent) : QObject(parent)
{
    connect(&log, &EventLog::lineWritten, this, [](const QString& line) {
        const QByteArray bytes = line.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    // An error that ended a handler: a "!Err" line in the log, and the message on
    // standard error for whoever watches the service.
    ErrorReporter::setSink([&log](const QString& message) {
        log.WriteLog(QStringLiteral("!Err"), message);
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
        std::fflush(stderr);
    });
}

void HeadlessConsole::warn(const QString& title, const QString& text)
{
    std::fprintf(stderr, "%s: %s\n", title.toUtf8().constData(),
                 QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8().constData());
    std::fflush(stderr);
}
