#include "ui/loglist.h"

#include <QListWidget>

namespace LogList {

int selectedRow(const QListWidget& list)
{
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : list.row(selected.first());
}

static void selectRow(QListWidget& list, int row)
{
    if (row < 0 || row >= list.count()) {
        list.clearSelection();
        list.setCurrentRow(-1);
        return;
    }
    list.setCurrentRow(row);
    list.scrollToItem(list.item(row));
}

void append(QListWidget& list, const QString& line)
{
    const bool following = selectedRow(list) == list.count() - 1;
    list.addItem(line);
    if (following)
        selectRow(list, list.count() - 1);
    if (list.count() > MaxLines) {
        // Keep the selection on the same line while the oldest one goes; if the
        // oldest was the selected one, nothing stays selected.
        const int remembered = selectedRow(list);
        list.clearSelection();
        delete list.takeItem(0);
        selectRow(list, remembered - 1);
    }
}

} // namespace LogList
