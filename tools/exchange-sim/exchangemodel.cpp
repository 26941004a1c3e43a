#include "exchangemodel.h"

#include <QStringEncoder>

namespace {

// Position of each character in the exchange's digit alphabet; code 0 ends a number.
const QString DigitAlphabet = QStringLiteral(".1234567890*#FPSABCD");

QByteArray header(uint8_t result, uint8_t object, uint8_t index)
{
    QByteArray h;
    h.append(char(result)).append(char(object)).append(char(index));
    return h;
}

QString bytesText(const QByteArray& bytes)
{
    QStringList parts;
    for (const char c : bytes)
        parts.append(QString::number(uint8_t(c)));
    return parts.join(QLatin1Char(' '));
}

} // namespace

ExchangeModel::ExchangeModel(const Scenario& scenario)
    : m_numbers(scenario.numbers), m_lineStatus(scenario.lineStatus), m_errors(scenario.errors)
{
    m_counters.resize(m_numbers.size());
    for (const TrapEntry& trap : scenario.traps)
        queueTrap(trap);
}

void ExchangeModel::setError(uint8_t object, uint8_t code)
{
    if (code == 0)
        m_errors.remove(object);
    else
        m_errors.insert(object, code);
}

void ExchangeModel::queueTrap(const TrapEntry& trap)
{
    m_traps[trap.index].append(trapRecordBytes(trap));
}

int ExchangeModel::leastBusySlot() const
{
    int best = 0;
    for (int i = 1; i < TrapSlots; ++i) {
        if (m_traps[i].size() < m_traps[best].size())
            best = i;
    }
    return best;
}

QByteArray ExchangeModel::digitCodes(const QString& number)
{
    QByteArray codes(3, '\0');
    for (qsizetype i = 0; i < number.size() && i < 3; ++i) {
        const qsizetype code = DigitAlphabet.indexOf(number.at(i), 1);
        codes[i] = char(code > 0 ? code : 0);
    }
    return codes;
}

QByteArray ExchangeModel::trapRecordBytes(const TrapEntry& trap)
{
    const QString text =
        trap.recipient + QLatin1Char('\n') + trap.subject + QLatin1Char('\n') + trap.body;
    QStringEncoder encoder("windows-1250");
    QByteArray bytes(1, char(trap.code));
    bytes.append(encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toLatin1());
    return bytes;
}

ExchangeModel::Answer ExchangeModel::handle(const QByteArray& request)
{
    Answer answer;
    if (request.isEmpty()) {
        answer.reply = QByteArray(1, char(ErrShortRequest));
        return answer;
    }
    const uint8_t op = uint8_t(request[0]);
    if (op >= 2 && op <= 5) {
        answer.reply = QByteArray(1, '\0');
        return answer;
    }
    if (op > 5) {
        answer.reply = QByteArray(1, char(ErrUnknownOperation)) + request.mid(1, 2);
        return answer;
    }
    if (request.size() < 3) {
        answer.reply = QByteArray(1, char(ErrShortRequest)) + request.mid(1);
        return answer;
    }
    const uint8_t object = uint8_t(request[1]);
    const uint8_t index = uint8_t(request[2]);
    if (const auto error = m_errors.constFind(object); error != m_errors.cend()) {
        answer.reply = header(*error, object, index);
        return answer;
    }
    if (object == ObjTrap && index >= TrapSlots) {
        answer.reply = header(ErrNoSuchRecord, object, index);
        return answer;
    }
    answer.reply = header(0, object, index);
    if (op == OpRead)
        answer.reply.append(readObject(object, index));
    else
        writeObject(object, index, request.mid(3), answer.notes);
    return answer;
}

QByteArray ExchangeModel::readObject(uint8_t object, uint8_t index) const
{
    QByteArray data;
    switch (object) {
    case ObjNumbers:
        for (const QString& number : m_numbers)
            data.append(digitCodes(number));
        break;
    case ObjLineStatus:
        for (qsizetype i = 0; i < m_numbers.size(); ++i)
            data.append(char(i < m_lineStatus.size() ? m_lineStatus.at(i) : 0));
        break;
    case ObjMessages:
        for (const auto& row : m_counters)
            data.append(reinterpret_cast<const char*>(row.data()), qsizetype(row.size()));
        break;
    case ObjTrap:
        // Address type 0 marks an empty record.
        data = m_traps[index].isEmpty() ? QByteArray(1, '\0') : m_traps[index].first();
        break;
    default: {
        const auto stored = m_store.constFind({object, index});
        if (stored != m_store.cend())
            return *stored;
        // Unwritten objects hold a recognisable pattern with the two bytes that framing
        // treats specially, so that every read exercises the escaping.
        data.append(char(object)).append(char(index)).append('\xEE').append('\x23');
    }
    }
    return data;
}

