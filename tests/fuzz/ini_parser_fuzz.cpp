// ini_parser_fuzz: the settings store's INI document on arbitrary text, and changes to it.
//
// Input: a count of changes (first byte, 0 to 3), each change as NAME, KEY and VALUE ended by
// NUL bytes, then the text of the settings file.
//
// The document must give back the text byte for byte, and find every value the file holds
// exactly where a plain reading of the format puts it (the first entry of that name in any
// section of that key, both compared without regard to ASCII case). After each change the
// document is written out and read again: the changed value reads back, every other value reads
// as before, every old line is still there in order, and the new text reads back unchanged.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "ini_document.h"

namespace {

using fuzzsupport::Check;
using fuzzsupport::Escape;
using fuzzsupport::Reader;
using tywreg::IniDocument;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The format read plainly: "[key]" lines open a section, "name=value" lines in it are entries,
// lines starting with ';' or '#' and anything else are not; a line may end in CR LF; a byte
// order mark may start the file.
struct Entry {
    std::string key;
    std::string name;
    std::string value;
};

struct Reading {
    std::vector<Entry> entries;                           // entries inside a section, in order
    std::set<std::pair<std::string, std::string>> names;  // every (key, name) spelled in the file
};

Reading Read(const std::string& text) {
    Reading reading;
    std::optional<std::string> section;
    std::vector<std::string> lines = Lines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        if (i == 0 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;
        if (trimmed[0] == '[') {
            if (trimmed.size() >= 2 && trimmed.back() == ']') section = trimmed.substr(1, trimmed.size() - 2);
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string name = Trim(line.substr(0, equals));
        if (name.empty()) continue;
        if (section) {
            reading.entries.push_back(Entry{*section, name, line.substr(equals + 1)});
            reading.names.emplace(*section, name);
        }
    }
    return reading;
}

std::optional<std::string> Lookup(const Reading& reading, const std::string& key, const std::string& name) {
    for (const Entry& entry : reading.entries) {
        if (SameName(entry.key, key) && SameName(entry.name, name)) return entry.value;
    }
    return std::nullopt;
}

std::string Show(const std::optional<std::string>& value) { return value ? "\"" + Escape(*value) + "\"" : "nothing"; }

// Every value the file holds (and the one about to change) is found where the plain reading
// puts it.
void CheckValues(const IniDocument& document, const Reading& reading, const std::string& key, const std::string& name,
                 const std::string& what) {
    auto names = reading.names;
    names.emplace(key, name);
    for (const auto& [k, n] : names) {
        std::optional<std::string> found = document.Find(k, n);
        std::optional<std::string> expected = Lookup(reading, k, n);
        Check(found == expected, what + ": [" + Escape(k) + "] " + Escape(n) + " is " + Show(found) +
                                     ", the file holds " + Show(expected));
    }
}

bool IsSubsequence(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
    size_t at = 0;
    for (const std::string& line : whole) {
        if (at < part.size() && part[at] == line) ++at;
    }
    return at == part.size();
}

std::string ReadString(Reader& in) {
    std::string out;
    while (!in.Empty()) {
        char c = static_cast<char>(in.Byte());
        if (c == '\0') break;
        out.push_back(c);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    int changes = in.Byte() % 4;
    std::vector<Entry> wanted;
    for (int i = 0; i < changes; ++i) {
        std::string name = ReadString(in);
        std::string key = ReadString(in);
        std::string value = ReadString(in);
        wanted.push_back(Entry{key, name, value});
    }
    std::string text = in.Bytes(in.Remaining());

    IniDocument document = IniDocument::Parse(text);
    Check(document.Serialize() == text, "the document does not give back its text: \"" + Escape(text) + "\" became \"" +
                                            Escape(document.Serialize()) + "\"");
    Reading reading = Read(text);
    const std::string& firstKey = wanted.empty() ? std::string() : wanted[0].key;
    const std::string& firstName = wanted.empty() ? std::string("x") : wanted[0].name;
    CheckValues(document, reading, firstKey, firstName, "as read");

    for (const Entry& change : wanted) {
        bool storable = change.key.find_first_of("\r\n") == std::string::npos &&
                        change.name.find_first_of("\r\n") == std::string::npos &&
                        change.value.find_first_of("\r\n") == std::string::npos && !change.name.empty() &&
                        Trim(change.name) == change.name && change.name.find('=') == std::string::npos &&
                        change.name[0] != ';' && change.name[0] != '#' && change.name[0] != '[';
        Check(IniDocument::CanHold(change.key, change.name, change.value) == storable,
              "CanHold([" + Escape(change.key) + "] " + Escape(change.name) + " = " + Escape(change.value) +
                  ") is not what the format allows");
        if (!storable) continue;

        std::string before = document.Serialize();
        document.Set(change.key, change.name, change.value);
        std::string after = document.Serialize();
        std::string what = "after setting [" + Escape(change.key) + "] " + Escape(change.name) + " = \"" +
                           Escape(change.value) + "\" in \"" + Escape(before) + "\" giving \"" + Escape(after) + "\"";
        IniDocument reread = IniDocument::Parse(after);
        Check(reread.Serialize() == after, what + ": the new text does not read back unchanged");
        Check(reread.Find(change.key, change.name) == change.value, what + ": the value does not read back");
        Check(document.Find(change.key, change.name) == change.value, what + ": the document does not find it");

        // Every other value is as it was.
        Reading old = Read(before);
        Reading now = Read(after);
        for (const auto& [k, n] : old.names) {
            if (SameName(k, change.key) && SameName(n, change.name)) continue;
            std::optional<std::string> was = Lookup(old, k, n), is = Lookup(now, k, n);
            Check(is == was,
                  what + ": [" + Escape(k) + "] " + Escape(n) + " changed from " + Show(was) + " to " + Show(is));
        }
        CheckValues(reread, now, change.key, change.name, what);
        Check(Lookup(now, change.key, change.name) == change.value, what + ": the file does not hold the value");

        // The lines that were there stay, in order; a value that existed changes only its line.
        std::vector<std::string> oldLines = Lines(before), newLines = Lines(after);
        if (Lookup(old, change.key, change.name)) {
            size_t differing = 0;
            for (size_t i = 0; i < oldLines.size() && i < newLines.size(); ++i) differing += oldLines[i] != newLines[i];
            Check(oldLines.size() == newLines.size() && differing <= 1, what + ": more than the entry's line changed");
        } else {
            Check(IsSubsequence(oldLines, newLines) ||
                      (!oldLines.empty() &&
                       IsSubsequence(std::vector<std::string>(oldLines.begin(), oldLines.end() - 1), newLines)),
                  what + ": lines of the file were lost");
        }
    }
    return 0;
}
