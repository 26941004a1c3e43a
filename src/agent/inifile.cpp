#include "agent/inifile.h"

#include "agent/initext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// The whole file as it is now; a missing or unreadable file reads as empty.
QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

IniFile::IniFile(QString path) : m_path(std::move(path)) {}

bool IniFile::exists() const
{
    return QFileInfo(m_path).isFile();
}

QByteArray IniFile::ReadString(QByteArrayView section, QByteArrayView key,
                               const QByteArray& defaultValue) const
{
    return IniText(readAll(m_path)).value(section, key).value_or(defaultValue);
}

int IniFile::ReadInteger(QByteArrayView section, QByteArrayView key, int defaultValue) const
{
    return toInteger(ReadString(section, key, QByteArray())).value_or(defaultValue);
}

bool IniFile::ReadBool(QByteArrayView section, QByteArrayView key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::WriteString(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    const auto fail = [this] {
        throw IniError(QStringLiteral("Unable to write to %1").arg(m_path).toStdString());
    };

    QByteArray bytes;
    const QFileInfo info(m_path);
    const bool existed = info.exists();
    if (existed) {
        QFile current(m_path);
        if (!info.isFile() || !current.open(QIODevice::ReadOnly))
            fail();
        bytes = current.readAll();
    }

    IniText text(std::move(bytes));
    if (!text.setValue(section, key, value) && existed)
        return; // the same value: the file stays untouched

    // A new file beside the old one, renamed over it when complete, so that a failed
    // write leaves the file as it was. Only where the folder refuses new files is the
    // file written directly.
    // Unbuffered, so that a short write (disk full, size limit) shows in write()'s
    // count: a buffered QSaveFile would commit the cut file.
    QSaveFile out(m_path);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail();
    if (out.write(text.bytes()) != text.bytes().size() || out.error() != QFileDevice::NoError) {
        out.cancelWriting();
        fail();
    }
    if (!out.commit())
        fail();
}

void IniFile::WriteInteger(QByteArrayView section, QByteArrayView key, int value)
{
    WriteString(section, key, QByteArray::number(value));
}

void IniFile::WriteBool(QByteArrayView section, QByteArrayView key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

std::optional<int> IniFile::toInteger(QByteArrayView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text = text.sliced(1);
    }

    bool hex = false;
    if (text.startsWith('$')) {
        hex = true;
        text = text.sliced(1);
    } else if (text.startsWith("0x") || text.startsWith("0X")) {
        hex = true;
        text = text.sliced(2);
    }
    if (text.isEmpty())
        return std::nullopt;

    qint64 magnitude = 0;
    for (const char c : text) {
        const int digit = hex ? hexDigit(c) : ((c >= '0' && c <= '9') ? c - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + digit;
        // Hexadecimal covers the 32 bits (FFFFFFFF is -1); decimal must fit an int.
        if (magnitude > (hex ? qint64(0xFFFFFFFF) : qint64(2147483648)))
            return std::nullopt;
    }
    if (hex) {
        const int bits = int(quint32(magnitude));
        return negative ? int(0u - quint32(bits)) : bits;
    }
    if (!negative && magnitude > 2147483647)
        return std::nullopt;
    return int(negative ? -magnitude : magnitude);
}

QString IniFile::pathBesideProgram(const QString& programPath)
{
    const QFileInfo program(programPath);
    const QString base = program.suffix().isEmpty() && !program.fileName().endsWith(u'.')
                             ? program.fileName()
                             : program.completeBaseName();
    const QString wanted = base + QStringLiteral(".INI");
    const QDir folder = program.dir();

    if (QFileInfo(folder.filePath(wanted)).isFile())
        return folder.filePath(wanted);
    const QStringList files =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : files) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return folder.filePath(name);
    }
    return folder.filePath(wanted);
}
