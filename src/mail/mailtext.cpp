#include "mail/mailtext.h"

#include <QStringDecoder>
#include <QStringEncoder>

QString fromWindows1250(QByteArrayView bytes)
{
    QStringDecoder decoder("windows-1250");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes); // a Qt without ICU: keep the bytes visible
    return decoder.decode(bytes);
}

QByteArray toWindows1250(const QString& text)
{
    QStringEncoder encoder("windows-1250");
    if (!encoder.isValid())
        return text.toLatin1();
    return encoder.encode(text);
}
