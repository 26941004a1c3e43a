#include "link/porttext.h"

#include <QList>
#include <array>

namespace {

// Reads the decimal number at the start of s; false when there is no digit.
bool takeNumber(QStringView& s, int& value)
{
    qsizetype i = 0;
    qint64 v = 0;
    while (i < s.size() && s[i].isDigit() && s[i].unicode() < 128) {
        v = v * 10 + (s[i].unicode() - '0');
        if (v > 0x7FFFFFFF)
            return false;
        ++i;
    }
    if (i == 0)
        return false;
    value = int(v);
    s = s.mid(i);
    return true;
}

void skipBlanks(QStringView& s)
{
    while (!s.isEmpty() && s.front() == u' ')
        s = s.mid(1);
}

// The mode command's two-digit abbreviations of the classic rates.
int expandBaud(int baud)
{
    switch (baud) {
    case 11:
    case 30:
    case 60:
        return baud * 10;
    case 12:
    case 24:
    case 48:
    case 96:
        return baud * 100;
    case 19:
        return 19200;
    default:
        return baud;
    }
}

bool takeParity(QStringView& s, PortParity& parity)
{
    if (s.isEmpty())
        return false;
    switch (s.front().toUpper().unicode()) {
    case 'N':
        parity = PortParity::None;
        break;
    case 'O':
        parity = PortParity::Odd;
        break;
    case 'E':
        parity = PortParity::Even;
        break;
    case 'M':
        parity = PortParity::Mark;
        break;
    case 'S':
        parity = PortParity::Space;
        break;
    default:
        return false;
    }
    s = s.mid(1);
    return true;
}

bool takeDataBits(QStringView& s, int& bits)
{
    return takeNumber(s, bits) && bits >= 5 && bits <= 8;
}

bool takeStopBits(QStringView& s, PortStopBits& stop)
{
    if (s.startsWith(u"1.5")) {
        stop = PortStopBits::OneAndHalf;
        s = s.mid(3);
        return true;
    }
    if (s.startsWith(u'1')) {
        stop = PortStopBits::One;
        s = s.mid(1);
        return true;
    }
    if (s.startsWith(u'2')) {
        stop = PortStopBits::Two;
        s = s.mid(1);
        return true;
    }
    return false;
}

// A blank-trimmed comma, as the mode command allows "9600, N, 8, 1".
bool takeComma(QStringView& s)
{
    skipBlanks(s);
    if (!s.startsWith(u','))
        return false;
    s = s.mid(1);
    skipBlanks(s);
    return true;
}

std::optional<PortControl> parseCommaForm(QStringView s)
{
    PortControl c;
    int baud = 0;
    PortParity parity{};
    int data = 0;
    PortStopBits stop{};
    if (!takeNumber(s, baud) || !takeComma(s) || !takeParity(s, parity) || !takeComma(s) ||
        !takeDataBits(s, data) || !takeComma(s) || !takeStopBits(s, stop))
        return std::nullopt;
    c.baudRate = expandBaud(baud);
    c.parity = parity;
    c.dataBits = data;
    c.stopBits = stop;
    skipBlanks(s);
    if (s.startsWith(u',')) {
        s = s.mid(1);
        skipBlanks(s);
        if (s.isEmpty())
            return std::nullopt;
        const char16_t h = s.front().toUpper().unicode();
        if (h == u'X')
            c.handshake = PortHandshake::Software;
        else if (h == u'P')
            c.handshake = PortHandshake::Hardware;
        else
            return std::nullopt;
        s = s.mid(1);
        skipBlanks(s);
    }
    if (!s.isEmpty())
        return std::nullopt;
    return c;
}

bool isOnOff(QStringView v)
{
    return v.compare(u"on", Qt::CaseInsensitive) == 0 ||
           v.compare(u"off", Qt::CaseInsensitive) == 0;
}

std::optional<PortControl> parseKeywordForm(QStringView s)
{
    PortControl c;
    const auto words = s.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return std::nullopt;
    for (QStringView word : words) {
        const qsizetype eq = word.indexOf(u'=');
        if (eq <= 0)
            return std::nullopt;
        const QStringView key = word.first(eq);
        QStringView value = word.mid(eq + 1);
        auto is = [&](const char16_t* name) { return key.compare(name, Qt::CaseInsensitive) == 0; };
        if (is(u"baud")) {
            int baud = 0;
            if (!takeNumber(value, baud) || !value.isEmpty())
                return std::nullopt;
            c.baudRate = expandBaud(baud);
        } else if (is(u"parity")) {
            PortParity p{};
            if (!takeParity(value, p) || !value.isEmpty())
                return std::nullopt;
            c.parity = p;
        } else if (is(u"data")) {
            int bits = 0;
            if (!takeDataBits(value, bits) || !value.isEmpty())
                return std::nullopt;
            c.dataBits = bits;
        } else if (is(u"stop")) {
            PortStopBits st{};
            if (!takeStopBits(value, st) || !value.isEmpty())
                return std::nullopt;
            c.stopBits = st;
        } else if (is(u"to") || is(u"xon") || is(u"odsr") || is(u"octs") || is(u"idsr")) {
            if (!isOnOff(value))
                return std::nullopt;
        } else if (is(u"dtr")) {
            if (!isOnOff(value) && value.compare(u"hs", Qt::CaseInsensitive) != 0)
                return std::nullopt;
        } else if (is(u"rts")) {
            if (!isOnOff(value) && value.compare(u"hs", Qt::CaseInsensitive) != 0 &&
                value.compare(u"tg", Qt::CaseInsensitive) != 0)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    // The mode command's rule: 110 baud without a stop key means two stop bits.
    if (c.baudRate == 110 && !c.stopBits)
        c.stopBits = PortStopBits::Two;
    return c;
}

} // namespace

std::optional<PortControl> parsePortControl(QStringView text)
{
    const qsizetype colon = text.indexOf(u':');
    QStringView rest = colon >= 0 ? text.mid(colon + 1) : text;
    skipBlanks(rest);
    while (!rest.isEmpty() && rest.back() == u' ')
        rest.chop(1);
    if (rest.isEmpty())
        return std::nullopt;
    if (rest.contains(u','))
        return parseCommaForm(rest);
    return parseKeywordForm(rest);
}

bool isListedBaudRate(int baud)
{
    static constexpr std::array<int, 15> Listed = {110,   300,   600,    1200,   2400,
                                                   4800,  9600,  14400,  19200,  38400,
                                                   56000, 57600, 115200, 128000, 256000};
    for (int b : Listed)
        if (b == baud)
            return true;
    return false;
}

PortLineSettings applyPortText(const PortLineSettings& current, QStringView text)
{
    PortLineSettings s = current;
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0)
        return s;
    s.deviceName = text.first(colon).toString();
    const std::optional<PortControl> c = parsePortControl(text);
    if (!c)
        return s;
    if (c->baudRate && isListedBaudRate(*c->baudRate))
        s.baudRate = *c->baudRate;
    if (c->dataBits && *c->dataBits >= 5 && *c->dataBits <= 8)
        s.dataBits = *c->dataBits;
    if (c->stopBits)
        s.stopBits = *c->stopBits;
    if (c->parity && *c->parity != PortParity::Space)
        s.parity = *c->parity;
    return s;
}
