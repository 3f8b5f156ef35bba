#include "rom_list.h"

#include <QListWidget>
#include <QTreeWidget>

#include "scan/rom_list_entry.h"
#include "text_conversion.h"

namespace ostravex::app {

RomList::RomList(QListWidget& listBox, QTreeWidget& listView)
    : m_listBox(listBox),
      m_listView(listView),
      m_ndsGroup(new QTreeWidgetItem(&listView, {"NDS Roms"})),
      m_gbaGroup(new QTreeWidgetItem(&listView, {"GBA Roms"})) {
    for (QTreeWidgetItem* group : {m_ndsGroup, m_gbaGroup}) {
        group->setFlags(Qt::ItemIsEnabled);
        group->setExpanded(true);
        QFont bold = listView.font();
        bold.setBold(true);
        group->setFont(0, bold);
        group->setHidden(true);  // a group shows once it holds an entry
    }
}

void RomList::add(const std::string& entry) {
    const QString text = FromPath(entry);
    m_listBox.addItem(text);
    QTreeWidgetItem* group = GroupOfEntry(entry) == RomGroup::Nds ? m_ndsGroup : m_gbaGroup;
    m_listViewItems.push_back(new QTreeWidgetItem(group, {text}));
    group->setHidden(false);
}

std::size_t RomList::count() const {
    return static_cast<std::size_t>(m_listBox.count());
}

void RomList::clear() {
    m_listBox.clear();
    for (QTreeWidgetItem* group : {m_ndsGroup, m_gbaGroup}) {
        qDeleteAll(group->takeChildren());
        group->setHidden(true);
    }
    m_listViewItems.clear();
}

void RomList::beginUpdate() {
    m_listBox.setUpdatesEnabled(false);
    m_listView.setUpdatesEnabled(false);
}

void RomList::endUpdate() {
    m_listBox.setUpdatesEnabled(true);
    m_listView.setUpdatesEnabled(true);
}

void RomList::setMultipleSelection(bool multiple) {
    const auto mode =
        multiple ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    m_listBox.setSelectionMode(mode);
    m_listBox.setVerticalScrollBarPolicy(multiple ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
    m_listView.setSelectionMode(mode);
}

QStringList RomList::entriesToProcess(bool fromListView, bool selectedOnly) const {
    QStringList entries;
    if (fromListView) {
        for (const QTreeWidgetItem* item : m_listViewItems) {
            if (!selectedOnly || item->isSelected()) {
                entries << item->text(0);
            }
        }
        return entries;
    }
    for (int i = 0; i < m_listBox.count(); ++i) {
        const QString text = m_listBox.item(i)->text();
        if (!selectedOnly) {
            entries << text;
            continue;
        }
        // The list box answers for the first item of that text.
        for (int j = 0; j < m_listBox.count(); ++j) {
            if (m_listBox.item(j)->text().compare(text, Qt::CaseInsensitive) == 0) {
                if (m_listBox.item(j)->isSelected()) {
                    entries << text;
                }
                break;
            }
        }
    }
    return entries;
}

std::optional<QString> RomList::selectedEntry(bool fromListView) const {
    if (fromListView) {
        const QList<QTreeWidgetItem*> selected = m_listView.selectedItems();
        if (selected.size() != 1 || !selected.front()->parent()) {
            return std::nullopt;  // a group heading is no entry
        }
        return selected.front()->text(0);
    }
    const int index = m_listBox.currentRow();
    if (index < 0 || index >= m_listBox.count() || !m_listBox.item(index)->isSelected()) {
        return std::nullopt;
    }
    return m_listBox.item(index)->text();
}

}  // namespace ostravex::app
