#pragma once

#include <QString>

class QListWidget;

// The log list keeps at most MaxLines lines. A list whose last line is selected (or
// an empty list with no selection) follows the log; a list with an older line
// selected keeps that line selected and in place while new lines arrive.
namespace LogList {
constexpr int MaxLines = 300;

void append(QListWidget& list, const QString& line);
int selectedRow(const QListWidget& list); // -1 when no line is selected
} // namespace LogList
