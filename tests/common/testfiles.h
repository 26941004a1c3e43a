#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The data folder of the running test (set by CTest for every test).
inline QString testDataDir()
{
    return qEnvironmentVariable("SARVIK_TEST_DATA");
}

// A file's bytes; a marker no expected content equals when it cannot be read.
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}
