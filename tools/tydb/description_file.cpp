#include "description_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "btrcall.h"
#include "key_options.h"

namespace tool {
namespace {

// Flags every segment of a key carries alike.
constexpr uint16_t kWholeKeyFlags = btr::kKeyFlagDuplicates | btr::kKeyFlagModifiable | btr::kKeyFlagNullAll |
                                    btr::kKeyFlagNullAny | btr::kKeyFlagSupplemental;
// Segment flags a description can say.
constexpr uint16_t kDescribedKeyFlags = kWholeKeyFlags | btr::kKeyFlagBinary | btr::kKeyFlagSegmented |
                                        btr::kKeyFlagAlternateSequence | btr::kKeyFlagDescending |
                                        btr::kKeyFlagExtendedType | btr::kKeyFlagNoCase;
constexpr uint16_t kDescribedFileFlags = btr::kFileFlagVariableLength | btr::kFileFlagBlankTruncation |
                                         btr::kFileFlagCompression | btr::kFileFlagSpecifyKeyNumbers;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

struct Token {
    int line = 0;
    std::string keyword;  // lower case
    std::string value;
};

// Splits the text into keyword=value pairs; a word without '=' continues the value before it
// ("type=unsigned binary").
bool Tokenize(const std::string& text, std::vector<Token>* tokens, std::string* error) {
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            const size_t equals = word.find('=');
            if (equals == std::string::npos) {
                if (tokens->empty()) {
                    *error = "line " + std::to_string(number) + ": \"" + word + "\" is not keyword=value";
                    return false;
                }
                tokens->back().value += " " + word;
                continue;
            }
            tokens->push_back({number, Lower(word.substr(0, equals)), word.substr(equals + 1)});
        }
    }
    return true;
}

struct Segment {
    BtrKeySpec spec{};
    bool more = false;     // segment=y
    int keyNumber = -1;    // keynumber=
    bool extended = true;  // extended=n: typed by the binary flag alone
    std::string type = "string";
    int line = 0;
};

struct Parsed {
    BtrFileSpec file{};
    bool recordGiven = false;
    int keys = -1;
    std::vector<Segment> segments;
    std::string acsName;
    int acsLine = 0;
    bool replace = false;
};

class Parser {
public:
    Parser(Parsed* out, std::vector<std::string>* warnings) : out_(out), warnings_(warnings) {
        out_->file.pageSize = 4096;
    }

    bool Apply(const Token& t, std::string* error) {
        line_ = t.line;
        error_ = error;
        const std::string& k = t.keyword;
        if (k == "record")
            return Number(t, 1, 65535, [&](int n) {
                out_->file.recordLength = static_cast<int16_t>(n);
                out_->recordGiven = true;
            });
        if (k == "page") return Number(t, 512, 4096, [&](int n) { out_->file.pageSize = static_cast<int16_t>(n); });
        if (k == "key") return Number(t, 0, 119, [&](int n) { out_->keys = n; });
        if (k == "variable") return FileFlag(t, btr::kFileFlagVariableLength);
        if (k == "truncate") return FileFlag(t, btr::kFileFlagBlankTruncation);
        if (k == "compress") return FileFlag(t, btr::kFileFlagCompression);
        if (k == "replace") return YesNo(t, &out_->replace);
        if (k == "name") {
            out_->acsName = t.value;
            out_->acsLine = t.line;
            return true;
        }
        if (k == "position") {
            out_->segments.emplace_back();
            out_->segments.back().line = t.line;
            return Number(t, 1, 65535, [&](int n) { out_->segments.back().spec.position = static_cast<int16_t>(n); });
        }
        return ApplyToSegment(t);
    }

private:
    bool Fail(const std::string& reason) {
        *error_ = "line " + std::to_string(line_) + ": " + reason;
        return false;
    }

    template <typename Set>
    bool Number(const Token& t, int low, int high, Set set) {
        int n = 0;
        const auto [end, problem] = std::from_chars(t.value.data(), t.value.data() + t.value.size(), n);
        if (problem != std::errc() || end != t.value.data() + t.value.size() || n < low || n > high) {
            return Fail(t.keyword + "=" + t.value + ": a number from " + std::to_string(low) + " to " +
                        std::to_string(high) + " is wanted");
        }
        set(n);
        return true;
    }

