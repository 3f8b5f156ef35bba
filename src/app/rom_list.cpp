#include "rom_list.h"

#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QListWidget>
#include <QStyle>
#include <QTreeWidget>
#include <algorithm>

#include "text_conversion.h"

namespace ostravex::app {

RomList::RomList(QListWidget& listBox, QTreeWidget& listView)
    : m_listBox(listBox),
      m_listView(listView),
      m_ndsGroup(new QTreeWidgetItem(&listView, {"NDS Roms"})),
      m_gbaGroup(new QTreeWidgetItem(&listView, {"GBA Roms"})),
      m_narrowestColumn(listView.header()->minimumSectionSize()) {
    for (QTreeWidgetItem* group : {m_ndsGroup, m_gbaGroup}) {
        group->setFlags(Qt::ItemIsEnabled);
        group->setExpanded(true);
        QFont bold = listView.font();
        bold.setBold(true);
        group->setFont(0, bold);
        group->setHidden(true);  // a group shows once it holds an entry
    }
}

void RomList::add(const RomListEntry& entry) {
    const QString text = VisibleText(FromPath(entry.text()));
    m_listBox.addItem(text);
    QTreeWidgetItem* group = GroupOfEntry(entry) == RomGroup::Nds ? m_ndsGroup : m_gbaGroup;
    m_listViewItems.push_back(new QTreeWidgetItem(group, {text}));
    m_entries.push_back(entry);
    group->setHidden(false);
    makeRoomFor(text);
}

void RomList::markBadDump(std::size_t index, const QString& reason) {
    if (index >= m_entries.size()) {
        return;
    }
    QListWidgetItem* row = m_listBox.item(static_cast<int>(index));
    QTreeWidgetItem* item = m_listViewItems[index];
    if (reason.isEmpty()) {
        for (const int role : {Qt::ForegroundRole, Qt::DecorationRole, Qt::ToolTipRole}) {
            row->setData(role, {});
            item->setData(0, role, {});
        }
        return;
    }
    // The lists keep the window's light colours whatever the desktop's scheme: a dark red
    // reads on their white ground, and the warning icon tells it apart without colour.
    const QBrush badDumpText(QColor(170, 0, 0));
    const QIcon warning = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    row->setForeground(badDumpText);
    row->setIcon(warning);
    row->setToolTip(reason);
    item->setForeground(0, badDumpText);
    item->setIcon(0, warning);
    item->setToolTip(0, reason);
}

void RomList::makeRoomFor(const QString& text) {
    const int width = QFontMetrics(m_listView.font()).horizontalAdvance(text);
    if (width <= m_widestText) {
        return;
    }
    m_widestText = width;
    // An entry sits two indentations in (its group's and its own), and the style keeps a
    // margin on either side of the text.
    const int margin =
        m_listView.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &m_listView) + 1;
    const int needed = 2 * m_listView.indentation() + width + 2 * margin;
    // The stretched column is never narrower than the header's minimum.
    m_listView.header()->setMinimumSectionSize(std::max(m_narrowestColumn, needed));
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
    m_entries.clear();
    m_widestText = 0;
    m_listView.header()->setMinimumSectionSize(m_narrowestColumn);
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

std::vector<RomListEntry> RomList::entriesToProcess(bool fromListView, bool selectedOnly) const {
    if (!selectedOnly) {
        return m_entries;
    }
    std::vector<RomListEntry> entries;
    // The selection is read once, as a list of rows: asking each item whether it is
    // selected goes through all the selection's ranges every time, which with thousands of
    // entries selected one by one takes seconds.
    const std::vector<bool> selected = selectedRows(fromListView);
    if (fromListView) {
        for (std::size_t i = 0; i < m_listViewItems.size(); ++i) {
            if (selected[i]) {
                entries.push_back(m_entries[i]);
            }
        }
        return entries;
    }
    // The list box answers for the first item of that text, letter case aside: an entry
    // counts as selected when that item is. The first item of each text is found once,
    // so that a list of 20,000 entries is gone through in one pass, not once per entry.
    QHash<QString, int> firstOfText;
    firstOfText.reserve(m_listBox.count());
    for (int i = 0; i < m_listBox.count(); ++i) {
        const QString text = m_listBox.item(i)->text().toCaseFolded();
        auto first = firstOfText.constFind(text);
        if (first == firstOfText.constEnd()) {
            first = firstOfText.insert(text, i);
        }
        if (selected[static_cast<std::size_t>(*first)]) {
            entries.push_back(m_entries[static_cast<std::size_t>(i)]);
        }
    }
    return entries;
}

std::vector<bool> RomList::selectedRows(bool fromListView) const {
    std::vector<bool> selected(m_entries.size(), false);
    if (fromListView) {
        // The entries' items by the order they were added; group headings are no entries.
        QHash<const QTreeWidgetItem*, std::size_t> rowOfItem;
        rowOfItem.reserve(static_cast<qsizetype>(m_listViewItems.size()));
        for (std::size_t i = 0; i < m_listViewItems.size(); ++i) {
            rowOfItem.insert(m_listViewItems[i], i);
        }
        for (const QTreeWidgetItem* item : m_listView.selectedItems()) {
            if (const auto row = rowOfItem.constFind(item); row != rowOfItem.constEnd()) {
                selected[*row] = true;
            }
        }
        return selected;
    }
    for (const QModelIndex& index : m_listBox.selectionModel()->selectedIndexes()) {
        if (index.row() >= 0 && static_cast<std::size_t>(index.row()) < selected.size()) {
            selected[static_cast<std::size_t>(index.row())] = true;
        }
    }
    return selected;
}

const RomListEntry* RomList::selectedEntry(bool fromListView) const {
    if (fromListView) {
        const QList<QTreeWidgetItem*> selected = m_listView.selectedItems();
        if (selected.size() != 1) {
            return nullptr;
        }
        const auto item =
            std::find(m_listViewItems.begin(), m_listViewItems.end(), selected.front());
        if (item == m_listViewItems.end()) {
            return nullptr;  // a group heading is no entry
        }
        return &m_entries[static_cast<std::size_t>(item - m_listViewItems.begin())];
    }
    const int index = m_listBox.currentRow();
    if (index < 0 || index >= m_listBox.count() || !m_listBox.item(index)->isSelected()) {
        return nullptr;
    }
    return &m_entries[static_cast<std::size_t>(index)];
}

}  // namespace ostravex::app
