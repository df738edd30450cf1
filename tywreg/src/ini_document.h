// ini_document.h: the text of a settings file, kept line by line.
//
// The file is a list of "[key]" headers, each followed by "name=value" entries. Lines that
// are neither (comments, blank lines, damaged lines) are carried along unchanged, so a
// rewrite after one change gives back every other byte of the file as it was.
#ifndef TYWREG_INI_DOCUMENT_H
#define TYWREG_INI_DOCUMENT_H

#include <optional>
#include <string>
#include <vector>

namespace tywreg {

class IniDocument {
public:
    // Splits `text` into lines. Never fails: what cannot be understood is kept as it is.
    static IniDocument Parse(const std::string& text);

    // The value of the first entry `name` in the first section `key` that has one (both
    // compared without regard to case), or nothing.
    std::optional<std::string> Find(const std::string& key, const std::string& name) const;

    // Gives the first entry `name` under `key` the value `value`; when there is none, adds it
    // after the last entry of the first section `key`, or adds that section at the end.
    // REQUIRES: CanHold(key, name, value).
    void Set(const std::string& key, const std::string& name, const std::string& value);

    // True when the entry can be written so that Find reads the same value back: one line
    // each, the name not mistaken for a comment or header and free of '='.
    static bool CanHold(const std::string& key, const std::string& name, const std::string& value);

    // The whole text again.
    std::string Serialize() const;

private:
    enum class LineKind { kOther, kHeader, kEntry };

    struct Line {
        std::string raw;  // the line as stored, without its line end
        LineKind kind = LineKind::kOther;
        std::string key;    // kHeader: the text between the brackets
        std::string name;   // kEntry
        std::string value;  // kEntry
    };

    static Line ParseLine(std::string raw);
    // Gives the last line its line end before another line follows it.
    void EndLastLine(const std::string& carriageReturn);
    // Index of the line after the first header `key`'s last entry, or nothing.
    std::optional<size_t> FindInsertionPoint(const std::string& key) const;

    std::vector<Line> lines_;
    std::string lineEnd_ = "\n";
    bool endsWithLineEnd_ = true;
};

}  // namespace tywreg

#endif  // TYWREG_INI_DOCUMENT_H