    bool YesNo(const Token& t, bool* value) {
        const std::string v = Lower(t.value);
        if (v != "y" && v != "n") return Fail(t.keyword + "=" + t.value + ": y or n is wanted");
        *value = v == "y";
        return true;
    }

    bool FileFlag(const Token& t, uint16_t flag) {
        bool set = false;
        if (!YesNo(t, &set)) return false;
        if (set) out_->file.fileFlags |= flag;
        return true;
    }

    bool SegmentFlag(const Token& t, Segment& s, uint16_t flag) {
        bool set = false;
        if (!YesNo(t, &set)) return false;
        if (set) s.spec.flags |= flag;
        return true;
    }

    bool ApplyToSegment(const Token& t) {
        static const char* const kSegmentKeywords[] = {
            "length", "duplicates", "modifiable", "type",         "descending", "alternate", "nullkey",
            "value",  "segment",    "nocase",     "supplemental", "keynumber",  "extended"};
        const std::string& k = t.keyword;
        if (std::find(std::begin(kSegmentKeywords), std::end(kSegmentKeywords), k) == std::end(kSegmentKeywords)) {
            warnings_->push_back("line " + std::to_string(t.line) + ": unknown keyword \"" + k + "\" passed over");
            return true;
        }
        if (out_->segments.empty()) return Fail(k + "= comes before the first position=");
        Segment& s = out_->segments.back();
        if (k == "length") return Number(t, 1, 255, [&](int n) { s.spec.length = static_cast<int16_t>(n); });
        if (k == "duplicates") return SegmentFlag(t, s, btr::kKeyFlagDuplicates);
        if (k == "modifiable") return SegmentFlag(t, s, btr::kKeyFlagModifiable);
        if (k == "descending") return SegmentFlag(t, s, btr::kKeyFlagDescending);
        if (k == "alternate") return SegmentFlag(t, s, btr::kKeyFlagAlternateSequence);
        if (k == "nocase") return SegmentFlag(t, s, btr::kKeyFlagNoCase);
        if (k == "supplemental") return SegmentFlag(t, s, btr::kKeyFlagSupplemental);
        if (k == "segment") return YesNo(t, &s.more);
        if (k == "extended") return YesNo(t, &s.extended);
        if (k == "keynumber") return Number(t, 0, 118, [&](int n) { s.keyNumber = n; });
        if (k == "value") return NullValue(t, s);
        if (k == "nullkey") {
            if (Lower(t.value) == "any") {
                s.spec.flags |= btr::kKeyFlagNullAny;
                return true;
            }
            return SegmentFlag(t, s, btr::kKeyFlagNullAll);
        }
        s.type = Lower(t.value);
        return true;
    }

    // The null byte: a number (decimal, or hexadecimal after 0x) or one character.
    bool NullValue(const Token& t, Segment& s) {
        const std::string& v = t.value;
        if (v.size() == 1 && !std::isdigit(static_cast<unsigned char>(v[0]))) {
            s.spec.nullValue = static_cast<uint8_t>(v[0]);
            return true;
        }
        const bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
        unsigned n = 256;
        const char* begin = v.data() + (hex ? 2 : 0);
        const auto [end, problem] = std::from_chars(begin, v.data() + v.size(), n, hex ? 16 : 10);
        if (problem != std::errc() || end != v.data() + v.size() || n > 255) {
            return Fail("value=" + v + ": a byte (0 to 255, 0x00 to 0xFF, or one character) is wanted");
        }
        s.spec.nullValue = static_cast<uint8_t>(n);
        return true;
    }

    Parsed* out_;
    std::vector<std::string>* warnings_;
    int line_ = 0;
    std::string* error_ = nullptr;
};

bool TypeOf(Segment& s, std::string* error) {
    if (!s.extended) {
        if (s.type == "binary")
            s.spec.flags |= btr::kKeyFlagBinary;
        else if (s.type != "string") {
            *error = "line " + std::to_string(s.line) + ": extended=n takes type=string or type=binary";
            return false;
        }
        return true;
    }
    if (!KeyTypeOfName(s.type, &s.spec.extendedType)) {
        *error = "line " + std::to_string(s.line) + ": unknown key type \"" + s.type + "\"";
        return false;
    }
    s.spec.flags |= btr::kKeyFlagExtendedType;
    return true;
}

