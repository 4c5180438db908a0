#include "IniDocument.h"

#include "TextRules.h"

namespace korvo::ini {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

Line Classify(std::string_view text) {
    Line line;
    line.text = std::string(text);
    std::string_view rest = Trim(text);
    if (rest.empty()) {
        line.kind = LineKind::Blank;
    } else if (rest.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (rest.front() == '[' && rest.find(']') != std::string_view::npos) {
        line.kind = LineKind::Section;
        line.name = std::string(Trim(rest.substr(1, rest.find(']') - 1)));
    } else {
        line.kind = LineKind::Entry;
        size_t equals = rest.find('=');
        line.name = std::string(Trim(rest.substr(0, equals)));
        if (equals != std::string_view::npos) line.value = std::string(Trim(rest.substr(equals + 1)));
    }
    return line;
}

// Index of the first section header called `section`, or lines.size().
size_t FindSection(const Document& document, std::string_view section) {
    for (size_t i = 0; i < document.lines.size(); ++i) {
        const Line& line = document.lines[i];
        if (line.kind == LineKind::Section && NamesEqual(line.name, section)) return i;
    }
    return document.lines.size();
}

// Index of the next section header after `header`, or lines.size().
size_t SectionEnd(const Document& document, size_t header) {
    size_t i = header + 1;
    while (i < document.lines.size() && document.lines[i].kind != LineKind::Section) ++i;
    return i;
}

std::string EntryText(std::string_view key, std::string_view value) {
    std::string text(key);
    text += '=';
    text += Quote(value);
    return text;
}

}  // namespace

Document Parse(std::string_view contents) {
    Document document;
    if (contents.substr(0, kBom.size()) == kBom) {
        document.utf8Bom = true;
        contents.remove_prefix(kBom.size());
    }
    while (!contents.empty()) {
        size_t end = contents.find('\n');
        std::string_view text = contents.substr(0, end);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        document.lines.push_back(Classify(text));
        if (end == std::string_view::npos) break;
        contents.remove_prefix(end + 1);
    }
    return document;
}

std::string Serialize(const Document& document) {
    std::string out;
    if (document.utf8Bom) out += kBom;
    for (const Line& line : document.lines) {
        out += line.text;
        out += "\r\n";
    }
    return out;
}

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

const Line* FindEntry(const Document& document, std::string_view section, std::string_view key) {
    size_t header = FindSection(document, section);
    if (header == document.lines.size()) return nullptr;
    size_t end = SectionEnd(document, header);
    for (size_t i = header + 1; i < end; ++i) {
        const Line& line = document.lines[i];
        if (line.kind == LineKind::Entry && NamesEqual(line.name, key)) return &line;
    }
    return nullptr;
}

std::string Unquote(std::string_view rawValue) {
    if (rawValue.size() >= 2 && rawValue.front() == '"' && rawValue.back() == '"') {
        rawValue = rawValue.substr(1, rawValue.size() - 2);
    }
    return std::string(rawValue);
}

std::string Quote(std::string_view value) {
    bool needsQuotes = (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()))) ||
                       (value.size() >= 2 && value.front() == '"' && value.back() == '"');
    if (!needsQuotes) return std::string(value);
    std::string quoted = "\"";
    quoted += value;
    quoted += '"';
    return quoted;
}

void SetEntry(Document& document, std::string_view section, std::string_view key,
              std::string_view value) {
    auto& lines = document.lines;
    size_t header = FindSection(document, section);
    if (header == lines.size()) {
        std::string header = "[";
        header.append(section);
        header += ']';
        lines.push_back(Classify(header));
        lines.push_back(Classify(EntryText(key, value)));
        return;
    }
    size_t end = SectionEnd(document, header);
    size_t insertAt = header + 1;
    for (size_t i = header + 1; i < end; ++i) {
        Line& line = lines[i];
        if (line.kind == LineKind::Entry && NamesEqual(line.name, key)) {
            line = Classify(EntryText(line.name, value));
            return;
        }
        if (line.kind != LineKind::Blank) insertAt = i + 1;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), Classify(EntryText(key, value)));
}

}  // namespace korvo::ini
