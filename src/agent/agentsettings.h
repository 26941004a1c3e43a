#pragma once

#include "agent/logswitches.h"

#include <QString>

class IniFile;

// Sections [Set], [Log] and [Timer] as start-up reads them. The member initialisers
// are the one place that holds their defaults.
struct AgentSettings
{
    QString PortText = QStringLiteral("COM2:9600,N,8,1");
    LogSwitches log;
    int Interval = 100;
    int MSGInterval = 11000;
    int TrapInterval = 5000;
    int ANInterval = 250;
    int MaxTick = 9;
    int MaxError = 6;
    int MaxErrorTick = 600;
    int MaxCache = 110;
    bool Stackable = false;
};

// Reads every key in the order start-up reads them: Set/Port, the seven Log
// switches, the seven Timer keys, Set/MaxCache, Set/Stackable.
AgentSettings readAgentSettings(const IniFile& ini);

// Writes the six Log switches that the log settings dialog changes (not Extent).
void writeLogSwitches(IniFile& ini, const LogSwitches& log);
