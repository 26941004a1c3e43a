#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The mail bridge keeps every text as Windows-1250 bytes, as the mail library and the
// exchange use them; these two turn them into display text for the log and back.
QString fromWindows1250(QByteArrayView bytes);
QByteArray toWindows1250(const QString& text);
