#include "simlog.h"

#include <QTime>
#include <cstdio>

void printLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void logLine(const QString& line)
{
    printLine(QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz ")) + line);
}
