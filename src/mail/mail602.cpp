#include "mail/mail602.h"

#include "agent/eventlog.h"
#include "agent/inifile.h"
#include "data/tdata.h"
#include "mail/mailboxwalk.h"
#include "mail/mailtext.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <cstdio>

Q_LOGGING_CATEGORY(lcMail, "sarvik.mail")

namespace {

// A settings field holds a zero-terminated text of limited size: the value ends at its
// first zero byte and is cut to the capacity.
QByteArray fieldText(const QByteArray& value, qsizetype capacity)
{
    const qsizetype zero = value.indexOf('\0');
    return value.left(std::min(zero < 0 ? value.size() : zero, capacity));
}

// The system's temporary directory without a trailing separator.
QByteArray defaultWorkDirectory()
{
    QString path = QDir::toNativeSeparators(QDir::tempPath());
    if (path.size() > 1 && (path.endsWith(u'/') || path.endsWith(u'\\')))
        path.chop(1);
    return toWindows1250(path);
}

// Stored password: bytes an INI line cannot carry (a zero ends the C text; CR and LF end
// the line) are written as Escape followed by the byte xor EscapeFlip, and Escape itself
// likewise. Escape is the scrambled form of a control character, which a typed password
// never holds, so a value stored plainly scrambled never contains it.
constexpr char PasswordEscape = 0x10;
constexpr char PasswordEscapeFlip = 0x40;

bool needsEscape(char b)
{
    return b == '\0' || b == '\n' || b == '\r' || b == PasswordEscape;
}

bool isBlank(char b)
{
    return b == ' ' || b == '\t';
}

// The INI reader trims blanks and tabs at both ends of a value and removes one pair of
// equal outer quotes; a value that either would change is written inside quotes.
bool needsQuotes(const QByteArray& value)
{
    if (value.isEmpty())
        return false;
    const char first = value.front();
    const char last = value.back();
    if (isBlank(first) || isBlank(last))
        return true;
    return value.size() >= 2 && first == last && (first == '"' || first == '\'');
}

} // namespace

TMail602::TMail602(EventLog& log, const QString& libraryFile, const QString& programDir)
    : m_log(log)
{
    if (!load(libraryFile, programDir)) {
        qCWarning(lcMail) << "mail library not loaded:" << m_loadError;
        return;
    }
    if (!resolveEntryPoints()) {
        m_state = LibraryState::Incomplete;
        qCWarning(lcMail) << "mail library incomplete:" << m_loadError;
        return;
    }
    m_fullReadPending = true;
    m_register.clear();
    m_state = LibraryState::Ready;
}

TMail602::~TMail602()
{
    m_register.clear();
    if (m_library.isLoaded())
        m_library.unload();
}

bool TMail602::load(const QString& libraryFile, const QString& programDir)
{
    if (!libraryFile.isEmpty()) {
        m_library.setFileName(libraryFile);
        if (m_library.load())
            return true;
        m_loadError = m_library.errorString();
        return false;
    }
    // As the Windows loader does for a bare name: the program's own folder first.
    QString dir = programDir;
    if (dir.isEmpty() && QCoreApplication::instance())
        dir = QCoreApplication::applicationDirPath();
    if (!dir.isEmpty()) {
        m_library.setFileName(QDir(dir).filePath(QStringLiteral(AVX_LIBRARY_NAME)));
        if (m_library.load())
            return true;
    }
    m_library.setFileName(QStringLiteral(AVX_LIBRARY_NAME));
    if (m_library.load())
        return true;
    m_loadError = m_library.errorString();
    return false;
}

bool TMail602::resolveEntryPoints()
{
    const QString missing = resolveAgentvxEntryPoints(m_library, m_api);
    if (!missing.isEmpty())
        m_loadError = QStringLiteral("entry point %1 missing").arg(missing);
    return missing.isEmpty();
}

void TMail602::LoadSettings(const IniFile& ini)
{
    CestaKeKonfiguraciMail602 =
        fieldText(ini.ReadString("M602", "CestaKeKonfiguraciMail602", {}), PathCapacity);
    Uzivatel = fieldText(ini.ReadString("M602", "Uzivatel", {}), UserCapacity);
    Heslo = fieldText(PasswordFromStored(ini.ReadString("M602", "Heslo", {})), PasswordCapacity);
    CestaKPracovnimuAdresari = fieldText(
        ini.ReadString("M602", "CestaKPracovnimuAdresari", defaultWorkDirectory()), PathCapacity);
    AdresaPrijemce = fieldText(ini.ReadString("Trapy", "AdresaPrijemce", {}), TrapTextCapacity);
    const QByteArray type = ini.ReadString("Trapy", "TypAdresyPrijemce", {});
    TypAdresyPrijemce = type.isEmpty() ? 0 : uint8_t(type.front());
    Subject = fieldText(ini.ReadString("Trapy", "Subject", {}), TrapTextCapacity);
    ZpravaComOn = fieldText(ini.ReadString("Trapy", "ZpravaComOn", {}), TrapTextCapacity);
    ZpravaComOff = fieldText(ini.ReadString("Trapy", "ZpravaComOff", {}), ComOffCapacity);
    Debug = ParseDebugLevel(ini.ReadString("M602", "Debug", "0"));
}

