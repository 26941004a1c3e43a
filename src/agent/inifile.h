#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <stdexcept>

// Raised when a write cannot be done; what() is "Unable to write to <path>".
class IniError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The configuration file with the Windows private-profile rules. Values are bytes
// (Windows-1250) kept as they are. Every read and every write goes to the file as it
// is at that moment, as the Windows functions do.
class IniFile
{
public:
    explicit IniFile(QString path);

    QString path() const { return m_path; }
    bool exists() const;

    // Text, at most 2047 bytes; a present but empty key gives the empty text.
    QByteArray ReadString(QByteArrayView section, QByteArrayView key,
                          const QByteArray& defaultValue) const;
    // Decimal, or hexadecimal after "0x", "0X" or "$"; anything else gives the default.
    int ReadInteger(QByteArrayView section, QByteArrayView key, int defaultValue) const;
    // An integer: 0 is off, any other number on; anything else gives the default.
    bool ReadBool(QByteArrayView section, QByteArrayView key, bool defaultValue) const;

    // Throw IniError when the file cannot be written; the file is then unchanged.
    void WriteString(QByteArrayView section, QByteArrayView key, QByteArrayView value);
    void WriteInteger(QByteArrayView section, QByteArrayView key, int value);
    void WriteBool(QByteArrayView section, QByteArrayView key, bool value);

    // The program's path with its extension replaced by ".INI", matched against the
    // files of its folder without regard to case; the ".INI" spelling when none is there.
    static QString pathBesideProgram(const QString& programPath);

    // The system's integer rule on a text as ReadString gives it: an optional sign, then
    // decimal digits, or hexadecimal digits after "0x", "0X" or "$" (up to 8, taken as
    // 32 bits); nothing else around them. Nothing when the text does not convert.
    static std::optional<int> toInteger(QByteArrayView text);

private:
    QString m_path;
};
