#include "web/TextConversion.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace korvo::web {

namespace {

constexpr char kUnmapped = '?';

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool IsUtf8Name(std::string_view name) {
    std::string lower;
    for (char c : name) {
        if (c != '-' && c != '_') {
            lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
    }
    return lower == "utf8" || lower.empty();
}

std::string WideToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            out += kUnmapped;
            continue;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// Decodes one UTF-8 sequence at text[i] (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF). Returns its length, or 0 when the
// byte there does not start a valid sequence.
std::size_t DecodeUtf8(std::string_view text, std::size_t i, std::uint32_t& cp) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    std::uint32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1Fu, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0Fu, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07u, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

std::u16string Utf8ToWide(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = 0;
        const std::size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) {
            out += static_cast<char16_t>(kUnmapped);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

constexpr const char* kUtf16Native =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

class Iconv {
public:
    Iconv(const std::string& to, const std::string& from)
        : m_cd(iconv_open(to.c_str(), from.c_str())) {}
    ~Iconv() {
        if (Valid()) {
            iconv_close(m_cd);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts all of [in, in + size). `skip(pos)` tells how many input
    // bytes one unconvertible character at `pos` occupies; `bad` is appended
    // to the output in its place.
    template <typename Skip>
    std::string Run(const char* in, std::size_t size, std::string_view bad, Skip skip) {
        std::string out;
        std::size_t done = 0;
        char buf[1024];
        while (done < size) {
            char* src = const_cast<char*>(in + done);
            std::size_t left = size - done;
            char* dst = buf;
            std::size_t room = sizeof buf;
            const std::size_t rc = iconv(m_cd, &src, &left, &dst, &room);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            done = size - left;
            if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
                out.append(bad);
                done = errno == EINVAL ? size : std::min(size, done + skip(done));
            }
        }
        // Flush any shift state so that a stateful set ends cleanly.
        char* dst = buf;
        std::size_t room = sizeof buf;
        iconv(m_cd, nullptr, nullptr, &dst, &room);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        return out;
    }

private:
    iconv_t m_cd;
};

}  // namespace

std::string CurrentAnsiCharset() {
    const locale_t loc = uselocale(static_cast<locale_t>(0));
    const char* name = loc == LC_GLOBAL_LOCALE ? nl_langinfo(CODESET) : nl_langinfo_l(CODESET, loc);
    // glibc names the set of the "C" locale "ANSI_X3.4-1968": a program
    // that has not chosen a locale talks UTF-8.
    if (name == nullptr || IsUtf8Name(name) || std::strcmp(name, "ANSI_X3.4-1968") == 0) {
        return "UTF-8";
    }
    return name;
}

std::string WideToAnsi(std::u16string_view text) { return WideToAnsi(text, CurrentAnsiCharset()); }

std::u16string AnsiToWide(std::string_view text) { return AnsiToWide(text, CurrentAnsiCharset()); }

std::string WideToAnsi(std::u16string_view text, std::string_view charset) {
    if (IsUtf8Name(charset)) {
        return WideToUtf8(text);
    }
    Iconv cv(std::string(charset), kUtf16Native);
    if (!cv.Valid()) {
        return WideToUtf8(text);
    }
    const auto* bytes = reinterpret_cast<const char*>(text.data());
    return cv.Run(bytes, text.size() * 2, std::string_view(&kUnmapped, 1), [&](std::size_t pos) {
        const std::size_t unit = pos / 2;
        const bool pair = unit + 1 < text.size() && IsHighSurrogate(text[unit]) &&
                          IsLowSurrogate(text[unit + 1]);
        return std::size_t{pair ? 4u : 2u};
    });
}

std::u16string AnsiToWide(std::string_view text, std::string_view charset) {
    if (IsUtf8Name(charset)) {
        return Utf8ToWide(text);
    }
    Iconv cv(kUtf16Native, std::string(charset));
    if (!cv.Valid()) {
        return Utf8ToWide(text);
    }
    const char16_t bad16 = kUnmapped;
    const std::string raw = cv.Run(text.data(), text.size(),
                                   std::string_view(reinterpret_cast<const char*>(&bad16), 2),
                                   [](std::size_t) { return std::size_t{1}; });
    std::u16string out(raw.size() / 2, u'\0');
    std::memcpy(out.data(), raw.data(), out.size() * 2);
    return out;
}

}  // namespace korvo::web
