#pragma once

#include <QProcess>
#include <QStringList>
#include <QTest>

// A program of the build (the agent, the exchange simulator) run as its own process,
// with its standard output collected line by line.
class ToolProcess
{
public:
    explicit ToolProcess(const QString& name)
        : m_program(qEnvironmentVariable("SARVIK_BIN_DIR") + QLatin1Char('/') + name)
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] {
            m_pending += process.readAllStandardOutput();
            qsizetype nl;
            while ((nl = m_pending.indexOf('\n')) >= 0) {
                lines << QString::fromUtf8(m_pending.left(nl));
                m_pending.remove(0, nl + 1);
            }
        });
    }
    ~ToolProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    void start(const QStringList& arguments)
    {
        process.start(m_program, arguments);
        QVERIFY2(process.waitForStarted(10000), qPrintable(m_program));
    }

    // Lines (from the start) that contain text.
    QStringList matching(const QString& text) const { return lines.filter(text); }
    bool has(const QString& text) const { return !matching(text).isEmpty(); }

    void write(const QByteArray& line) { process.write(line + '\n'); }

    // Stops the process with SIGTERM; returns its exit code, or -1 if it crashed or hung.
    int terminate()
    {
        process.terminate();
        if (!process.waitForFinished(15000))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QProcess process;
    QStringList lines;

private:
    QString m_program;
    QByteArray m_pending;
};
