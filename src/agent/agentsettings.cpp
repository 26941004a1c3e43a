#include "agent/agentsettings.h"

#include "agent/inifile.h"

#include <QStringDecoder>

namespace {

// Texts in the file are Windows-1250 bytes.
QString fromCp1250(const QByteArray& bytes)
{
    QStringDecoder decode("windows-1250");
    return decode(bytes);
}

} // namespace

AgentSettings readAgentSettings(const IniFile& ini)
{
    AgentSettings s;
    // The default goes through the file's code page like any other text.
    s.PortText = fromCp1250(ini.ReadString("Set", "Port", s.PortText.toLatin1()));

    LogSwitches& log = s.log;
    log.Com_In = ini.ReadBool("Log", "Com_In", log.Com_In);
    log.Com_PureIn = ini.ReadBool("Log", "Com_PureIn", log.Com_PureIn);
    log.Com_Out = ini.ReadBool("Log", "Com_Out", log.Com_Out);
    log.Com_LocOut = ini.ReadBool("Log", "Com_LocOut", log.Com_LocOut);
    log.TcpIp_In = ini.ReadBool("Log", "TCP/IP_In", log.TcpIp_In);
    log.TcpIp_Out = ini.ReadBool("Log", "TCP/IP_Out", log.TcpIp_Out);
    log.Extent = ini.ReadBool("Log", "Extent", log.Extent);

    s.Interval = ini.ReadInteger("Timer", "Interval", s.Interval);
    s.MSGInterval = ini.ReadInteger("Timer", "MSGInterval", s.MSGInterval);
    s.TrapInterval = ini.ReadInteger("Timer", "TrapInterval", s.TrapInterval);
    s.ANInterval = ini.ReadInteger("Timer", "ANInterval", s.ANInterval);
    s.MaxTick = ini.ReadInteger("Timer", "MaxTick", s.MaxTick);
    s.MaxError = ini.ReadInteger("Timer", "MaxError", s.MaxError);
    s.MaxErrorTick = ini.ReadInteger("Timer", "MaxErrorTick", s.MaxErrorTick);

    s.MaxCache = ini.ReadInteger("Set", "MaxCache", s.MaxCache);
    s.Stackable = ini.ReadBool("Set", "Stackable", s.Stackable);
    return s;
}

void writeLogSwitches(IniFile& ini, const LogSwitches& log)
{
    // Each write is its own; the first that fails throws and the rest are not written.
    ini.WriteBool("Log", "Com_In", log.Com_In);
    ini.WriteBool("Log", "Com_PureIn", log.Com_PureIn);
    ini.WriteBool("Log", "Com_Out", log.Com_Out);
    ini.WriteBool("Log", "Com_LocOut", log.Com_LocOut);
    ini.WriteBool("Log", "TCP/IP_In", log.TcpIp_In);
    ini.WriteBool("Log", "TCP/IP_Out", log.TcpIp_Out);
}
