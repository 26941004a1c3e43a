#include "agent/agent.h"

#include "agent/errorreporter.h"
#include "agent/extensionnumbers.h"
#include "agent/inifile.h"
#include "agent/maintick.h"
#include "data/tdata.h"
#include "gateway/clientrequesthandler.h"
#include "gateway/responsecache.h"
#include "link/packetdispatcher.h"
#include "link/packetsender.h"
#include "mail/mail602.h"
#include "mail/mailboxwritereply.h"
#include "mail/trapforwarding.h"

#include <QCoreApplication>

namespace {
// Interval 0 (or less) means the timer never runs; QTimer would fire continuously.
void enableTimer(QTimer& timer)
{
    if (timer.interval() > 0 && !timer.isActive())
        timer.start();
}
} // namespace

Agent::Agent(AgentOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), CommPack1(this), ServerSocket1(m_log, this)
{
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer3.setObjectName(QStringLiteral("Timer3"));
    Timer4.setObjectName(QStringLiteral("Timer4"));
    CommPack1.setObjectName(QStringLiteral("CommPack1"));
    ServerSocket1.setObjectName(QStringLiteral("ServerSocket1"));
    CommPack1.setDeviceName(QStringLiteral("Com2"));

    // The first tick with the port open asks for the extension numbers.
    m_link.actions.PostAction(LoadNumbers);

    connect(&Timer1, &QTimer::timeout, this, [this] { m_link.actions.PostAction(ReadMailboxes); });
    connect(&Timer2, &QTimer::timeout, this, [this] { m_link.actions.PostAction(QueryTrap); });
    connect(&Timer4, &QTimer::timeout, this,
            [this] { m_link.actions.PostAction(QueryLineStatus); });
    connect(&Timer3, &QTimer::timeout, this, [this] {
        ErrorReporter::runGuarded([this] {
            if (m_tick)
                m_tick->Timer3Timer();
        });
    });
    connect(&CommPack1, &TComm::RxChar, this, [this] { CommPack1RxChar(); });
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

    // Logs its own "-OK-" or "!Err" line; the agent runs on without TCP on failure.
    ServerSocket1.open(m_options.listenPort);

    const QString iniPath =
        m_options.configPath.isEmpty()
            ? IniFile::pathBesideProgram(QCoreApplication::applicationFilePath())
            : m_options.configPath;
    const IniFile ini(iniPath);
    readSettings(ini);
    openSerialPort();

    m_sender = std::make_unique<PacketSender>(m_log, CommPack1);
    m_data = std::make_unique<TData>();
    m_numbers = std::make_unique<ExtensionNumbers>(m_log, m_link, *m_sender, *m_data,
                                                   [this] { enablePolling(); });
    // A cache that cannot be allocated leaves MaxCache at 0: nothing is cached.
    m_cache = std::make_unique<ResponseCache>(m_settings.MaxCache);
    m_clients =
        std::make_unique<ClientRequestHandler>(m_log, m_link, *m_sender, *m_cache, ServerSocket1);
    m_clients->setStackable(m_settings.Stackable);

    m_dispatcher = std::make_unique<PacketDispatcher>(m_log, m_link, *m_sender);
    m_dispatcher->setCacheOffer([this](const PendingRequest& record, const QByteArray& reply) {
        if (m_cache->MaxCache() != 0)
            m_cache->Store(record, reply);
    });
    m_dispatcher->setRoute(
        pkClient, [this](const PendingRequest& record, QByteArray& reply, const QString& text) {
            m_clients->deliverClientReply(record, reply, text);
        });
    m_dispatcher->setRoute(pkNumbersQuery,
                           [this](const PendingRequest&, QByteArray& payload, const QString&) {
                               m_numbers->OnNumbersReply(payload);
                           });

    createMailWrapper(ini);

    MailHooks mail;
    mail.readMailboxChanges = [this](TData& data) { return m_mail->ReadMailboxChanges(data); };
    mail.announceOutage = [this] { m_mail->SendStatusMessage(smComOff); };
    m_tick = std::make_unique<MainTick>(
        m_log, m_link, *m_sender, *m_data, *m_numbers, [this] { return CommPack1.IsOpen(); },
        std::move(mail));

    if (m_mail->LibraryReady())
        m_log.WriteLog(QStringLiteral("-OK-"), QStringLiteral("Inicializace Mail602"));
    else
        m_log.WriteLog(QStringLiteral("!Err"), QStringLiteral("Chyba při inicializaci Mail602"));

    enableTimer(Timer3);
}

void Agent::readSettings(const IniFile& ini)
{
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

void Agent::createMailWrapper(const IniFile& ini)
{
    m_mail = std::make_unique<TMail602>(m_log, m_options.mailLibrary);
    m_mail->LoadSettings(ini);
    m_mail->Initialize();
    m_traps = std::make_unique<TrapForwarder>(m_log, *m_mail, *m_data, *m_sender);
    m_dispatcher->setRoute(pkTrapQuery, [this](const PendingRequest&, QByteArray& payload,
                                               const QString&) { m_traps->OnTrapReply(payload); });
    m_dispatcher->setRoute(pkMailboxWrite,
                           [this](const PendingRequest&, QByteArray& payload, const QString&) {
                               OnMailboxWriteReply(m_log, payload);
                           });
    m_dispatcher->setRestorationNotice([this] { m_mail->SendStatusMessage(smComOn); });
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
    if (m_mail && m_mail->LibraryReady())
        enableTimer(Timer1);
    enableTimer(Timer2);
    enableTimer(Timer4);
}

void Agent::CommPack1RxChar()
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
    m_log.WriteLog(QStringLiteral("!Err"), QStringLiteral("Ztráta sériového portu ") +
                                               m_settings.PortText + QStringLiteral(": ") + reason);
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
    m_clients.reset();
    ServerSocket1.close(); // closes every client connection
    m_traps.reset();
    if (m_mail)
        m_mail->Shutdown();
    m_mail.reset(); // unloads the library
    m_sender.reset();
    m_data.reset();
    m_cache.reset();
}
