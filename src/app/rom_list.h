#pragma once

#include <QStringList>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace ostravex::app {

// The ROM list in its two views, always filled together: the flat list box and the report
// list with its "NDS Roms" and "GBA Roms" groups. Which one is shown is the window's
// choice; the list answers from the view it is told is shown.
class RomList {
  public:
    RomList(QListWidget& listBox, QTreeWidget& listView);

    void add(const std::string& entry);
    std::size_t count() const;
    void clear();
    // While a scan adds many entries, the views need not repaint.
    void beginUpdate();
    void endUpdate();

    // Several entries may be selected (for "Process only selected"), or one.
    void setMultipleSelection(bool multiple);

    // The entries a run takes, in list order: every one, or only the selected ones.
    QStringList entriesToProcess(bool fromListView, bool selectedOnly) const;
    // The entry the header window is for: the one selected entry; nothing when none is.
    std::optional<QString> selectedEntry(bool fromListView) const;

    // The report list's entries in the order they were added.
    const std::vector<QTreeWidgetItem*>& listViewItems() const { return m_listViewItems; }

  private:
    QListWidget& m_listBox;
    QTreeWidget& m_listView;
    QTreeWidgetItem* m_ndsGroup;
    QTreeWidgetItem* m_gbaGroup;
    std::vector<QTreeWidgetItem*> m_listViewItems;
};

}  // namespace ostravex::app
