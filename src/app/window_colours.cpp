#include "window_colours.h"

#include <QPalette>
#include <QWidget>

namespace ostravex::app {
namespace {

// Light colours for the controls, the desktop's whatever they are: a style's own palette
// follows a dark desktop theme, so it cannot be taken for them.
QPalette LightPalette(const QColor& ground) {
    const QColor button(239, 239, 239);
    QPalette palette(button, ground);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, Qt::black);
        palette.setColor(group, QPalette::Text, Qt::black);
        palette.setColor(group, QPalette::ButtonText, Qt::black);
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::AlternateBase, QColor(247, 247, 247));
        palette.setColor(group, QPalette::Highlight, QColor(48, 140, 198));
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::PlaceholderText, QColor(0, 0, 0, 128));
    }
    palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(145, 141, 126));
    // Disabled text stays dark enough to read.
    const QColor disabled(100, 100, 100);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, disabled);
    }
    palette.setColor(QPalette::Disabled, QPalette::Base, button);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(145, 145, 145));
    palette.setColor(QPalette::Disabled, QPalette::HighlightedText, Qt::white);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::ToolTipBase, QColor(255, 255, 220));
        palette.setColor(group, QPalette::ToolTipText, Qt::black);
        palette.setColor(group, QPalette::Link, QColor(0, 0, 204));
        palette.setColor(group, QPalette::LinkVisited, QColor(85, 26, 139));
    }
    return palette;
}

}  // namespace

void SetWindowColour(QWidget& window, const QColor& ground) {
    window.setAutoFillBackground(true);
    window.setPalette(LightPalette(ground));
}

}  // namespace ostravex::app
