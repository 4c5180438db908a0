// The window's texts (QString, UTF-16) as the 16-bit strings of the
// libraries below, and back.
#pragma once

#include <QString>
#include <string>
#include <string_view>

inline std::u16string ToU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
}

inline QString FromU16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
