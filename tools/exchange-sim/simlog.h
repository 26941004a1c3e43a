#pragma once

#include <QString>

// Writes one line to standard output at once (a pipe sees every line as it happens).
void printLine(const QString& line);
// The same, prefixed with the time of day "hh:mm:ss.zzz ".
void logLine(const QString& line);
