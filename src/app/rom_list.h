#pragma once

#include <QTimer>
#include <cstddef>
#include <functional>
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
//
// Entries added one by one show at once. Those of a scan or a drop (between beginUpdate and
// endUpdate) are taken at once but shown in slices from the event loop, a batch of items
// at a time, as the log shows its lines: however many a scan lists, the window's own events
// get through between slices, and the views lay out a batch at a time, never all of them
// in one go at the end.
class RomList {
  public:
    RomList(QListWidget& listBox, QTreeWidget& listView);

    void add(const RomListEntry& entry);
    // The entries listed, shown or about to be.
    std::size_t count() const;
    void clear();
    // A scan or drop adds its entries from here on, to be shown in slices.
    void beginUpdate();
    void endUpdate();
    // Every entry listed is shown in both views.
    bool allShown() const { return m_shown == m_entries.size(); }
    // Runs `then` once every entry listed is shown (at once when they are).
    void whenAllShown(std::function<void()> then);

    // Several entries may be selected (for "Process only selected"), or one.
    void setMultipleSelection(bool multiple);

    // The entries a run takes, in list order: every one, or only the selected ones.
    std::vector<RomListEntry> entriesToProcess(bool fromListView, bool selectedOnly) const;
    // The entry the header window is for: the one selected entry; null when none is.
    const RomListEntry* selectedEntry(bool fromListView) const;

    // The report list's items in the order they were added; item i shows entry i.
    const std::vector<QTreeWidgetItem*>& listViewItems() const { return m_listViewItems; }

  private:
    // The report list's column fills the list, and is as wide as its longest name needs.
    void makeRoomFor(const QString& text);
    // Shows entries not yet shown, in batches, for one slice's time.
    void showSlice();
    // Shows the entries from the first not shown up to `end`, one batch in each view.
    void showUpTo(std::size_t end);

    QListWidget& m_listBox;
    QTreeWidget& m_listView;
    QTreeWidgetItem* m_ndsGroup;
    QTreeWidgetItem* m_gbaGroup;
    std::vector<RomListEntry> m_entries;
    std::vector<QTreeWidgetItem*> m_listViewItems;
    int m_narrowestColumn;
    int m_widestText = 0;
    std::size_t m_shown = 0;  // the first entries, shown in both views
    bool m_inBulk = false;    // between beginUpdate and endUpdate
    QTimer m_sliceTimer;
    std::vector<std::function<void()>> m_whenAllShown;
};

}  // namespace ostravex::app
