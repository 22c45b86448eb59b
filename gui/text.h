#pragma once
// Where the window meets the core's strings. Display texts of the core are Windows-1252 byte
// strings; file paths are the platform's own byte strings (what open() takes), which is a
// different thing, so each has its own pair of conversions.
#include <string>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringDecoder>

#include "core/common/cp1252.h"

namespace veltrane::gui {

inline QString FromCp1252(const std::string& text) {
    return QString::fromUtf8(Cp1252ToUtf8(text));
}

inline std::string ToCp1252(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return Utf8ToCp1252(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

// An error's text. Most are Windows-1252 texts of the core, but some carry a file path, which
// on Linux is UTF-8: text that is valid UTF-8 is taken as such (Windows-1252 text with letters
// beyond ASCII practically never is).
inline QString FromErrorText(const std::string& text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return utf8.hasError() ? FromCp1252(text) : decoded;
}

inline QString PathFromCore(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

inline std::string PathToCore(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace veltrane::gui
