#pragma once

#include <cstddef>
#include <vector>

#include "romlist/rom_list_entry.h"

class QListWidget;
class QString;
class QTreeWidget;
class QTreeWidgetItem;

namespace ostravex::app {

// The ROM list in its two views, always filled together: the flat list box and the report
// list with its "NDS Roms" and "GBA Roms" groups. Which one is shown is the window's
// choice; the list answers from the view it is told is shown. Row i of the list box and
// item i of the report list show entry i: the entries, not the texts shown, are what a run
// and the header window take.
class RomList {
  public:
    RomList(QListWidget& listBox, QTreeWidget& listView);

    void add(const RomListEntry& entry);
    std::size_t count() const;
    void clear();
    // While a scan adds many entries, the views need not repaint.
    void beginUpdate();
    void endUpdate();

    // Several entries may be selected (for "Process only selected"), or one.
    void setMultipleSelection(bool multiple);

    // The entries a run takes, in list order: every one, or only the selected ones.
    std::vector<RomListEntry> entriesToProcess(bool fromListView, bool selectedOnly) const;
    // The entry the header window is for: the one selected entry; null when none is.
    const RomListEntry* selectedEntry(bool fromListView) const;

    // Entry i of both views, in the order added.
    const std::vector<RomListEntry>& entries() const { return m_entries; }
    // Marks entry `index` in both views as a bad dump, with `reason` as its tooltip (an
    // icon and a dark red text); an empty reason takes the mark away.
    void markBadDump(std::size_t index, const QString& reason);

    // The report list's items in the order they were added; item i shows entry i.
    const std::vector<QTreeWidgetItem*>& listViewItems() const { return m_listViewItems; }

  private:
    // Which entries are selected in the list shown, by their place in the list.
    std::vector<bool> selectedRows(bool fromListView) const;
    // The report list's column fills the list, and is as wide as its longest name needs.
    void makeRoomFor(const QString& text);

    QListWidget& m_listBox;
    QTreeWidget& m_listView;
    QTreeWidgetItem* m_ndsGroup;
    QTreeWidgetItem* m_gbaGroup;
    std::vector<RomListEntry> m_entries;
    std::vector<QTreeWidgetItem*> m_listViewItems;
    int m_narrowestColumn;
    int m_widestText = 0;
};

}  // namespace ostravex::app
