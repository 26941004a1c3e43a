// exchange-sim: a simulated telephone exchange at the far end of the agent's serial line.

#include "agent/signalwatcher.h"
#include "linereader.h"
#include "scenario.h"
#include "serialendpoint.h"
#include "simlog.h"
#include "simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

namespace {

const char* const Description =
    "Plays the telephone exchange on a serial line for the agent: it opens a\n"
    "pseudo-terminal pair (or --device), prints \"PORT <path of the end to open>\" as\n"
    "its first line, then answers framed requests and logs each one on stdout.\n"
    "\n"
    "Objects: 14 extension numbers (3 digit codes each), 22 line status (one byte\n"
    "per extension), 1 TRAP records at indices 0..3 (a write of zeros clears one),\n"
    "17 message counters (4 per extension, printed when written); any other\n"
    "object is kept in memory.\n"
    "\n"
    "Scenario file (UTF-8; '#' or ';' starts a comment line):\n"
    "  [extensions]\n"
    "  numbers = 201 202 203 310     up to 3 characters of 0-9 * # F P S A B C D\n"
    "  status = 0 1 0 0              line status byte per extension\n"
    "  [errors]\n"
    "  14 = 7                        object 14 answers with result code 7\n"
    "  [traps]\n"
    "  trap = 0 L 201|Subject|Body   a TRAP record at index 0 (repeat for more)\n"
    "  [periodic]\n"
    "  interval = 20                 raise a TRAP record every 20 s (0: never)\n"
    "  index = 1                     its slot (default: the least busy one)\n"
    "  code = L\n"
    "  recipient = 201\n"
    "  subject = Subject\n"
    "  body = Text                   repeat the key: the texts are used in turn\n"
    "\n"
    "Commands on standard input, one per line:\n";

bool applyErrorOption(Simulator& simulator, const QString& value)
{
    const QStringList parts = value.split(QLatin1Char('='));
    bool objectOk = false;
    bool codeOk = false;
    const int object = parts.value(0).toInt(&objectOk);
    const int code = parts.value(1).toInt(&codeOk);
    if (parts.size() != 2 || !objectOk || !codeOk || object < 0 || object > 255 || code < 0 ||
        code > 255)
        return false;
    simulator.model().setError(uint8_t(object), uint8_t(code));
    return true;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "exchange-sim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("exchange-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description) + QStringLiteral("  ") +
                                     Simulator::commandHelp().join(QStringLiteral("\n  ")));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("scenario"),
                                 QStringLiteral("Scenario file (default: no extensions)."),
                                 QStringLiteral("[scenario]"));
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("Open this device instead of a new pair."),
                                          QStringLiteral("path"));
    const QCommandLineOption linkOption(QStringLiteral("link"),
                                        QStringLiteral("Also make a symbolic link to the port."),
                                        QStringLiteral("path"));
    const QCommandLineOption silentOption(QStringLiteral("silent"),
                                          QStringLiteral("Start silent (as 'silent on')."));
    const QCommandLineOption delayOption(QStringLiteral("delay"),
                                         QStringLiteral("Answer late (as 'delay MS')."),
                                         QStringLiteral("ms"));
    const QCommandLineOption errorOption(QStringLiteral("error"),
                                         QStringLiteral("Answer object OBJ with CODE; repeatable."),
                                         QStringLiteral("obj=code"));
    const QCommandLineOption intervalOption(
        QStringLiteral("trap-interval"),
        QStringLiteral("Seconds between periodic TRAP records, overriding the scenario."),
        QStringLiteral("seconds"));
    parser.addOptions(
        {deviceOption, linkOption, silentOption, delayOption, errorOption, intervalOption});
    parser.process(app);

    Scenario scenario;
    if (!parser.positionalArguments().isEmpty()) {
        QString error;
        const auto loaded = Scenario::load(parser.positionalArguments().first(), &error);
        if (!loaded)
            return fail(error);
        scenario = *loaded;
    }
    if (parser.isSet(intervalOption)) {
        bool ok = false;
        scenario.periodicSeconds = parser.value(intervalOption).toInt(&ok);
        if (!ok || scenario.periodicSeconds < 0)
            return fail(QStringLiteral("bad --trap-interval"));
    }

    SerialEndpoint port;
    QString error;
    const bool opened = parser.isSet(deviceOption)
                            ? port.openDevice(parser.value(deviceOption), &error)
                            : port.openPseudoTerminal(&error);
    if (!opened)
        return fail(error);
    if (parser.isSet(linkOption) && !port.createLink(parser.value(linkOption), &error))
        return fail(error);

    Simulator simulator(scenario, &port);
    for (const QString& value : parser.values(errorOption)) {
        if (!applyErrorOption(simulator, value))
            return fail(QStringLiteral("bad --error %1 (expected OBJ=CODE)").arg(value));
    }
    if (parser.isSet(delayOption)) {
        bool ok = false;
        const int delay = parser.value(delayOption).toInt(&ok);
        if (!ok || delay < 0)
            return fail(QStringLiteral("bad --delay"));
        simulator.setDelay(delay);
    }

    // The first line is for machines: the path the agent opens.
    printLine(QStringLiteral("PORT ") + port.peerPath());
    if (parser.isSet(silentOption))
        simulator.setSilent(true);
    logLine(QStringLiteral("exchange ready: %1 extensions, TRAP every %2 s")
                .arg(scenario.numbers.size())
                .arg(scenario.periodicSeconds));

    LineReader commands(STDIN_FILENO);
    QObject::connect(&commands, &LineReader::lineRead, &simulator, &Simulator::execute);
    QObject::connect(&simulator, &Simulator::quitRequested, &app, &QCoreApplication::quit);
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &app, [](int number) {
        logLine(QStringLiteral("stopped by signal %1").arg(number));
        QCoreApplication::quit();
    });
    return app.exec();
}
