#include "simulator.h"

#include "serialendpoint.h"
#include "simlog.h"
#include "wirefault.h"

#include <chrono>

namespace {

// A queue that nobody clears (no agent attached) stops growing here.
constexpr int MaxQueuedPerSlot = 8;

const char* const CommandHelp[] = {
    "silent on|off             read requests but never answer / answer again",
    "delay MS                  answer every request MS milliseconds late (0: at once)",
    "corrupt                   flip a CRC bit of the next reply frame",
    "error OBJ CODE            answer object OBJ with result code CODE (0 clears)",
    "trap INDEX CODE R|S|B     queue a TRAP record (recipient|subject|body) at INDEX 0..3",
    "status                    print the simulator's state",
    "quit                      end the simulator",
};

QString describeReply(const QByteArray& reply)
{
    const uint8_t result = reply.isEmpty() ? 0 : uint8_t(reply.at(0));
    const QString outcome =
        result == 0 ? QStringLiteral("ok") : QStringLiteral("error %1").arg(result);
    return QStringLiteral("%1 %2 bytes").arg(outcome).arg(reply.size());
}

} // namespace

Simulator::Simulator(const Scenario& scenario, SerialEndpoint* port, QObject* parent)
    : QObject(parent), m_model(scenario), m_port(port), m_scenario(scenario)
{
    connect(m_port, &SerialEndpoint::bytesReceived, this, &Simulator::onBytesReceived);
    connect(&m_periodicTimer, &QTimer::timeout, this, &Simulator::raisePeriodicTrap);
    if (scenario.periodicSeconds > 0)
        m_periodicTimer.start(std::chrono::seconds(scenario.periodicSeconds));
}

void Simulator::setSilent(bool silent)
{
    m_silent = silent;
    logLine(silent ? QStringLiteral("silent on: requests are not answered")
                   : QStringLiteral("silent off: requests are answered"));
}

void Simulator::setDelay(int milliseconds)
{
    m_delayMs = qMax(0, milliseconds);
    logLine(QStringLiteral("delay %1 ms").arg(m_delayMs));
}

void Simulator::corruptNextReply()
{
    m_corruptNext = true;
    logLine(QStringLiteral("the next reply frame gets a wrong CRC"));
}

void Simulator::onBytesReceived(const QByteArray& bytes)
{
    for (const Frame& frame : m_receiver.feed(bytes))
        onFrame(frame);
}

void Simulator::onFrame(const Frame& frame)
{
    const QString request = QStringLiteral("<- seq %1 %2")
                                .arg(frame.seq)
                                .arg(ExchangeModel::describeRequest(frame.payload));
    if (m_silent) {
        logLine(request + QStringLiteral(" (silent: no answer)"));
        return;
    }
    logLine(request);
    const ExchangeModel::Answer answer = m_model.handle(frame.payload);
    for (const QString& note : answer.notes)
        logLine(note);
    if (m_delayMs == 0) {
        sendReply(frame.seq, answer.reply);
        return;
    }
    const uint8_t seq = frame.seq;
    const QByteArray reply = answer.reply;
    QTimer::singleShot(m_delayMs, this, [this, seq, reply] { sendReply(seq, reply); });
}

void Simulator::sendReply(uint8_t seq, const QByteArray& reply)
{
    QByteArray wire = encodeFrame(seq, reply);
    QString text = QStringLiteral("-> seq %1 %2").arg(seq).arg(describeReply(reply));
    if (m_corruptNext) {
        m_corruptNext = false;
        wire = corruptCrc(wire);
        text += QStringLiteral(" (CRC corrupted)");
    }
    logLine(text);
    m_port->write(wire);
}

void Simulator::raisePeriodicTrap()
{
    TrapEntry trap;
    trap.index = m_scenario.periodicIndex >= 0 ? m_scenario.periodicIndex : m_model.leastBusySlot();
    if (m_model.queuedTraps(trap.index) >= MaxQueuedPerSlot) {
        logLine(QStringLiteral("TRAP not raised: slot %1 already holds %2 records")
                    .arg(trap.index)
                    .arg(MaxQueuedPerSlot));
        return;
    }
    ++m_periodicCount;
    trap.code = m_scenario.periodicCode;
    trap.recipient = m_scenario.periodicRecipient;
    trap.subject = m_scenario.periodicSubject;
    const QStringList& bodies = m_scenario.periodicBodies;
    trap.body = bodies.isEmpty() ? QString() : bodies.at((m_periodicCount - 1) % bodies.size());
    trap.body += QStringLiteral(" (%1)").arg(m_periodicCount);
    m_model.queueTrap(trap);
    logLine(QStringLiteral("TRAP raised at %1: %2|%3|%4")
                .arg(trap.index)
                .arg(trap.recipient, trap.subject, trap.body));
}

QStringList Simulator::commandHelp()
{
    QStringList lines;
    for (const char* help : CommandHelp)
        lines.append(QString::fromLatin1(help));
    return lines;
}

void Simulator::execute(const QString& line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return;
    const QString command = words.first().toLower();
    const auto number = [&words](int i, int low, int high) -> std::optional<int> {
        bool ok = false;
        const int value = i < words.size() ? words.at(i).toInt(&ok) : 0;
        return ok && value >= low && value <= high ? std::optional<int>(value) : std::nullopt;
    };

    if (command == QLatin1String("silent") && words.size() == 2 &&
        (words.at(1) == QLatin1String("on") || words.at(1) == QLatin1String("off"))) {
        setSilent(words.at(1) == QLatin1String("on"));
    } else if (command == QLatin1String("delay") && words.size() == 2 && number(1, 0, 600000)) {
        setDelay(*number(1, 0, 600000));
    } else if (command == QLatin1String("corrupt") && words.size() == 1) {
        corruptNextReply();
    } else if (command == QLatin1String("error") && words.size() == 3 && number(1, 0, 255) &&
               number(2, 0, 255)) {
        const int object = *number(1, 0, 255);
        const int code = *number(2, 0, 255);
        m_model.setError(uint8_t(object), uint8_t(code));
        logLine(code == 0
                    ? QStringLiteral("object %1 answers normally").arg(object)
                    : QStringLiteral("object %1 answers with error %2").arg(object).arg(code));
    } else if (command == QLatin1String("trap")) {
        QString error;
        const auto trap = parseTrapEntry(line.trimmed().mid(4), &error);
        if (!trap) {
            logLine(QStringLiteral("? trap: %1").arg(error));
            return;
        }
        m_model.queueTrap(*trap);
        logLine(QStringLiteral("TRAP queued at %1 (%2 queued)")
                    .arg(trap->index)
                    .arg(m_model.queuedTraps(trap->index)));
    } else if (command == QLatin1String("status") && words.size() == 1) {
        logLine(QStringLiteral("silent %1, delay %2 ms, corrupt next %3")
                    .arg(m_silent ? QStringLiteral("on") : QStringLiteral("off"))
                    .arg(m_delayMs)
                    .arg(m_corruptNext ? QStringLiteral("yes") : QStringLiteral("no")));
        for (const QString& status : m_model.statusLines())
            logLine(status);
    } else if (command == QLatin1String("help")) {
        for (const QString& help : commandHelp())
            logLine(help);
    } else if (command == QLatin1String("quit") && words.size() == 1) {
        logLine(QStringLiteral("quit"));
        emit quitRequested();
    } else {
        logLine(QStringLiteral("? not understood: \"%1\" (help lists the commands)").arg(line));
    }
}
