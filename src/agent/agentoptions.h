#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// The command line: sarvik-agent [--headless] [--config FILE] [--listen-port N]
// [--mail-library FILE] [--help] [--version]
struct AgentOptions
{
    bool headless = false;
    QString configPath; // empty: the INI file beside the program
    uint16_t listenPort = 1234;
    QString mailLibrary; // empty: search for the mail library by its bare name
    bool showHelp = false;
    bool showVersion = false;
    QString error; // a command line that could not be parsed

    static AgentOptions parse(const QStringList& arguments);
    static QString helpText();
};
