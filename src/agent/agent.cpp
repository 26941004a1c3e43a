#include "agent/agent.h"

#include "agent/errorreporter.h"
#include "agent/extensionnumbers.h"
#include "agent/inifile.h"
#include "agent/maintick.h"
#include "data/tdata.h"
#include "link/packetdispatcher.h"
#include "link/packetsender.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
// Interval 0 (or less) means the timer never runs; QTimer would fire continuously.
void enableTimer(QTimer& timer)
{
    if (timer.interval() > 0 && !timer.isActive())
        timer.start();
}
} // namespace

Agent::Agent(AgentOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), CommPack1(this)
{
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer3.setObjectName(QStringLiteral("Timer3"));
    Timer4.setObjectName(QStringLiteral("Timer4"));
    CommPack1.setObjectName(QStringLiteral("CommPack1"));
    CommPack1.setDeviceName(QStringLiteral("Com2"));

    // The first tick with the port open asks for the extension numbers.
    m_link.actions.PostAction(LoadNumbers);

    connect(&Timer1, &QTimer::timeout, this, [this] { m_link.actions.PostAction(ReadMailboxes); });
    connect(&Timer2, &QTimer::timeout, this, [this] { m_link.actions.PostAction(QueryTrap); });
    connect(&Timer4, &QTimer::timeout, this, [this] { m_link.actions.PostAction(QueryLineStatus); });
    connect(&Timer3, &QTimer::timeout, this, [this] {
        ErrorReporter::runGuarded([this] {
            if (m_tick)
                m_tick->Timer3Timer();
        });
    });
    connect(&CommPack1, &TComm::RxChar, this, [this](int count) { CommPack1RxChar(count); });
    connect(&CommPack1, &TComm::deviceLost, this, &Agent::onDeviceLost);
}

Agent::~Agent()
{
    FormDestroy();
}

QTimer& Agent::timer(int n)
{
    switch (n) {
    case 1:
        return Timer1;
    case 2:
        return Timer2;
    case 4:
        return Timer4;
    default:
        return Timer3;
    }
}

void Agent::FormCreate()
{
    if (m_created)
        return;
    m_created = true;

    m_log.WriteLog(QStringLiteral("----"), QStringLiteral("Start Sarvik Agent ----"));

    // Listening socket: opened here, before the INI file is read (gateway).

    readSettings();
    openSerialPort();

    m_sender = std::make_unique<PacketSender>(m_log, CommPack1);
    m_data = std::make_unique<TData>();
    m_numbers = std::make_unique<ExtensionNumbers>(m_log, m_link, *m_sender, *m_data,
                                                   [this] { enablePolling(); });
    m_dispatcher = std::make_unique<PacketDispatcher>(m_log, m_link, *m_sender);
    m_dispatcher->setRoute(pkNumbersQuery,
                           [this](const PendingRequest&, QByteArray& payload, const QString&) {
                               m_numbers->OnNumbersReply(payload);
                           });

    // Response cache: created here with MaxCache slots (gateway).
    // Mail wrapper: loaded, configured and initialised here (mail bridge).

    MailHooks mail;
    m_tick = std::make_unique<MainTick>(m_log, m_link, *m_sender, *m_data, *m_numbers,
                                        [this] { return CommPack1.IsOpen(); }, std::move(mail));

    // Mail library state line (mail bridge).

    enableTimer(Timer3);
}

void Agent::readSettings()
{
    m_iniPath = m_options.configPath.isEmpty()
                    ? IniFile::pathBesideProgram(QCoreApplication::applicationFilePath())
                    : m_options.configPath;
    IniFile ini(m_iniPath);
    if (!ini.exists() && m_warn)
        m_warn(QStringLiteral("Upozornění"),
               QStringLiteral("Neexistuje soubor Agent.ini\nProjděte položky v menu Nastavení"));
    m_settings = readAgentSettings(ini);
    m_log.switches() = m_settings.log;
    applyTimerPeriods();
    m_link.MaxTick = m_settings.MaxTick;
    m_link.MaxError = m_settings.MaxError;
    m_link.MaxErrorTick = m_settings.MaxErrorTick;
}

void Agent::applyTimerPeriods()
{
    Timer3.setInterval(std::max(0, m_settings.Interval));
    Timer1.setInterval(std::max(0, m_settings.MSGInterval));
    Timer2.setInterval(std::max(0, m_settings.TrapInterval));
    Timer4.setInterval(std::max(0, m_settings.ANInterval));
}

void Agent::openSerialPort()
{
    try {
        CommPack1.Set(m_settings.PortText);
        CommPack1.Open();
        m_log.WriteLog(QStringLiteral("-OK-"),
                       QStringLiteral("Otevření sériového portu ") + m_settings.PortText);
    } catch (const ECommError&) {
        m_log.WriteLog(QStringLiteral("!Err"),
                       QStringLiteral("Chyba otevření sériového portu ") + m_settings.PortText);
    }
}

void Agent::enablePolling()
{
    // Mailbox polling (Timer1) starts only when the mail library is ready (mail bridge).
    enableTimer(Timer2);
    enableTimer(Timer4);
}

void Agent::CommPack1RxChar(int)
{
    if (!m_dispatcher)
        return;
    QList<Frame> frames;
    ErrorReporter::runGuarded([&] { frames = CommPack1.ReadPackets(); });
    // Each frame is dispatched on its own, so an error in one route never costs the
    // frames after it.
    for (Frame& frame : frames)
        ErrorReporter::runGuarded(
            [&] { m_dispatcher->DispatchPacket(frame.seq, std::move(frame.payload)); });
}

void Agent::onDeviceLost(const QString& reason)
{
    m_log.WriteLog(QStringLiteral("!Err"),
                   QStringLiteral("Ztráta sériového portu ") + m_settings.PortText + QStringLiteral(": ") + reason);
}

void Agent::Zastavit1Click()
{
    Timer3.stop();
}

void Agent::FormDestroy()
{
    if (!m_created || m_destroyed)
        return;
    m_destroyed = true;

    // Reset the mailbox indications on the exchange; no reply is awaited.
    ErrorReporter::runGuarded([this] {
        if (m_data && m_sender) {
            m_data->ClearMailboxCounts();
            m_sender->SendPacket(QStringLiteral(">COM"), QStringLiteral("Nulování obsahu schránek"),
                                 m_data->BuildMessagesWrite());
        }
    });
    // Tray icon: removed by the window.
    Timer1.stop();
    Timer2.stop();
    Timer3.stop();
    Timer4.stop();
    m_tick.reset();
    m_dispatcher.reset();
    m_numbers.reset();
    if (m_sender)
        m_sender->table().clear();
    CommPack1.Close();
    // Log list: emptied by the window.
    // Listening socket: closed here, with every client (gateway).
    // Mail wrapper: shut down and unloaded here (mail bridge).
    m_sender.reset();
    m_data.reset();
    // Response cache: released here (gateway).
}
