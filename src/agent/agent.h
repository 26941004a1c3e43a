#pragma once

#include "agent/agentoptions.h"
#include "agent/agentsettings.h"
#include "agent/eventlog.h"
#include "agent/linkstate.h"
#include "gateway/serversocket.h"
#include "link/tcommpack.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class ClientRequestHandler;
class ExtensionNumbers;
class MainTick;
class PacketDispatcher;
class PacketSender;
class ResponseCache;
class TData;
class TMail602;
class TrapForwarder;
class IniFile;

// The engine: owns every service of the run, brings them up in a fixed order and
// takes them down in a fixed order. It runs with or without a window; the window
// only shows its log and status and forwards commands.
class Agent : public QObject
{
    Q_OBJECT
public:
    explicit Agent(AgentOptions options, QObject* parent = nullptr);
    ~Agent() override;

    // Shows a warning to the user and returns when the user has seen it.
    void setWarningSink(std::function<void(const QString& title, const QString& text)> sink)
    {
        m_warn = std::move(sink);
    }

    void FormCreate();  // start-up
    void FormDestroy(); // shutdown; runs once

    // The hidden "Zastavit" command: stops the main tick for the rest of the run.
    void Zastavit1Click();

    EventLog& log() { return m_log; }
    LinkControl& link() { return m_link; }
    TCommPack& commPack() { return CommPack1; }
    PacketSender* sender() { return m_sender.get(); }
    QTimer& timer(int n);

private:
    void readSettings(const IniFile& ini);
    void createMailWrapper(const IniFile& ini);
    void openSerialPort();
    void applyTimerPeriods();
    void enablePolling();
    // Reads everything queued, not just the count the event reported, and dispatches
    // every good frame.
    void CommPack1RxChar();
    void onDeviceLost(const QString& reason);

    AgentOptions m_options;
    AgentSettings m_settings;
    EventLog m_log;
    LinkControl m_link;
    std::function<void(const QString&, const QString&)> m_warn;

    QTimer Timer1; // posts ReadMailboxes
    QTimer Timer2; // posts QueryTrap
    QTimer Timer3; // the main tick
    QTimer Timer4; // posts QueryLineStatus
    TCommPack CommPack1;
    ServerSocket ServerSocket1;

    std::unique_ptr<PacketSender> m_sender;
    std::unique_ptr<TData> m_data;
    std::unique_ptr<ExtensionNumbers> m_numbers;
    std::unique_ptr<ResponseCache> m_cache;
    std::unique_ptr<ClientRequestHandler> m_clients;
    std::unique_ptr<PacketDispatcher> m_dispatcher;
    std::unique_ptr<TMail602> m_mail;
    std::unique_ptr<TrapForwarder> m_traps;
    std::unique_ptr<MainTick> m_tick;
    bool m_created = false;
    bool m_destroyed = false;
};
