// The window's texts (QString, UTF-16) as the 16-bit strings of the
// libraries below, and back.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "web/TextConversion.h"

inline std::u16string ToU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
}

inline QString FromU16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// Text that goes to a device: the thread's 8-bit character set.
inline std::string ToRequestText(const QString& text) { return korvo::web::WideToAnsi(ToU16(text)); }
