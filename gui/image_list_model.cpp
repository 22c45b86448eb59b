// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/image_list_model.h"

#include <QBrush>
#include <QColor>

namespace veltrane::gui {

ImageListModel::ImageListModel(const window::MainWindowModel& window, QObject* parent)
    : QAbstractListModel(parent), window_(window) {}

int ImageListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

QVariant ImageListModel::data(const QModelIndex& index, int role) const {
    const std::vector<std::string>& lines = window_.ListLines();
    if (!index.isValid() || index.row() >= rows_ || index.row() >= static_cast<int>(lines.size())) return {};
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(lines[static_cast<std::size_t>(index.row())]);
        case Qt::BackgroundRole:
            return QBrush(QColor(static_cast<QRgb>(window_.RowColour(index.row()))));
        default:
            return {};
    }
}

void ImageListModel::Cleared() {
    beginResetModel();
    rows_ = 0;
    endResetModel();
}

void ImageListModel::LineAppended() {
    beginInsertRows(QModelIndex(), rows_, rows_);
    ++rows_;
    endInsertRows();
}

void ImageListModel::ColoursChanged() {
    if (rows_ > 0) emit dataChanged(index(0), index(rows_ - 1), {Qt::BackgroundRole});
}

}  // namespace veltrane::gui
