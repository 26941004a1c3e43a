#include "scenario.h"

#include <QFile>

namespace {

// Digits the exchange can send in an extension number, besides 0-9.
const QString ExtraDigits = QStringLiteral("*#FPSABCD");

std::optional<int> parseNumber(const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

// Applies one "key = value" line of a section; false with *error set when it is wrong.
bool applyKey(Scenario& s, const QString& section, const QString& key, const QString& value,
              QString* error)
{
    if (section == QLatin1String("extensions")) {
        const QStringList items = value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (key == QLatin1String("numbers")) {
            for (const QString& n : items) {
                if (!isValidExtensionNumber(n))
                    return fail(error, QStringLiteral("bad extension number \"%1\"").arg(n));
            }
            s.numbers = items;
            return true;
        }
        if (key == QLatin1String("status")) {
            s.lineStatus.clear();
            for (const QString& b : items) {
                const auto v = parseNumber(b, 0, 255);
                if (!v)
                    return fail(error, QStringLiteral("bad status byte \"%1\"").arg(b));
                s.lineStatus.append(uint8_t(*v));
            }
            return true;
        }
    } else if (section == QLatin1String("errors")) {
        const auto object = parseNumber(key, 0, 255);
        const auto code = parseNumber(value, 0, 255);
        if (!object || !code)
            return fail(error, QStringLiteral("expected OBJECT = CODE"));
        if (*code == 0)
            s.errors.remove(uint8_t(*object));
        else
            s.errors.insert(uint8_t(*object), uint8_t(*code));
        return true;
    } else if (section == QLatin1String("traps")) {
        if (key == QLatin1String("trap")) {
            const auto trap = parseTrapEntry(value, error);
            if (!trap)
                return false;
            s.traps.append(*trap);
            return true;
        }
    } else if (section == QLatin1String("periodic")) {
        if (key == QLatin1String("interval")) {
            const auto v = parseNumber(value, 0, 86400);
            if (!v)
                return fail(error, QStringLiteral("bad interval \"%1\"").arg(value));
            s.periodicSeconds = *v;
            return true;
        }
        if (key == QLatin1String("index")) {
            const auto v = parseNumber(value, 0, 3);
            if (!v)
                return fail(error, QStringLiteral("bad index \"%1\"").arg(value));
            s.periodicIndex = *v;
            return true;
        }
        if (key == QLatin1String("code")) {
            const auto code = parseTrapCode(value);
            if (!code)
                return fail(error, QStringLiteral("bad TRAP code \"%1\"").arg(value));
            s.periodicCode = *code;
            return true;
        }
        if (key == QLatin1String("recipient")) {
            s.periodicRecipient = value;
            return true;
        }
        if (key == QLatin1String("subject")) {
            s.periodicSubject = value;
            return true;
        }
        if (key == QLatin1String("body")) {
            s.periodicBodies.append(value);
            return true;
        }
    } else {
        return fail(error, QStringLiteral("unknown section [%1]").arg(section));
    }
    return fail(error, QStringLiteral("unknown key \"%1\" in [%2]").arg(key, section));
}

} // namespace

bool isValidExtensionNumber(const QString& number)
{
    if (number.isEmpty() || number.size() > 3)
        return false;
    for (const QChar c : number) {
        if (!c.isDigit() && !ExtraDigits.contains(c))
            return false;
    }
    return true;
}

std::optional<uint8_t> parseTrapCode(const QString& text)
{
    const QString t = text.trimmed();
    if (t.size() == 1 && t.at(0).unicode() < 128 && !t.at(0).isDigit())
        return uint8_t(t.at(0).unicode());
    if (const auto number = parseNumber(t, 0, 255))
        return uint8_t(*number);
    return std::nullopt;
}

std::optional<TrapEntry> parseTrapEntry(const QString& text, QString* error)
{
    const QString t = text.trimmed();
    const qsizetype firstBlank = t.indexOf(QLatin1Char(' '));
    const qsizetype secondBlank = firstBlank < 0 ? -1 : t.indexOf(QLatin1Char(' '), firstBlank + 1);
    if (secondBlank < 0) {
        fail(error, QStringLiteral("expected INDEX CODE RECIPIENT|SUBJECT|BODY"));
        return std::nullopt;
    }
    TrapEntry trap;
    const auto index = parseNumber(t.left(firstBlank), 0, 3);
    if (!index) {
        fail(error, QStringLiteral("TRAP index must be 0 to 3"));
        return std::nullopt;
    }
    trap.index = *index;

    const auto code = parseTrapCode(t.mid(firstBlank + 1, secondBlank - firstBlank - 1));
    if (!code) {
        fail(error, QStringLiteral("TRAP code must be one character or a number 0 to 255"));
        return std::nullopt;
    }
    trap.code = *code;

    const QStringList fields = t.mid(secondBlank + 1).split(QLatin1Char('|'));
    if (fields.size() != 3) {
        fail(error, QStringLiteral("expected RECIPIENT|SUBJECT|BODY"));
        return std::nullopt;
    }
    trap.recipient = fields.at(0).trimmed();
    trap.subject = fields.at(1).trimmed();
    trap.body = fields.at(2).trimmed();
    return trap;
}

std::optional<Scenario> Scenario::parse(const QByteArray& text, QString* error)
{
    Scenario s;
    QString section;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        QString message;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')))
                message = QStringLiteral("unclosed section name");
            else
                section = line.mid(1, line.size() - 2).trimmed().toLower();
        } else {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq < 0)
                message = QStringLiteral("expected KEY = VALUE");
            else if (section.isEmpty())
                message = QStringLiteral("KEY = VALUE before the first section");
            else
                applyKey(s, section, line.left(eq).trimmed().toLower(), line.mid(eq + 1).trimmed(),
                         &message);
        }
        if (!message.isEmpty()) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(i + 1).arg(message);
            return std::nullopt;
        }
    }
    return s;
}

std::optional<Scenario> Scenario::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QString message;
    auto scenario = parse(file.readAll(), &message);
    if (!scenario && error)
        *error = QStringLiteral("%1: %2").arg(path, message);
    return scenario;
}
