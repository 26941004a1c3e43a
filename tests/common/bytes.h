#pragma once

#include <QByteArray>
#include <initializer_list>

// A payload written out as numbers, as the wire examples give them.
inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}
