#include "agent/agentoptions.h"

#include <QCommandLineParser>

namespace {
struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption headless{
        QStringLiteral("headless"),
        QStringLiteral("Run without a window; log lines go to standard output.")};
    QCommandLineOption config{
        QStringLiteral("config"),
        QStringLiteral("Use FILE instead of the INI file beside the program."),
        QStringLiteral("FILE")};
    QCommandLineOption listenPort{
        QStringLiteral("listen-port"),
        QStringLiteral("Listen for TCP clients on port N instead of 1234."), QStringLiteral("N")};
    QCommandLineOption mailLibrary{QStringLiteral("mail-library"),
                                   QStringLiteral("Load FILE as the mail gateway library."),
                                   QStringLiteral("FILE")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{QStringLiteral("version"),
                               QStringLiteral("Show the version and exit.")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Sarvik Agent: gateway between TCP clients and a telephone exchange "
                           "on a serial line."));
        parser.addOptions({headless, config, listenPort, mailLibrary, help, version});
    }
};
} // namespace

AgentOptions AgentOptions::parse(const QStringList& arguments)
{
    Parser p;
    AgentOptions o;
    if (!p.parser.parse(arguments)) {
        o.error = p.parser.errorText();
        return o;
    }
    if (!p.parser.positionalArguments().isEmpty()) {
        o.error = QStringLiteral("Unexpected argument: ") + p.parser.positionalArguments().first();
        return o;
    }
    o.headless = p.parser.isSet(p.headless);
    o.configPath = p.parser.value(p.config);
    o.mailLibrary = p.parser.value(p.mailLibrary);
    o.showHelp = p.parser.isSet(p.help);
    o.showVersion = p.parser.isSet(p.version);
    if (p.parser.isSet(p.listenPort)) {
        bool ok = false;
        const uint port = p.parser.value(p.listenPort).toUInt(&ok);
        if (!ok || port > 65535)
            o.error = QStringLiteral("Invalid port number: ") + p.parser.value(p.listenPort);
        else
            o.listenPort = uint16_t(port);
    }
    return o;
}

QString AgentOptions::helpText()
{
    Parser p;
    return p.parser.helpText();
}
