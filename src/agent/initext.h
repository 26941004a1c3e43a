#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// The Windows private-profile rules over the bytes of one INI file, without any I/O.
// Bytes are kept as they are (the file is Windows-1250); only ASCII letters are folded
// when names are compared.
class IniText
{
public:
    // GetPrivateProfileString reads into a buffer of 2048 bytes: 2047 and the terminator.
    static constexpr qsizetype MaxValueLength = 2047;

    IniText() = default;
    explicit IniText(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    const QByteArray& bytes() const { return m_bytes; }

    // The value of key in the first section of that name (first key of that name wins),
    // trimmed, with one matching pair of outer quotes removed, cut at MaxValueLength.
    // Nothing when the section or the key is missing; a present "Key=" gives "".
    std::optional<QByteArray> value(QByteArrayView section, QByteArrayView key) const;

    // Sets key to value as WritePrivateProfileString does: leading blanks of value are
    // dropped; an existing key's line is rewritten in place (keeping the file's spelling
    // of the key), a missing key is added at the end of its section, a missing section at
    // the end of the file. Every other byte stays as it was; writing the value a key
    // already has changes nothing. Returns whether the bytes changed.
    bool setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value);

    // Convenience for one-shot use: the new bytes of a file after one write.
    static QByteArray withValue(const QByteArray& bytes, QByteArrayView section, QByteArrayView key,
                                QByteArrayView value);

    // Both names equal when ASCII letters are folded; bytes 0x80-0xFF compare exactly.
    static bool namesEqual(QByteArrayView a, QByteArrayView b);
    // Blanks and tabs removed at both ends.
    static QByteArrayView trimmed(QByteArrayView text);

private:
    QByteArray m_bytes;
};