void ExchangeModel::writeObject(uint8_t object, uint8_t index, const QByteArray& data,
                                QStringList& notes)
{
    switch (object) {
    case ObjMessages:
        writeCounters(data, notes);
        break;
    case ObjTrap: {
        QList<QByteArray>& queue = m_traps[index];
        if (data.count('\0') == data.size()) {
            // Zeros over the record clear it; the next queued one moves up.
            if (!queue.isEmpty()) {
                queue.removeFirst();
                notes.append(
                    QStringLiteral("TRAP %1 cleared, %2 queued").arg(index).arg(queue.size()));
            }
        } else if (queue.isEmpty()) {
            queue.append(data);
        } else {
            queue.first() = data;
        }
        break;
    }
    case ObjNumbers:
    case ObjLineStatus:
        // Both are the exchange's own view of its lines; a write does not change them.
        notes.append(QStringLiteral("write to object %1 ignored").arg(object));
        break;
    default:
        m_store.insert({object, index}, data);
    }
}

void ExchangeModel::writeCounters(const QByteArray& data, QStringList& notes)
{
    if (data.size() != 4 * m_counters.size()) {
        notes.append(QStringLiteral("counters: %1 bytes for %2 extensions")
                         .arg(data.size())
                         .arg(m_counters.size()));
    }
    for (qsizetype row = 0; row < m_counters.size() && 4 * row + 4 <= data.size(); ++row) {
        for (int k = 0; k < 4; ++k)
            m_counters[row][k] = uint8_t(data[4 * row + k]);
        notes.append(QStringLiteral("counters %1: %2")
                         .arg(m_numbers.at(row), bytesText(data.mid(4 * row, 4))));
    }
}

QString ExchangeModel::describeRequest(const QByteArray& request)
{
    static const char* const names[] = {"read", "write", "Info", "SaveEPROM", "GetUCT", "RepUCT"};
    if (request.isEmpty())
        return QStringLiteral("empty request");
    const uint8_t op = uint8_t(request[0]);
    if (op >= 2 && op <= 5)
        return QString::fromLatin1(names[op]);
    QString text = op <= 1 ? QString::fromLatin1(names[op]) : QStringLiteral("op %1").arg(op);
    if (request.size() < 3)
        return text + QStringLiteral(" (short: %1 bytes)").arg(request.size());
    text += QStringLiteral(" %1[%2]").arg(uint8_t(request[1])).arg(uint8_t(request[2]));
    if (request.size() > 3)
        text += QStringLiteral(" %1 bytes").arg(request.size() - 3);
    return text;
}

QStringList ExchangeModel::statusLines() const
{
    QStringList lines;
    lines.append(QStringLiteral("extensions: %1").arg(m_numbers.join(QLatin1Char(' '))));
    for (qsizetype row = 0; row < m_counters.size(); ++row) {
        const auto& c = m_counters.at(row);
        lines.append(QStringLiteral("counters %1: %2 %3 %4 %5")
                         .arg(m_numbers.at(row))
                         .arg(c[0])
                         .arg(c[1])
                         .arg(c[2])
                         .arg(c[3]));
    }
    QStringList errors;
    for (auto it = m_errors.cbegin(); it != m_errors.cend(); ++it)
        errors.append(QStringLiteral("%1=%2").arg(it.key()).arg(it.value()));
    lines.append(
        QStringLiteral("errors: %1")
            .arg(errors.isEmpty() ? QStringLiteral("none") : errors.join(QLatin1Char(' '))));
    QStringDecoder decoder("windows-1250");
    for (int slot = 0; slot < TrapSlots; ++slot) {
        const QList<QByteArray>& queue = m_traps[slot];
        if (queue.isEmpty()) {
            lines.append(QStringLiteral("TRAP %1: empty").arg(slot));
            continue;
        }
        const QByteArray& head = queue.first();
        QString text = decoder.isValid() ? QString(decoder.decode(head.mid(1)))
                                         : QString::fromLatin1(head.mid(1));
        text.replace(QLatin1Char('\n'), QLatin1Char('|'));
        const uint8_t code = uint8_t(head.at(0));
        const QString codeText =
            code > 32 && code < 127 ? QString(QChar(code)) : QString::number(code);
        lines.append(QStringLiteral("TRAP %1: code %2 %3 (%4 queued)")
                         .arg(slot)
                         .arg(codeText)
                         .arg(text)
                         .arg(queue.size()));
    }
    lines.append(QStringLiteral("stored objects: %1").arg(m_store.size()));
    return lines;
}
