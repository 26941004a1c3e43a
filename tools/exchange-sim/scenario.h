#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// One TRAP record as the exchange holds it: the address type byte and three texts.
// Texts are kept as display text here and become Windows-1250 bytes on the wire.
struct TrapEntry
{
    int index = 0;    // record slot 0..3
    uint8_t code = 0; // address type: 'L', 'V', 'Q', 'I', 'F', 'Z', or any byte
    QString recipient;
    QString subject;
    QString body;
};

// A TRAP code: one ASCII character other than a digit (its byte is the code, "L" is 76)
// or a decimal number 0..255.
std::optional<uint8_t> parseTrapCode(const QString& text);

// "INDEX CODE RECIPIENT|SUBJECT|BODY", the form shared by the scenario file and stdin.
std::optional<TrapEntry> parseTrapEntry(const QString& text, QString* error);

// The starting state of the simulated exchange, read from a small INI-like file:
//
//   # comment            ; comment
//   [extensions]
//   numbers = 201 202 203 310    extension numbers, up to three characters of 0-9 * # F P S A B C D
//   status = 0 1 0 0             line status byte per extension (missing ones are 0)
//   [errors]
//   14 = 7                       object 14 answers with result code 7
//   [traps]
//   trap = 0 L 201|Subject|Body  a record queued at index 0 (repeat the key for more)
//   [periodic]
//   interval = 20                seconds between raised TRAP records; 0 switches it off
//   index = 1                    record slot they go to (default: the least busy slot)
//   code = L
//   recipient = 201
//   subject = Hlášení ústředny
//   body = First text            repeat the key: the texts are used in turn
//
// Names of sections and keys are case-insensitive; blanks around them are trimmed.
struct Scenario
{
    QStringList numbers;
    QList<uint8_t> lineStatus;
    QMap<uint8_t, uint8_t> errors; // object code -> result code
    QList<TrapEntry> traps;

    int periodicSeconds = 0;
    int periodicIndex = -1; // -1: the slot with the fewest queued records
    uint8_t periodicCode = 'L';
    QString periodicRecipient;
    QString periodicSubject;
    QStringList periodicBodies;

    // Parses the text of a scenario file; on failure returns nothing and sets *error to
    // "line N: what is wrong".
    static std::optional<Scenario> parse(const QByteArray& text, QString* error);
    static std::optional<Scenario> load(const QString& path, QString* error);
};

// True for a number the exchange can hold: one to three characters of its digit alphabet.
bool isValidExtensionNumber(const QString& number);
