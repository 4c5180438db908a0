#include "korvo/appcore/Profile.h"

#include "AtomicFile.h"
#include "TextRules.h"
#include "IniDocument.h"

namespace korvo {

namespace {

// A file that cannot be read reads as an empty one: every key gives its default.
ini::Document Load(const std::string& path) {
    std::string contents;
    ReadWholeFile(path, &contents);
    return ini::Parse(contents);
}

// Length in bytes of the UTF-8 sequence that starts with `lead`; a byte that
// cannot start one counts alone, so broken text is still cut somewhere.
size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

std::string CutToWindowWidth(std::string_view text) {
    size_t units = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t length = SequenceLength(static_cast<unsigned char>(text[pos]));
        if (pos + length > text.size()) length = 1;
        size_t width = length == 4 ? 2 : 1;  // outside the 16-bit range: a surrogate pair
        if (units + width > kProfileTextMaxChars) break;
        units += width;
        pos += length;
    }
    return std::string(text.substr(0, pos));
}

bool HasBlankEnd(std::string_view name) {
    return IsBlank(name.front()) || IsBlank(name.back());
}

bool HoldsLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Why `entry` cannot be stored in a line of its own, or empty when it can.
std::string RefusalReason(const ProfileEntry& entry) {
    const std::string& section = entry.section;
    const std::string& key = entry.key;
    if (section.empty() || HasBlankEnd(section) || HoldsLineBreakOrNul(section) ||
        section.find(']') != std::string::npos) {
        return "section name \"" + section + "\" cannot be stored";
    }
    if (key.empty() || HasBlankEnd(key) || HoldsLineBreakOrNul(key) || key.find('=') != std::string::npos ||
        key.front() == '[' || key.front() == ';') {
        return "key name \"" + key + "\" cannot be stored";
    }
    if (HoldsLineBreakOrNul(entry.value)) {
        return "the value of " + section + "/" + key + " holds a line break or NUL";
    }
    return {};
}

}  // namespace

uint32_t ParseProfileInt(std::string_view text) {
    bool negative;
    size_t i = SkipBlanksAndSign(text, &negative);
    uint32_t base = 10;
    if (i + 1 < text.size() && text[i] == '0') {
        switch (text[i + 1]) {
            case 'x': base = 16; i += 2; break;
            case 'o': base = 8; i += 2; break;
            case 'b': base = 2; i += 2; break;
            default: break;
        }
    }
    uint32_t value = 0;  // unsigned arithmetic wraps: exactly modulo 2^32
    for (; i < text.size(); ++i) {
        char c = text[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
        else break;
        if (digit >= base) break;
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

std::string ReadProfileText(const std::string& path, std::string_view section, std::string_view key,
                            std::string_view defaultValue) {
    ini::Document document = Load(path);
    const ini::Line* entry = ini::FindEntry(document, section, key);
    std::string value = entry ? ini::Unquote(entry->value) : std::string();
    return CutToWindowWidth(value.empty() ? defaultValue : std::string_view(value));
}

uint32_t ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                        uint32_t defaultValue) {
    ini::Document document = Load(path);
    const ini::Line* entry = ini::FindEntry(document, section, key);
    if (!entry) return defaultValue;
    std::string value = ini::Unquote(entry->value);
    return value.empty() ? defaultValue : ParseProfileInt(value);
}

bool WriteProfileText(const std::string& path, std::string_view section, std::string_view key,
                      std::string_view value, std::string* error) {
    ProfileEntry entry{std::string(section), std::string(key), std::string(value)};
    return WriteProfileTexts(path, std::span<const ProfileEntry>(&entry, 1), error);
}

bool WriteProfileTexts(const std::string& path, std::span<const ProfileEntry> entries,
                       std::string* error) {
    for (const ProfileEntry& entry : entries) {
        std::string reason = RefusalReason(entry);
        if (!reason.empty()) {
            if (error) *error = reason;
            return false;
        }
    }
    // A file that exists but cannot be read is not replaced: a file holding
    // only these entries would lose every other stored key.
    return UpdateFileAtomically(
        path,
        [&](std::string& contents, std::string*) {
            ini::Document document = ini::Parse(contents);
            for (const ProfileEntry& entry : entries) {
                ini::SetEntry(document, entry.section, entry.key, entry.value);
            }
            contents = ini::Serialize(document);
            return true;
        },
        error);
}

}  // namespace korvo
