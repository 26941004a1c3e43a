#pragma once

// The seven switches of section [Log]. WriteLog writes whatever it is given;
// callers test these to decide which kinds of traffic reach the log.
struct LogSwitches
{
    bool Com_In = true;
    bool Com_PureIn = true;
    bool Com_Out = false;
    bool Com_LocOut = false;
    bool TcpIp_In = true;   // key "TCP/IP_In"
    bool TcpIp_Out = false; // key "TCP/IP_Out"
    bool Extent = false;
};
