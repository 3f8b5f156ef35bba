#include "rom_list.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QListWidget>
#include <QStyle>
#include <QTreeWidget>
#include <algorithm>

#include "text_conversion.h"

namespace ostravex::app {
namespace {

// The longest a slice shows entries before the window's own events get through, and the
// entries shown in one batch (one insertion, and one layout, per view).
constexpr qint64 kSliceMs = 4;
constexpr std::size_t kBatchSize = 200;

}  // namespace

RomList::RomList(QListWidget& listBox, QTreeWidget& listView)
    : m_listBox(listBox),
      m_listView(listView),
      m_ndsGroup(new QTreeWidgetItem(&listView, {"NDS Roms"})),
      m_gbaGroup(new QTreeWidgetItem(&listView, {"GBA Roms"})),
      m_narrowestColumn(listView.header()->minimumSectionSize()) {
    m_sliceTimer.setInterval(0);
    QObject::connect(&m_sliceTimer, &QTimer::timeout, &listBox, [this] { showSlice(); });
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
    m_entries.push_back(entry);
    if (m_inBulk || m_sliceTimer.isActive()) {
        if (!m_sliceTimer.isActive()) {
            m_sliceTimer.start();
        }
        return;
    }
    showUpTo(m_entries.size());
}

void RomList::showSlice() {
    QElapsedTimer slice;
    slice.start();
    while (!allShown() && slice.elapsed() < kSliceMs) {
        showUpTo(std::min(m_entries.size(), m_shown + kBatchSize));
    }
    if (!allShown()) {
        return;  // the timer comes again after the events waiting now
    }
    m_sliceTimer.stop();
    std::vector<std::function<void()>> waiting;
    waiting.swap(m_whenAllShown);
    for (const std::function<void()>& then : waiting) {
        then();
    }
}

void RomList::showUpTo(std::size_t end) {
    QStringList texts;
    QList<QTreeWidgetItem*> ndsItems;
    QList<QTreeWidgetItem*> gbaItems;
    for (std::size_t i = m_shown; i < end; ++i) {
        const QString text = VisibleText(FromPath(m_entries[i].text()));
        texts << text;
        auto* item = new QTreeWidgetItem(QStringList{text});
        m_listViewItems.push_back(item);
        (GroupOfEntry(m_entries[i]) == RomGroup::Nds ? ndsItems : gbaItems) << item;
        makeRoomFor(text);
    }
    m_shown = end;
    // One insertion per view and group: each view lays out once for the whole batch.
    m_listBox.addItems(texts);
    for (const auto& [group, items] : {std::pair{m_ndsGroup, ndsItems}, {m_gbaGroup, gbaItems}}) {
        if (!items.isEmpty()) {
            group->addChildren(items);
            group->setHidden(false);
        }
    }
}

void RomList::whenAllShown(std::function<void()> then) {
    if (allShown()) {
        then();
        return;
    }
    m_whenAllShown.push_back(std::move(then));
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
    return m_entries.size();
}

void RomList::clear() {
    m_listBox.clear();
    for (QTreeWidgetItem* group : {m_ndsGroup, m_gbaGroup}) {
        qDeleteAll(group->takeChildren());
        group->setHidden(true);
    }
    m_listViewItems.clear();
    m_entries.clear();
    m_shown = 0;
    m_sliceTimer.stop();
    m_widestText = 0;
    m_listView.header()->setMinimumSectionSize(m_narrowestColumn);
    std::vector<std::function<void()>> waiting;
    waiting.swap(m_whenAllShown);
    for (const std::function<void()>& then : waiting) {
        then();
    }
}

void RomList::beginUpdate() {
    m_inBulk = true;
}

void RomList::endUpdate() {
    m_inBulk = false;  // the slices go on until every entry is shown
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
    if (fromListView) {
        for (std::size_t i = 0; i < m_listViewItems.size(); ++i) {
            if (m_listViewItems[i]->isSelected()) {
                entries.push_back(m_entries[i]);
            }
        }
        return entries;
    }
    for (int i = 0; i < m_listBox.count(); ++i) {
        // The list box answers for the first item of that text.
        const QString text = m_listBox.item(i)->text();
        for (int j = 0; j < m_listBox.count(); ++j) {
            if (m_listBox.item(j)->text().compare(text, Qt::CaseInsensitive) == 0) {
                if (m_listBox.item(j)->isSelected()) {
                    entries.push_back(m_entries[static_cast<std::size_t>(i)]);
                }
                break;
            }
        }
    }
    return entries;
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
