// The one parser behind every profile read and write: it splits a settings
// file into lines and classifies each, and it edits the list so that a write
// touches nothing but the line of its key.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::ini {

enum class LineKind {
    Blank,    // only blanks
    Comment,  // first non-blank character ';'
    Section,  // "[name]" after optional blanks; text after ']' is ignored
    Entry,    // anything else: "key=value", or a bare key with an empty value
};

struct Line {
    LineKind kind = LineKind::Blank;
    std::string text;   // the line as stored, without its line end
    std::string name;   // Section: the name; Entry: the key; blanks around cut off
    std::string value;  // Entry: the raw value, blanks around cut off, quotes kept
};

struct Document {
    bool utf8Bom = false;  // kept so that a rewrite does not drop it
    std::vector<Line> lines;
};

// Splits on LF; a CR before the LF belongs to the line end. Never fails.
Document Parse(std::string_view contents);

// The whole document with every line ended by CR LF.
std::string Serialize(const Document& document);

// ASCII case-insensitive equality: names keep their stored spelling but match
// whatever case the caller uses.
bool NamesEqual(std::string_view a, std::string_view b);

// The entry of `key` in the first section called `section`; a section that
// occurs again later and a key that occurs again later are not looked at.
const Line* FindEntry(const Document& document, std::string_view section, std::string_view key);

// The value as a reader sees it: a value wrapped in double quotes loses them.
std::string Unquote(std::string_view rawValue);

// The text to store so that Unquote of the stored, blank-trimmed value gives
// `value` back exactly: values with blanks at either end, or already wrapped
// in double quotes, get one more pair.
std::string Quote(std::string_view value);

// Sets `key` to `value` in the first section called `section`: the existing
// line is rewritten under its stored spelling, a new key goes after the last
// non-blank line of that section, a new section to the end of the document.
void SetEntry(Document& document, std::string_view section, std::string_view key,
              std::string_view value);

}  // namespace korvo::ini
