// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the window meets the core's paths. Texts of the window model are UTF-8
// (QString::fromStdString takes them as they are); file paths are the platform's own byte
// strings (what open() takes), which is a different thing, so they have their own pair of
// conversions.
#include <string>

#include <QByteArray>
#include <QFile>
#include <QString>

namespace veltrane::gui {

inline QString PathFromCore(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

inline std::string PathToCore(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace veltrane::gui