void TMail602::Initialize()
{
    if (!LibraryReady())
        return;
    m_api.setDebugLevel(Debug);
    const int32_t r = m_api.init(CestaKeKonfiguraciMail602.constData(), Uzivatel.constData(),
                                 CestaKPracovnimuAdresari.constData(), Heslo.constData());
    if (r != 0) {
        m_state = LibraryState::Refused;
        qCWarning(lcMail) << "mail library refused initialisation:" << r;
    }
}

void TMail602::Shutdown()
{
    if (!LibraryReady())
        return;
    m_api.deinit();
    m_state = LibraryState::ShutDown;
}

std::optional<int32_t> TMail602::SendMail(QByteArrayView recipient, uint8_t addressType,
                                          QByteArrayView subject, QByteArrayView text, uint8_t flag)
{
    if (!LibraryReady())
        return std::nullopt;
    // Copies: the library gets zero-terminated texts.
    const QByteArray to = recipient.toByteArray();
    const QByteArray about = subject.toByteArray();
    const QByteArray body = text.toByteArray();
    return m_api.send(to.constData(), addressType, about.constData(), body.constData(), flag);
}

void TMail602::SendStatusMessage(int kind)
{
    if (!LibraryReady())
        return;
    QByteArray text;
    if (kind == smComOff)
        text = ZpravaComOff;
    else if (kind == smComOn)
        text = ZpravaComOn;
    else
        return;
    if (text.isEmpty())
        return;
    const int32_t r = m_api.send(AdresaPrijemce.constData(), TypAdresyPrijemce, Subject.constData(),
                                 text.constData(), AVX_FLAG_STATUS);
    if (r == 0)
        m_log.WriteLog(QStringLiteral("Mail"), fromWindows1250(AdresaPrijemce) +
                                                   QStringLiteral(" > ") + fromWindows1250(text));
}

bool TMail602::ReadMailboxChanges(TData& data)
{
    if (!LibraryReady())
        return false;
    MailboxReadMode mode = MailboxReadMode::Full;
    if (!m_fullReadPending) {
        if (m_api.quickTest() == 0)
            return false;
        mode = MailboxReadMode::Changes;
    }
    ReadParams params{};
    params.ReadMode = int32_t(mode);
    MailboxRecord* head = nullptr;
    if (m_api.read(&head, &params) != 0) {
        // Nothing confirmed; the write carries the counters as they are, and the next
        // read starts over from a full one.
        m_fullReadPending = true;
        return true;
    }
    if (mode == MailboxReadMode::Full) {
        data.ClearMailboxCounts();
        // A full read registers every message afresh; lines left from before would
        // count a message twice.
        m_register.clear();
    }
    WalkMailboxRecords(head, mode, m_register, data);
    MailboxRecord* delivered = head;
    m_api.confirm(&delivered);
    m_fullReadPending = false;
    return true;
}

void TMail602::SaveMailSettings(IniFile& ini) const
{
    ini.WriteString("M602", "CestaKeKonfiguraciMail602", CestaKeKonfiguraciMail602);
    ini.WriteString("M602", "CestaKPracovnimuAdresari", CestaKPracovnimuAdresari);
    ini.WriteString("M602", "Uzivatel", Uzivatel);
    ini.WriteString("M602", "Heslo", StoredPassword(Heslo));
}

void TMail602::SaveTrapSettings(IniFile& ini) const
{
    ini.WriteString("Trapy", "AdresaPrijemce", AdresaPrijemce);
    // The one character of the code; no code is written as the empty text, not left out.
    const char type = char(TypAdresyPrijemce);
    ini.WriteString("Trapy", "TypAdresyPrijemce", QByteArrayView(&type, type == 0 ? 0 : 1));
    ini.WriteString("Trapy", "Subject", Subject);
    ini.WriteString("Trapy", "ZpravaComOn", ZpravaComOn);
    ini.WriteString("Trapy", "ZpravaComOff", ZpravaComOff);
}

QByteArray TMail602::ScramblePassword(QByteArrayView text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = char(uint8_t(text[i]) ^ PasswordMask);
    return out;
}

QByteArray TMail602::StoredPassword(QByteArrayView plain)
{
    const qsizetype zero = plain.indexOf('\0');
    const QByteArray scrambled = ScramblePassword(zero < 0 ? plain : plain.first(zero));
    QByteArray stored;
    stored.reserve(scrambled.size() + 2);
    for (const char b : scrambled) {
        if (needsEscape(b)) {
            stored.append(PasswordEscape);
            stored.append(char(b ^ PasswordEscapeFlip));
        } else {
            stored.append(b);
        }
    }
    if (needsQuotes(stored))
        return '"' + stored + '"';
    return stored;
}

QByteArray TMail602::PasswordFromStored(QByteArrayView stored)
{
    QByteArray scrambled;
    scrambled.reserve(stored.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored[i] == PasswordEscape && i + 1 < stored.size())
            scrambled.append(char(stored[++i] ^ PasswordEscapeFlip));
        else
            scrambled.append(stored[i]);
    }
    QByteArray plain = ScramblePassword(scrambled);
    // A stored byte equal to the mask unscrambles to zero, which ends the text.
    const qsizetype zero = plain.indexOf('\0');
    if (zero >= 0)
        plain.truncate(zero);
    return plain;
}

uint32_t TMail602::ParseDebugLevel(QByteArrayView text)
{
    const QByteArray copy = text.toByteArray(); // zero-terminated for sscanf
    unsigned long value = 0;
    if (std::sscanf(copy.constData(), "%lx", &value) != 1)
        return 0;
    return uint32_t(value);
}
