#include "compose/ScalaFile.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "base/TextFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <set>
#include <system_error>

namespace sorvelin {
namespace {

// Two periods of at most 64 degrees fill the 128 values a scale may hold.
constexpr int PeriodsListed = 2;
// A tuning file is a few hundred bytes; anything far larger is no tuning.
constexpr std::uintmax_t MaxTuningFileBytes = 1 << 20;
// Keeps every pitch well inside the range where rounding to an integer is exact.
constexpr double MaxAbsCents = 1e7;

[[noreturn]] void Fail(const std::string& fileName, std::size_t line, const std::string& what) {
    throw UserError(fileName + ", line " + IntToStr(static_cast<long long>(line)) + ": " + what);
}

bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code <= 32;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The pitch or number on a line is its first word; anything after it is a
// remark.
std::string_view FirstWord(std::string_view line) {
    line = Trim(line);
    std::size_t end = 0;
    while (end < line.size() && !IsBlank(line[end])) {
        ++end;
    }
    return line.substr(0, end);
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// The lines that are not remarks ('!' first), with their 1-based numbers.
// A line longer than the other files allow, or one with a NUL byte (which
// would end a value early in any reader that stops there), refuses the file.
class ContentLines {
public:
    ContentLines(const std::string& text, const std::string& fileName) : lines_(SplitLines(text)) {
        if (!lines_.empty() && lines_[0].rfind("\xEF\xBB\xBF", 0) == 0) {
            lines_[0].erase(0, 3);
        }
        for (std::size_t k = 0; k < lines_.size(); ++k) {
            if (const std::string fault = LineLengthFault(lines_[k]); !fault.empty()) {
                Fail(fileName, k + 1, fault);
            }
            if (const std::size_t nul = lines_[k].find('\0'); nul != std::string::npos) {
                Fail(fileName, k + 1,
                     "a NUL byte follows " +
                         Quoted(Trim(std::string_view(lines_[k]).substr(0, nul))) +
                         "; a tuning file is plain text.");
            }
        }
    }

    // The next line that is not a remark, or nothing at the end of the file.
    std::optional<std::string_view> Next() {
        while (next_ < lines_.size()) {
            const std::string& line = lines_[next_++];
            const std::string_view trimmed = Trim(line);
            if (trimmed.empty() || trimmed.front() != '!') {
                return std::string_view(line);
            }
        }
        return std::nullopt;
    }
    std::size_t LineNumber() const { return std::max<std::size_t>(next_, 1); }

private:
    std::vector<std::string> lines_;
    std::size_t next_ = 0;
};

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits only, as a double (ratios of large powers stay exact enough).
std::optional<double> Digits(std::string_view text) {
    double value = 0;
    if (!AllDigits(text)) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// A whole number of at most six digits, optionally signed.
std::optional<int> SmallInteger(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    if (!AllDigits(text) || text.size() > 6) {
        return std::nullopt;
    }
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return negative ? -value : value;
}

// "701.955", "-3.5", "100.", ".5" or "440": a decimal number.
std::optional<double> Decimal(std::string_view word) {
    const bool negative = !word.empty() && word.front() == '-';
    if (!word.empty() && (word.front() == '-' || word.front() == '+')) {
        word.remove_prefix(1);
    }
    const std::size_t point = std::min(word.find('.'), word.size());
    const std::string_view whole = word.substr(0, point);
    const std::string_view fraction = word.substr(std::min(point + 1, word.size()));
    if ((!whole.empty() && !AllDigits(whole)) || (!fraction.empty() && !AllDigits(fraction)) ||
        whole.size() + fraction.size() == 0) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() ||
        std::fabs(value) > MaxAbsCents) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

double PitchOf(std::string_view line, const std::string& fileName, std::size_t lineNumber) {
    const std::string_view word = FirstWord(line);
    // A point makes a pitch cents; without one it is a ratio.
    if (word.find('.') != std::string_view::npos) {
        if (const std::optional<double> cents = Decimal(word)) {
            return *cents;
        }
        Fail(fileName, lineNumber, Quoted(word) + " is not a pitch in cents.");
    }
    if (!word.empty() && word.front() == '-') {
        Fail(fileName, lineNumber,
             Quoted(word) + " is a negative ratio; a ratio is a positive fraction such as 3/2.");
    }
    const std::size_t slash = word.find('/');
    const std::optional<double> numerator = Digits(word.substr(0, slash));
    const std::optional<double> denominator =
        slash == std::string_view::npos ? 1.0 : Digits(word.substr(slash + 1));
    if (!numerator || !denominator) {
        Fail(fileName, lineNumber,
             Quoted(word) +
                 " is no pitch: neither cents (such as 701.955) nor a ratio (such as 3/2).");
    }
    if (*denominator == 0) {
        Fail(fileName, lineNumber,
             Quoted(word) + " divides by zero; a ratio is a positive fraction such as 3/2.");
    }
    if (*numerator == 0) {
        Fail(fileName, lineNumber,
             Quoted(word) + " is a zero ratio; a ratio is a positive fraction such as 3/2.");
    }
    return 1200.0 * (std::log2(*numerator) - std::log2(*denominator));
}

std::string_view NextOrFail(ContentLines& lines, const std::string& fileName,
                            const std::string& wanted) {
    const std::optional<std::string_view> line = lines.Next();
    if (!line) {
        Fail(fileName, lines.LineNumber(), "the file ends before " + wanted + ".");
    }
    return *line;
}

int KeyboardNumber(ContentLines& lines, const std::string& fileName, const std::string& wanted,
                   int low, int high) {
    const std::string_view word = FirstWord(NextOrFail(lines, fileName, wanted));
    const std::optional<int> value = SmallInteger(word);
    if (!value || *value < low || *value > high) {
        Fail(fileName, lines.LineNumber(),
             Quoted(word) + " is not " + wanted + " (a whole number from " + IntToStr(low) +
                 " to " + IntToStr(high) + ").");
    }
    return *value;
}

long long FloorDiv(long long a, long long b) {
    const long long q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Cents of any degree, the periods repeating below and above.
double DegreeCents(const ScalaScale& scale, long long degree) {
    const auto n = static_cast<long long>(scale.Cents.size());
    const long long period = FloorDiv(degree, n);
    const long long step = degree - period * n;
    const double within = step == 0 ? 0.0 : scale.Cents[static_cast<std::size_t>(step - 1)];
    return static_cast<double>(period) * scale.Cents.back() + within;
}

// Degree 0's pitch in cents above note 0 at its usual tuning.
double BaseCents(const ScalaScale& scale, const KeyboardMapping& mapping,
                 const std::string& fileName) {
    long long degree = mapping.ReferenceNote - mapping.MiddleNote;
    if (!mapping.Map.empty()) {
        const auto size = static_cast<long long>(mapping.Map.size());
        const long long repeat = FloorDiv(degree, size);
        const int mapped = mapping.Map[static_cast<std::size_t>(degree - repeat * size)];
        if (mapped < 0) {
            throw UserError(fileName + ": the reference note " + IntToStr(mapping.ReferenceNote) +
                            " is mapped to no degree of the scale.");
        }
        const int octave =
            mapping.OctaveDegree > 0 ? mapping.OctaveDegree : static_cast<int>(scale.Cents.size());
        degree = mapped + repeat * octave;
    }
    const double standard = 440.0 * std::exp2((mapping.ReferenceNote - 69) / 12.0);
    return 100.0 * mapping.ReferenceNote +
           1200.0 * std::log2(mapping.ReferenceFrequency / standard) - DegreeCents(scale, degree);
}

bool HasScalaExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".scl";
}

// Empty for a file that can be read as a tuning; otherwise why it cannot. A
// FIFO would block the start-up read, so only regular files are opened.
std::string NotATuningFile(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_regular_file(status)) {
        return {};
    }
    std::error_code linkError;
    if (fs::is_symlink(fs::symlink_status(path, linkError)) && !fs::exists(status)) {
        return "it is a symbolic link to nothing";
    }
    if (fs::is_directory(status)) {
        return "it is a folder";
    }
    if (fs::is_fifo(status)) {
        return "it is a FIFO, not a file";
    }
    if (!fs::exists(status)) {
        return "it cannot be read (" + error.message() + ")";
    }
    return "it is a device or socket, not a file";
}

// The .scl names of `dir` in name order. A folder that is there but cannot
// be read is reported; one that is not there is not (most are optional).
std::vector<std::filesystem::path> ScalaFilesIn(const std::filesystem::path& dir,
                                                std::vector<std::string>& messages) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    std::filesystem::directory_iterator it(dir, error);
    for (const std::filesystem::directory_iterator end; !error && it != end; it.increment(error)) {
        if (HasScalaExtension(it->path())) {
            files.push_back(it->path());
        }
    }
    if (error && error != std::errc::no_such_file_or_directory) {
        messages.push_back(dir.string() + " cannot be read (" + error.message() +
                           "); its tunings are left out.");
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string ReadTuningFile(const std::filesystem::path& path) {
    if (const std::string why = NotATuningFile(path); !why.empty()) {
        throw UserError(path.string() + " cannot be read: " + why + ".");
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size > MaxTuningFileBytes) {
        throw UserError(path.string() + " holds " + IntToStr(static_cast<long long>(size)) +
                        " bytes, far more than a tuning.");
    }
    return ReadFileBytes(path);
}

// One .scl file (and its .kbm, when there is one) as a Scale list entry line.
std::string EntryLineOf(const std::filesystem::path& path, const std::string& name,
                        std::string& description) {
    const ScalaScale scale = ParseScalaScale(ReadTuningFile(path), path.string());
    KeyboardMapping mapping;
    std::filesystem::path kbm = path;
    kbm.replace_extension(".kbm");
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(kbm, error))) {
        mapping = ParseKeyboardMapping(ReadTuningFile(kbm), kbm.string());
    }
    description = scale.Description;
    return ScaleEntryLine(name, ScalaValues(scale, mapping, path.string()));
}

} // namespace

ScalaScale ParseScalaScale(const std::string& text, const std::string& fileName) {
    ContentLines lines(text, fileName);
    ScalaScale scale;
    scale.Description = std::string(Trim(NextOrFail(lines, fileName, "the description line")));
    const std::string_view countWord =
        FirstWord(NextOrFail(lines, fileName, "the number of pitches"));
    const std::size_t countLine = lines.LineNumber();
    if (!AllDigits(countWord)) {
        Fail(fileName, countLine, Quoted(countWord) + " is not the number of pitches.");
    }
    const int maxPitches = MaxScaleEntries / PeriodsListed;
    const std::optional<int> count = SmallInteger(countWord);
    if (count == 0) {
        Fail(fileName, countLine, "a scale of 0 pitches has no period (its last pitch).");
    }
    if (!count || *count > maxPitches) {
        Fail(fileName, countLine,
             std::string(countWord) + " pitches over two periods give more than " +
                 IntToStr(MaxScaleEntries) + " values, the most a scale holds (" +
                 IntToStr(maxPitches) + " pitches).");
    }
    for (int k = 1; k <= *count; ++k) {
        const std::string_view line = NextOrFail(
            lines, fileName, "pitch " + IntToStr(k) + " of the " + IntToStr(*count) + " announced");
        scale.Cents.push_back(PitchOf(line, fileName, lines.LineNumber()));
    }
    if (scale.Cents.back() == 0) {
        Fail(fileName, lines.LineNumber(),
             "the period (the last pitch) is 0 cents, so the scale never moves on.");
    }
    return scale;
}

KeyboardMapping ParseKeyboardMapping(const std::string& text, const std::string& fileName) {
    ContentLines lines(text, fileName);
    KeyboardMapping mapping;
    const int size = KeyboardNumber(lines, fileName, "the size of the map", 0, 1024);
    KeyboardNumber(lines, fileName, "the first note to retune", 0, 127);
    KeyboardNumber(lines, fileName, "the last note to retune", 0, 127);
    mapping.MiddleNote = KeyboardNumber(lines, fileName, "the middle note", 0, 127);
    mapping.ReferenceNote = KeyboardNumber(lines, fileName, "the reference note", 0, 127);
    const std::string_view frequency =
        FirstWord(NextOrFail(lines, fileName, "the reference frequency"));
    const std::optional<double> hertz = Decimal(frequency);
    mapping.ReferenceFrequency = hertz.value_or(0.0);
    if (!(mapping.ReferenceFrequency > 0)) {
        Fail(fileName, lines.LineNumber(),
             Quoted(frequency) + " is not a frequency in hertz above 0.");
    }
    mapping.OctaveDegree =
        KeyboardNumber(lines, fileName, "the degree of the formal octave", 0, 1024);
    // Keys the file leaves out at its end are unmapped.
    mapping.Map.assign(static_cast<std::size_t>(size), -1);
    for (int& degree : mapping.Map) {
        const std::optional<std::string_view> line = lines.Next();
        if (!line) {
            break;
        }
        const std::string_view word = FirstWord(*line);
        if (word == "x" || word == "X") {
            continue;
        }
        const std::optional<int> value = SmallInteger(word);
        if (!value || *value < 0) {
            Fail(fileName, lines.LineNumber(), Quoted(word) + " is neither a degree nor x.");
        }
        degree = *value;
    }
    return mapping;
}

std::vector<ScaleValue> ScalaValues(const ScalaScale& scale, const KeyboardMapping& mapping,
                                    const std::string& fileName) {
    const double base = BaseCents(scale, mapping, fileName);
    std::vector<ScaleValue> values;
    bool playable = false;
    const auto n = static_cast<long long>(scale.Cents.size());
    for (long long degree = 0; degree < PeriodsListed * n; ++degree) {
        const double pitch = base + DegreeCents(scale, degree);
        if (!(std::fabs(pitch) < MaxAbsCents)) {
            continue;
        }
        const long long cents = std::llround(pitch);
        const long long note = FloorDiv(cents + 50, 100);
        if (note < 0 || note > 127) {
            continue;
        }
        values.push_back({static_cast<int>(note), static_cast<int>(cents - note * 100)});
        playable = playable || note >= 1;
    }
    if (!playable) {
        throw UserError(fileName + ": no pitch of the scale falls on a note from 1 to 127.");
    }
    return values;
}

std::string ScaleEntryLine(const std::string& name, const std::vector<ScaleValue>& values) {
    std::string line = "\"";
    for (const char c : name) {
        line += c;
        if (c == '"') {
            line += '"';
        }
    }
    line += '"';
    for (const ScaleValue& value : values) {
        line += ',' + IntToStr(value.Note);
        if (value.Cents != 0) {
            line += (value.Cents > 0 ? "+" : "") + IntToStr(value.Cents);
        }
    }
    return line;
}

std::vector<std::filesystem::path> ScalaSearchDirs() {
    std::vector<std::filesystem::path> dirs{std::filesystem::path("scales")};
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        dirs.push_back(std::filesystem::path(home) / ".local" / "share" / "sorvelin" / "scales");
    }
    dirs.push_back(InstalledDataDir() / "scales");
    return dirs;
}

void AppendScalaScales(TableList& scales, std::vector<std::string>& tooltips,
                       const std::vector<std::filesystem::path>& dirs,
                       std::vector<std::string>& messages) {
    tooltips.resize(scales.Names.size());
    std::set<std::string> names(scales.Names.begin(), scales.Names.end());
    for (const std::filesystem::path& dir : dirs) {
        for (const std::filesystem::path& path : ScalaFilesIn(dir, messages)) {
            const std::string name = path.stem().string();
            if (names.count(name) != 0) {
                messages.push_back(path.string() + " is left out: the Scale list already holds " +
                                   Quoted(name) + ".");
                continue;
            }
            try {
                std::string description;
                scales.Lines.push_back(EntryLineOf(path, name, description));
                scales.Names.push_back(name);
                tooltips.push_back(std::move(description));
                names.insert(name);
            } catch (const std::exception& error) {
                messages.push_back(std::string(error.what()) + " The scale is left out.");
            }
        }
    }
}

} // namespace sorvelin
