#include "window_host.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <limits>

#include "rom_list.h"
#include "text_conversion.h"
#include "trtrim.h"
#include "user_dialogs.h"

namespace ostravex::app {
namespace {

// Pending events are let through at most this often during long work: often enough to
// keep the window responsive, rarely enough to cost nothing.
constexpr qint64 kPumpIntervalMs = 5;

}  // namespace

WindowHost::WindowHost(TRTrim& window, UserDialogs& dialogs)
    : m_window(window), m_dialogs(dialogs) {}

void WindowHost::addLog(const std::string& line, LineKind) {
    QPlainTextEdit* log = m_window.logText;
    log->appendPlainText(VisibleText(FromUtf8(line)));
    log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
}

void WindowHost::clearLog() {
    m_window.logText->clear();
}

void WindowHost::addRomEntry(const RomListEntry& entry) {
    m_window.romList().add(entry);
}

void WindowHost::clearRomList() {
    m_window.romList().clear();
}

void WindowHost::beginListUpdate() {
    m_window.romList().beginUpdate();
}

void WindowHost::endListUpdate() {
    m_window.romList().endUpdate();
}

void WindowHost::setLabel(CounterLabel label, const std::string& text) {
    QLabel* target = nullptr;
    switch (label) {
        case CounterLabel::Wifi:
            target = m_window.wifiLabel;
            break;
        case CounterLabel::Errors:
            target = m_window.errorsLabel;
            break;
        case CounterLabel::Skipped:
            target = m_window.skippedLabel;
            break;
        case CounterLabel::Complete:
            target = m_window.LabelComplete;
            break;
        case CounterLabel::Savings:
            target = m_window.LabelSavings;
            break;
    }
    target->setText(FromUtf8(text));
}

void WindowHost::setGauge(Gauge gauge, std::uint64_t position, std::uint64_t maximum) {
    QProgressBar* bar = gauge == Gauge::Run ? m_window.runProgress : m_window.SingleProgress;
    // A gauge counts in int: large sizes are shown in coarser steps.
    std::uint64_t scale = 1;
    while (maximum / scale > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) {
        scale *= 1024;
    }
    bar->setRange(0, static_cast<int>(maximum / scale));
    bar->setValue(static_cast<int>(std::min(position, maximum) / scale));
}

void WindowHost::pump() {
    if (m_sincePump.isValid() && m_sincePump.elapsed() < kPumpIntervalMs) {
        return;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sincePump.start();
}

void WindowHost::notice(const Notice& notice) {
    if (m_window.terminating()) {
        return;  // nobody is there to answer it: the program is ending
    }
    m_dialogs.message(&m_window, FromUtf8(notice.text));
}

void WindowHost::setBusy(bool busy) {
    m_window.setBusy(busy);
}

void WindowHost::entryFinished(const EntryFacts& facts) {
    m_window.entryFinished(facts);
}

std::string DecimalSeparator() {
    return QLocale().decimalPoint().toStdString();
}

}  // namespace ostravex::app
