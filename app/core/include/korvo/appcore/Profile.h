// Key-by-key access to an INI settings file, with the semantics that files
// written by earlier versions of the tool rely on.
//
// Every call opens the file anew; nothing is cached, so a value written by
// one call is what the next call reads, and a file edited by hand between two
// calls is seen at once. Any thread may call; see below for concurrent writes.
//
// The file format, as read:
//  - The file is UTF-8 (a leading byte order mark is skipped and kept). Lines
//    end in LF or CR LF.
//  - A section starts with a line "[name]" (blanks allowed around it and
//    around the name; text after the ']' is ignored). Lines before the first
//    section belong to no section and are never looked up.
//  - An entry is "key=value"; a line without '=' is a key with an empty value.
//    A line whose first non-blank character is ';' is a comment.
//  - Section and key names match without regard to ASCII case. Blanks around
//    keys and values are ignored. A value wrapped in double quotes loses them.
//  - When a section name occurs twice only the first section counts; within
//    a section only the first entry of a key counts.
//
// And as written:
//  - An existing key's line is rewritten as "key=value" under the key's
//    stored spelling; a new key goes after the last non-blank line of its
//    section; a new section goes to the end of the file. Every other line,
//    comments and blank lines included, survives with its text unchanged.
//  - Every line is written with CR LF.
//  - A value that would not read back as itself (blanks at either end, or
//    wrapped in double quotes already) is stored inside one more pair of
//    double quotes, so every value that can be written reads back exactly.
//  - The file is replaced atomically: after a crash or power loss it holds
//    either the old or the new contents, never a mixture. A reader never
//    sees half a write.
//  - Writes from several threads or processes at once are serialised by an
//    exclusive lock on the file, so none loses a key another one wrote.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace korvo {

// The longest text ReadProfileText returns, in 16-bit characters (the width
// of the window's texts), matching the fixed buffer the format has always
// been read into.
inline constexpr size_t kProfileTextMaxChars = 49;

// The value of `key` in `section`, cut to kProfileTextMaxChars characters (a
// character outside the 16-bit range counts as two and is never split, and
// neither is a UTF-8 sequence). A missing file, section or key, or an empty
// value, gives `defaultValue` (cut the same way).
std::string ReadProfileText(const std::string& path, std::string_view section, std::string_view key,
                            std::string_view defaultValue = {});

// The value of `key` in `section` read as a number by ParseProfileInt. A
// missing file, section or key, or an empty value, gives `defaultValue`.
uint32_t ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                        uint32_t defaultValue);

// The number rule of ReadProfileInt: blanks, then one optional sign, then the
// lower-case prefix "0x", "0o" or "0b" for hexadecimal, octal or binary, else
// decimal ("010" is 10); digits are read up to the first that does not belong
// to the base, and the result is taken modulo 2^32 (a sign negates modulo
// 2^32). So "-1" is 4294967295, "4294967296" is 0, "12abc" is 12, and "abc",
// "0X1F" and "" are 0.
uint32_t ParseProfileInt(std::string_view text);

// One key to write: WriteProfileTexts applies a list of them in one go.
struct ProfileEntry {
    std::string section;
    std::string key;
    std::string value;
};

// Sets `key` in `section` to `value`, creating the file, the section and the
// key as needed. Returns false, with a reason in *error when it is not null,
// when the file could not be replaced (it is then unchanged) or when a name
// or the value cannot be stored in a line: a section or key that is empty,
// has blanks at either end or holds a line break; a section holding ']'; a
// key holding '=' or starting with '[' or ';'; a value holding a line break
// or a NUL. Blocks for the disk flush.
bool WriteProfileText(const std::string& path, std::string_view section, std::string_view key,
                      std::string_view value, std::string* error = nullptr);

// Writes every entry, in order, in one replacement of the file: the result is
// the file that writing them one by one would give, but a crash leaves either
// none or all of them stored. If any entry is refused nothing is written.
bool WriteProfileTexts(const std::string& path, std::span<const ProfileEntry> entries,
                       std::string* error = nullptr);

}  // namespace korvo
