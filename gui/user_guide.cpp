// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/user_guide.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace veltrane::gui {

QString UserGuidePath(const QString& programPath, const QString& sourceDir) {
    QStringList candidates;
    if (!programPath.isEmpty()) {
        const QDir programFolder = QFileInfo(programPath).absoluteDir();
        candidates << programFolder.filePath(QStringLiteral("../share/doc/veltrane/user-guide.html"));
    }
    if (!sourceDir.isEmpty()) candidates << QDir(sourceDir).filePath(QStringLiteral("docs/user-guide.html"));
    for (const QString& candidate : candidates) {
        const QFileInfo page(candidate);
        if (page.isFile()) return QDir::cleanPath(page.absoluteFilePath());
    }
    return {};
}

QString UserGuideUrl(const QString& programPath) {
    // No build path is compiled in: a program run from its build folder finds the copy there
    // (the build folder mirrors the installed layout), and a developer may name a source tree.
    const QString path = UserGuidePath(programPath, qEnvironmentVariable("VELTRANE_SOURCE_DIR"));
    return path.isEmpty() ? QString() : QUrl::fromLocalFile(path).toString();
}

}  // namespace veltrane::gui