// The segments of each key share its whole-key flags; all but the last are marked segmented.
bool JoinKeys(Parsed& p, std::string* error) {
    int keys = 0;
    for (size_t first = 0; first < p.segments.size(); ++keys) {
        size_t last = first;
        while (last < p.segments.size() && p.segments[last].more) ++last;
        if (last == p.segments.size()) {
            *error = "line " + std::to_string(p.segments.back().line) + ": the last segment says segment=y";
            return false;
        }
        uint16_t whole = 0;
        for (size_t i = first; i <= last; ++i) whole |= p.segments[i].spec.flags & kWholeKeyFlags;
        for (size_t i = first; i <= last; ++i) {
            Segment& s = p.segments[i];
            if (s.spec.length == 0) {
                *error = "line " + std::to_string(s.line) + ": a segment without length=";
                return false;
            }
            s.spec.flags |= whole | (i < last ? btr::kKeyFlagSegmented : 0);
            if (!TypeOf(s, error)) return false;
            if (p.segments[first].keyNumber >= 0) {
                p.file.fileFlags |= btr::kFileFlagSpecifyKeyNumbers;
                s.spec.keyNumber = static_cast<int8_t>(p.segments[first].keyNumber);
            }
        }
        first = last + 1;
    }
    if (keys > btr::kMaxKeyNumber + 1) {
        *error = "the segments make " + std::to_string(keys) + " keys; a file has at most " +
                 std::to_string(btr::kMaxKeyNumber + 1);
        return false;
    }
    if (p.keys >= 0 && p.keys != keys) {
        *error = "key=" + std::to_string(p.keys) + " but the segments make " + std::to_string(keys) + " keys";
        return false;
    }
    p.file.keyCount = static_cast<uint8_t>(keys);
    return true;
}

bool ReadAcs(const Parsed& p, const std::string& folder, std::vector<uint8_t>* acs, std::string* error) {
    const std::filesystem::path path = std::filesystem::u8path(folder) / std::filesystem::u8path(p.acsName);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || bytes.size() != btr::kAcsSize) {
        *error = "line " + std::to_string(p.acsLine) + ": name=" + p.acsName + ": " +
                 (in.is_open() ? "not a collating sequence (" + std::to_string(btr::kAcsSize) + " bytes)"
                               : "cannot be read");
        return false;
    }
    *acs = std::move(bytes);
    return true;
}

template <typename T>
void Append(std::vector<uint8_t>* out, const T& value) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
    out->insert(out->end(), bytes, bytes + sizeof value);
}

const char* YN(bool value) { return value ? "y" : "n"; }

// The collating sequence's own name (bytes 1 to 8, letters and digits) as a file name.
std::string AcsFileName(const std::vector<uint8_t>& acs) {
    std::string name;
    for (size_t i = 1; i <= 8; ++i) {
        if (std::isalnum(acs[i])) name += static_cast<char>(acs[i]);
    }
    return (name.empty() ? "collating" : name) + ".alt";
}

// One segment's lines of a description.
std::string DescribeSegment(const BtrKeySpec& s, bool firstOfKey, bool numbered) {
    std::ostringstream out;
    out << "position=" << static_cast<uint16_t>(s.position) << " length=" << static_cast<uint16_t>(s.length)
        << " duplicates=" << YN(s.flags & btr::kKeyFlagDuplicates)
        << " modifiable=" << YN(s.flags & btr::kKeyFlagModifiable);
    if ((s.flags & btr::kKeyFlagExtendedType) != 0) {
        out << " type=" << DescriptionTypeName(s.extendedType);
    } else {
        out << " extended=n type=" << ((s.flags & btr::kKeyFlagBinary) != 0 ? "binary" : "string");
    }
    out << " descending=" << YN(s.flags & btr::kKeyFlagDescending)
        << " alternate=" << YN(s.flags & btr::kKeyFlagAlternateSequence);
    out << " nullkey=" << YN(s.flags & btr::kKeyFlagNullAll);
    if ((s.flags & btr::kKeyFlagNullAny) != 0) out << " nullkey=any";
    if ((s.flags & (btr::kKeyFlagNullAny | btr::kKeyFlagNullAll)) != 0 || s.nullValue != 0) {
        out << " value=" << int{s.nullValue};
    }
    if ((s.flags & btr::kKeyFlagNoCase) != 0) out << " nocase=y";
    if ((s.flags & btr::kKeyFlagSupplemental) != 0) out << " supplemental=y";
    if (numbered && firstOfKey) out << " keynumber=" << int{s.keyNumber};
    out << " segment=" << YN(s.flags & btr::kKeyFlagSegmented) << "\n";
    return out.str();
}

}  // namespace

