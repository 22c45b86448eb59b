// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/link_label.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPalette>

namespace veltrane::gui {

LinkLabel::LinkLabel(QWidget* parent)
    : QLabel(parent), hoverColour_(0x00, 0x00, 0xFF), pressedColour_(0xFF, 0x00, 0x00) {
    SetTextColour(QColor(0x00, 0x00, 0x80));
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    colourAtRest_ = TextColour();
}

QColor LinkLabel::TextColour() const { return palette().color(QPalette::WindowText); }

void LinkLabel::SetTextColour(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

void LinkLabel::PointerEntered() {
    colourAtRest_ = TextColour();
    SetTextColour(pressed_ ? pressedColour_ : hoverColour_);
    pointerInside_ = true;
}

void LinkLabel::PointerLeft() {
    SetTextColour(colourAtRest_);
    pointerInside_ = false;
}

void LinkLabel::FollowPointer(const QPointF& position) {
    const bool inside = rect().contains(position.toPoint());
    if (inside && !pointerInside_) PointerEntered();
    if (!inside && pointerInside_) PointerLeft();
}

void LinkLabel::enterEvent(QEnterEvent* event) {
    // A second enter without a leave in between (one held back during a press) changes nothing.
    if (!pointerInside_) PointerEntered();
    QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
    if (pointerInside_) PointerLeft();
    QLabel::leaveEvent(event);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    // A press is always inside; the enter may not have come (touch input, a window that was
    // just raised under the pointer).
    if (!pointerInside_) PointerEntered();
    SetTextColour(pressedColour_);
    pressed_ = true;
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseMoveEvent(QMouseEvent* event) {
    if (pressed_) FollowPointer(event->position());
    QLabel::mouseMoveEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (pressed_) FollowPointer(event->position());
    SetTextColour(pointerInside_ ? hoverColour_ : colourAtRest_);
    pressed_ = false;
    if (pointerInside_ && !url_.isEmpty() && opener_) opener_(url_);
    QLabel::mouseReleaseEvent(event);
}

}  // namespace veltrane::gui
