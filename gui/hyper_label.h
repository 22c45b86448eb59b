#pragma once
// THyperLabel: a text label that looks and behaves like a hyperlink. Navy and underlined at
// rest, HyperColour while the mouse is over it, PressedColour while a button is held on it;
// a press and release inside opens URL.
#include <functional>

#include <QColor>
#include <QLabel>
#include <QString>

namespace veltrane::gui {

class THyperLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QColor HyperColour READ HyperColour WRITE SetHyperColour)
    Q_PROPERTY(QColor PressedColour READ PressedColour WRITE SetPressedColour)
    Q_PROPERTY(QString URL READ URL WRITE SetURL)

public:
    // Hands an address to the desktop; the label does not learn whether it opened.
    using UrlOpener = std::function<void(const QString& url)>;

    explicit THyperLabel(QWidget* parent = nullptr);

    QColor HyperColour() const { return HyperColour_; }
    void SetHyperColour(const QColor& colour) { HyperColour_ = colour; }
    QColor PressedColour() const { return PressedColour_; }
    void SetPressedColour(const QColor& colour) { PressedColour_ = colour; }
    QString URL() const { return URL_; }
    void SetURL(const QString& url) { URL_ = url; }
    void SetUrlOpener(UrlOpener opener) { Opener_ = std::move(opener); }

    // The colour the text is drawn in.
    QColor FontColour() const;
    void SetFontColour(const QColor& colour);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void MouseEnter();
    void MouseLeave();
    // While a button is held Qt keeps the mouse on this label and holds back enter and leave
    // until the release, so crossing the edge is followed from the mouse position instead.
    void FollowPointer(const QPointF& position);

    QColor HyperColour_;
    QColor PressedColour_;
    QString URL_;
    UrlOpener Opener_;
    QColor SavedColour_;       // the font colour when the mouse entered
    bool MouseInside_ = false;
    bool Pressed_ = false;     // from a press on the label until its release
};

}  // namespace veltrane::gui