bool ParseDescription(const std::string& text, const std::string& folder, Description* out,
                      std::vector<std::string>* warnings, std::string* error) {
    std::vector<Token> tokens;
    if (!Tokenize(text, &tokens, error)) return false;
    Parsed parsed;
    Parser parser(&parsed, warnings);
    for (const Token& t : tokens) {
        if (!parser.Apply(t, error)) return false;
    }
    if (!parsed.recordGiven) {
        *error = "no record= (the record length)";
        return false;
    }
    if (!JoinKeys(parsed, error)) return false;
    const bool alternate = std::any_of(parsed.segments.begin(), parsed.segments.end(), [](const Segment& s) {
        return (s.spec.flags & btr::kKeyFlagAlternateSequence) != 0;
    });
    std::vector<uint8_t> acs;
    if (alternate && parsed.acsName.empty()) {
        *error = "a segment says alternate=y but no name= gives the collating sequence";
        return false;
    }
    if (alternate && !ReadAcs(parsed, folder, &acs, error)) return false;
    out->createBuffer.clear();
    Append(&out->createBuffer, parsed.file);
    for (const Segment& s : parsed.segments) Append(&out->createBuffer, s.spec);
    out->createBuffer.insert(out->createBuffer.end(), acs.begin(), acs.end());
    out->replace = parsed.replace;
    return true;
}

bool WriteDescription(const std::vector<uint8_t>& stat, std::string* text, std::vector<uint8_t>* acs,
                      std::string* acsName, std::string* error) {
    BtrFileSpec file;
    if (stat.size() < sizeof file) {
        *error = "the definition read is cut short";
        return false;
    }
    std::memcpy(&file, stat.data(), sizeof file);
    if ((file.fileFlags & ~kDescribedFileFlags) != 0) {
        *error = "a description cannot say the file flags " + std::to_string(file.fileFlags & ~kDescribedFileFlags);
        return false;
    }
    // The segments key by key; keys numbered with a gap (one dropped) keep their numbers.
    std::vector<std::vector<BtrKeySpec>> keys(file.keyCount);
    size_t at = sizeof file;
    bool numbered = (file.fileFlags & btr::kFileFlagSpecifyKeyNumbers) != 0, alternate = false;
    for (int key = 0; key < file.keyCount; ++key) {
        BtrKeySpec s{};
        do {
            if (at + sizeof s > stat.size()) {
                *error = "the definition read is cut short";
                return false;
            }
            std::memcpy(&s, stat.data() + at, sizeof s);
            at += sizeof s;
            if ((s.flags & ~kDescribedKeyFlags) != 0 || s.acsNumber != 0) {
                *error = "key " + std::to_string(s.keyNumber) + " has flags a description cannot say (" +
                         std::to_string(s.flags & ~kDescribedKeyFlags) + ") or a second collating sequence";
                return false;
            }
            alternate = alternate || (s.flags & btr::kKeyFlagAlternateSequence) != 0;
            numbered = numbered || s.keyNumber != key;
            keys[static_cast<size_t>(key)].push_back(s);
        } while ((s.flags & btr::kKeyFlagSegmented) != 0);
    }
    std::ostringstream out;
    out << "record=" << static_cast<uint16_t>(file.recordLength)
        << " variable=" << YN(file.fileFlags & btr::kFileFlagVariableLength)
        << " truncate=" << YN(file.fileFlags & btr::kFileFlagBlankTruncation)
        << " compress=" << YN(file.fileFlags & btr::kFileFlagCompression) << " key=" << int{file.keyCount}
        << " page=" << static_cast<uint16_t>(file.pageSize) << " replace=n\n";
    for (const std::vector<BtrKeySpec>& key : keys) {
        for (size_t i = 0; i < key.size(); ++i) out << DescribeSegment(key[i], i == 0, numbered);
    }
    acs->clear();
    if (alternate) {
        if (at + btr::kAcsSize > stat.size()) {
            *error = "the collating sequence was not read with the definition";
            return false;
        }
        acs->assign(stat.begin() + static_cast<std::ptrdiff_t>(at),
                    stat.begin() + static_cast<std::ptrdiff_t>(at + btr::kAcsSize));
        *acsName = AcsFileName(*acs);
        out << "name=" << *acsName << "\n";
    }
    *text = out.str();
    return true;
}

}  // namespace tool
