#pragma once

#include "mail/agentvxabi.h"
#include "mail/agentvxentrypoints.h"
#include "mail/messageregister.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QLibrary>
#include <QString>
#include <cstdint>
#include <optional>

class EventLog;
class IniFile;
class TData;

// The agent's own two status messages about the link to the exchange.
enum StatusMessageKind : int {
    smComOff = 1, // the exchange became unreachable: ZpravaComOff
    smComOn = 2,  // communication restored: ZpravaComOn
};

// Owner of the mail gateway library "agentvx": loads it, keeps the mail settings of
// sections [M602] and [Trapy], initialises and shuts the library down, sends messages
// and reads mailbox changes. When the library cannot be loaded, lacks an entry point
// or refuses initialisation, the wrapper is not ready and calls nothing; the agent then
// runs on without mail. Every text is Windows-1250 bytes.
class TMail602
{
public:
    enum class LibraryState {
        NotLoaded,  // no library file could be loaded
        Incomplete, // loaded, but an entry point is missing
        Ready,      // loaded, complete, initialisation not refused
        Refused,    // initialisation returned non-zero
        ShutDown,   // de-initialised; nothing is called any more
    };

    // Capacities of the settings fields, in bytes; longer values are cut to them.
    static constexpr qsizetype PathCapacity = 100;    // CestaKeKonfiguraciMail602, CestaK...
    static constexpr qsizetype UserCapacity = 100;    // Uzivatel
    static constexpr qsizetype PasswordCapacity = 20; // Heslo
    static constexpr qsizetype TrapTextCapacity = 99; // AdresaPrijemce, Subject, ZpravaComOn
    static constexpr qsizetype ComOffCapacity = 199;  // ZpravaComOff

    // The one-byte mask of ScramblePassword. Below 0x20, so that no byte of typed text
    // scrambles to a control character.
    static constexpr uint8_t PasswordMask = 0x1F;

    // Loads the library: libraryFile when given (nothing else is tried then); otherwise
    // "agentvx" in programDir (the program's own folder when empty), then by bare name
    // through the system's library search. Resolves the seven entry points in order and
    // stops at the first one missing.
    explicit TMail602(EventLog& log, const QString& libraryFile = {},
                      const QString& programDir = {});
    ~TMail602();
    TMail602(const TMail602&) = delete;
    TMail602& operator=(const TMail602&) = delete;

    bool LibraryReady() const { return m_state == LibraryState::Ready; }
    LibraryState state() const { return m_state; }
    bool FullReadPending() const { return m_fullReadPending; }
    const MessageRegister& messageRegister() const { return m_register; }
    QString libraryFileName() const { return m_library.fileName(); }
    QString libraryError() const { return m_loadError; }

    // Reads M602/CestaKeKonfiguraciMail602, Uzivatel, Heslo, CestaKPracovnimuAdresari,
    // Trapy/AdresaPrijemce, TypAdresyPrijemce, Subject, ZpravaComOn, ZpravaComOff and
    // M602/Debug, in this order, whether or not the library is ready.
    void LoadSettings(const IniFile& ini);
    // SetDebugLevel, then InicializaceVXKomunikace; a non-zero answer leaves the wrapper
    // not ready for the rest of the run.
    void Initialize();
    // DeInicializaceVXKomunikace when ready; nothing is called afterwards.
    void Shutdown();

    // PosliStavovouZpravu with the five values; nothing when the library is not ready.
    std::optional<int32_t> SendMail(QByteArrayView recipient, uint8_t addressType,
                                    QByteArrayView subject, QByteArrayView text, uint8_t flag);
    // A status message to AdresaPrijemce; logged under "Mail" when the library took it.
    // An empty text switches that message off.
    void SendStatusMessage(int kind);

    // Asks the library for mailbox changes (a full read first, and after every failed
    // read), updates data's counters and confirms the transfer. True when a write of
    // the counters to the exchange is due: after every read, also a failed one.
    bool ReadMailboxChanges(TData& data);

    // Both throw IniError when the file cannot be written.
    void SaveMailSettings(IniFile& ini) const;
    void SaveTrapSettings(IniFile& ini) const;

    // Exclusive-or of every byte with PasswordMask; applying it twice gives the text back.
    static QByteArray ScramblePassword(QByteArrayView text);
    // The form in which a password is kept in the INI file, and back. The stored form is
    // the scrambled password, with the few bytes that an INI line cannot carry escaped
    // and the whole value quoted when its ends would be trimmed; a value stored plainly
    // scrambled reads back as before.
    static QByteArray StoredPassword(QByteArrayView plain);
    static QByteArray PasswordFromStored(QByteArrayView stored);
    // The "%lx" rule: optional blanks and sign, an optional 0x, hexadecimal digits up to
    // the first other character. 0 when there is no number.
    static uint32_t ParseDebugLevel(QByteArrayView text);

    // The settings, edited in place by the two settings dialogs before they save.
    QByteArray CestaKeKonfiguraciMail602;
    QByteArray Uzivatel;
    QByteArray Heslo; // plain in memory
    QByteArray CestaKPracovnimuAdresari;
    QByteArray AdresaPrijemce;
    uint8_t TypAdresyPrijemce = 0; // AddressType code, 0 for none
    QByteArray Subject;
    QByteArray ZpravaComOn;
    QByteArray ZpravaComOff;
    uint32_t Debug = 0;

private:
    bool load(const QString& libraryFile, const QString& programDir);
    bool resolveEntryPoints();

    EventLog& m_log;
    QLibrary m_library;
    QString m_loadError;
    LibraryState m_state = LibraryState::NotLoaded;
    bool m_fullReadPending = true;
    MessageRegister m_register;

    AgentvxEntryPoints m_api;
};
