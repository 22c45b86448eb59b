// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A text label that looks and behaves like a hyperlink: navy and underlined at rest,
// HoverColour while the mouse is over it, PressedColour while a button is held on it; a press
// and release inside opens Url.
#include <functional>

#include <QColor>
#include <QLabel>
#include <QString>

namespace veltrane::gui {

class LinkLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QColor HoverColour READ HoverColour WRITE SetHoverColour)
    Q_PROPERTY(QColor PressedColour READ PressedColour WRITE SetPressedColour)
    Q_PROPERTY(QString Url READ Url WRITE SetUrl)

public:
    // Hands an address to the desktop; the label does not learn whether it opened.
    using UrlOpener = std::function<void(const QString& url)>;

    explicit LinkLabel(QWidget* parent = nullptr);

    QColor HoverColour() const { return hoverColour_; }
    void SetHoverColour(const QColor& colour) { hoverColour_ = colour; }
    QColor PressedColour() const { return pressedColour_; }
    void SetPressedColour(const QColor& colour) { pressedColour_ = colour; }
    QString Url() const { return url_; }
    void SetUrl(const QString& url) { url_ = url; }
    void SetUrlOpener(UrlOpener opener) { opener_ = std::move(opener); }

    // The colour the text is drawn in.
    QColor TextColour() const;
    void SetTextColour(const QColor& colour);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void PointerEntered();
    void PointerLeft();
    // While a button is held Qt keeps the mouse on this label and holds back enter and leave
    // until the release, so crossing the edge is followed from the mouse position instead.
    void FollowPointer(const QPointF& position);

    QColor hoverColour_;
    QColor pressedColour_;
    QString url_;
    UrlOpener opener_;
    QColor colourAtRest_;      // the text colour when the pointer entered
    bool pointerInside_ = false;
    bool pressed_ = false;     // from a press on the label until its release
};

}  // namespace veltrane::gui
