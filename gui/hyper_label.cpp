#include "gui/hyper_label.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPalette>

namespace veltrane::gui {

THyperLabel::THyperLabel(QWidget* parent) : QLabel(parent) {
    HyperColour_ = QColor(0x00, 0x00, 0xFF);
    SetFontColour(QColor(0x00, 0x00, 0x80));
    URL_.clear();
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    PressedColour_ = QColor(0xFF, 0x00, 0x00);
    setCursor(Qt::PointingHandCursor);
    SavedColour_ = FontColour();
}

QColor THyperLabel::FontColour() const { return palette().color(QPalette::WindowText); }

void THyperLabel::SetFontColour(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

void THyperLabel::MouseEnter() {
    SavedColour_ = FontColour();
    SetFontColour(Pressed_ ? PressedColour_ : HyperColour_);
    MouseInside_ = true;
}

void THyperLabel::MouseLeave() {
    SetFontColour(SavedColour_);
    MouseInside_ = false;
}

void THyperLabel::FollowPointer(const QPointF& position) {
    const bool inside = rect().contains(position.toPoint());
    if (inside && !MouseInside_) MouseEnter();
    if (!inside && MouseInside_) MouseLeave();
}

void THyperLabel::enterEvent(QEnterEvent* event) {
    // A second enter without a leave in between (one held back during a press) changes nothing.
    if (!MouseInside_) MouseEnter();
    QLabel::enterEvent(event);
}

void THyperLabel::leaveEvent(QEvent* event) {
    if (MouseInside_) MouseLeave();
    QLabel::leaveEvent(event);
}

void THyperLabel::mousePressEvent(QMouseEvent* event) {
    // A press is always inside; the enter may not have come (touch input, a window that was
    // just raised under the pointer).
    if (!MouseInside_) MouseEnter();
    SetFontColour(PressedColour_);
    Pressed_ = true;
    QLabel::mousePressEvent(event);
}

void THyperLabel::mouseMoveEvent(QMouseEvent* event) {
    if (Pressed_) FollowPointer(event->position());
    QLabel::mouseMoveEvent(event);
}

void THyperLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (Pressed_) FollowPointer(event->position());
    SetFontColour(MouseInside_ ? HyperColour_ : SavedColour_);
    Pressed_ = false;
    if (MouseInside_ && !URL_.isEmpty() && Opener_) Opener_(URL_);
    QLabel::mouseReleaseEvent(event);
}

}  // namespace veltrane::gui
