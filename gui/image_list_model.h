// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The image list as Qt's views see it: a list model over the window model. Each row's text is
// the window model's list line and its background the window model's RowColour; the main window
// tells this model when rows were added, cleared or recoloured, so that the views follow.
#include <QAbstractListModel>

#include "core/window/main_window_model.h"

namespace veltrane::gui {

class ImageListModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit ImageListModel(const window::MainWindowModel& window, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // Qt::DisplayRole: the line; Qt::BackgroundRole: the row's colour as a brush.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The window model's list has been emptied.
    void Cleared();
    // The window model's list has one line more.
    void LineAppended();
    // The colours follow another mode or selection.
    void ColoursChanged();

private:
    const window::MainWindowModel& window_;
    int rows_ = 0;  // the lines of the window model's list that the views know of
};

}  // namespace veltrane::gui
