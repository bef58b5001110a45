#include "compose/Tables.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "base/TextFile.h"

#include <system_error>

namespace sorvelin {
namespace {

bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

// A field that is not quoted ends at a comma or at any character of code 32
// or less.
bool EndsPlainField(char c) {
    return c == ',' || static_cast<unsigned char>(c) <= 32;
}

std::string EntryName(const std::string& line) {
    const std::vector<std::string> fields = SplitTableFields(line, 1);
    return fields.empty() ? std::string() : fields[0];
}

std::string Describe(const char* kind, const std::string& line, int itemNumber) {
    return std::string(kind) + " \"" + Excerpt(EntryName(line)) + "\" (entry " +
           IntToStr(itemNumber) + ")";
}

int ValueOf(const std::string& text, const std::string& entry, int valueNumber,
            const std::string& field) {
    int value = 0;
    if (!TryStrToInt(text, value)) {
        throw UserError(entry + ": value " + IntToStr(valueNumber) + " \"" + Excerpt(field) +
                        "\" is not an integer.");
    }
    return value;
}

} // namespace

std::vector<std::string> SplitTableFields(std::string_view line, std::size_t maxFields) {
    // A NUL ends the line: nothing after it is read (and it can never start
    // an endless run of empty fields).
    if (const std::size_t nul = line.find('\0'); nul != std::string_view::npos) {
        line = line.substr(0, nul);
    }
    std::vector<std::string> fields;
    std::size_t p = 0;
    while (p < line.size() && IsBlank(line[p])) {
        ++p;
    }
    while (p < line.size() && fields.size() < maxFields) {
        std::string field;
        if (line[p] == '"') {
            ++p;
            while (p < line.size()) {
                if (line[p] == '"') {
                    if (p + 1 < line.size() && line[p + 1] == '"') {
                        field.push_back('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                field.push_back(line[p++]);
            }
        } else {
            while (p < line.size() && !EndsPlainField(line[p])) {
                field.push_back(line[p++]);
            }
        }
        fields.push_back(std::move(field));
        while (p < line.size() && IsBlank(line[p])) {
            ++p;
        }
        if (p < line.size() && line[p] == ',') {
            ++p;
            while (p < line.size() && IsBlank(line[p])) {
                ++p;
            }
        }
    }
    return fields;
}

TableList LoadTableList(const std::string& fileName, const std::string& builtInLine,
                        const std::vector<std::filesystem::path>& searchDirs,
                        std::vector<std::string>& messages) {
    TableList table;
    std::vector<std::string> lines;
    for (const std::filesystem::path& dir : searchDirs) {
        const std::filesystem::path path = dir / fileName;
        if (!FileExists(path)) {
            continue;
        }
        table.Source = path.string();
        try {
            lines = ReadLines(path);
        } catch (const FileError& error) {
            messages.push_back(std::string(error.what()) + "\nThe built-in entry \"" +
                               EntryName(builtInLine) + "\" is used.");
            table.Source.clear();
        }
        if (!lines.empty()) {
            lines.erase(lines.begin()); // the header line is never an entry
        }
        break;
    }
    const bool fromFile = !table.Source.empty();
    if (!fromFile) {
        lines = {builtInLine};
    }
    for (std::string& line : lines) {
        std::vector<std::string> fields = SplitTableFields(line, 1);
        if (fields.empty()) {
            continue;
        }
        table.Names.push_back(std::move(fields[0]));
        table.Lines.push_back(std::move(line));
    }
    if (table.Lines.empty()) {
        messages.push_back(table.Source + " holds no entries; the built-in entry \"" +
                           EntryName(builtInLine) + "\" is used.");
        table.Lines = {builtInLine};
        table.Names = {EntryName(builtInLine)};
        table.Source.clear();
    }
    return table;
}

std::filesystem::path InstalledDataDir() {
    return (ProgramDir() / ".." / "share" / "sorvelin").lexically_normal();
}

std::vector<std::filesystem::path> TableSearchDirs() {
    std::vector<std::filesystem::path> dirs{"."};
    std::error_code error;
    const std::filesystem::path installed = InstalledDataDir();
    if (std::filesystem::is_directory(installed, error)) {
        dirs.push_back(installed);
    }
    return dirs;
}

RhythmData ParseRhythmEntry(const std::string& line, int itemNumber) {
    const std::vector<std::string> fields = SplitTableFields(line);
    const std::string entry = Describe("Rhythm", line, itemNumber);
    if (fields.size() < 2) {
        throw UserError(entry + " has no values.");
    }
    RhythmData rhythm;
    rhythm.RhythmTicks.reserve(fields.size() - 1);
    for (std::size_t k = 1; k < fields.size(); ++k) {
        const int valueNumber = static_cast<int>(k);
        const int ticks = ValueOf(fields[k], entry, valueNumber, fields[k]);
        if (ticks <= 0) {
            throw UserError(entry + ": value " + IntToStr(valueNumber) + " \"" +
                            Excerpt(fields[k]) +
                            "\" is not a duration; durations are 1 tick or more.");
        }
        rhythm.RhythmTicks.push_back(ticks);
    }
    return rhythm;
}

ScaleData ParseScaleEntry(const std::string& line, int itemNumber) {
    // The name, the most values a scale holds, and one more to tell that
    // there are too many: reading stops there.
    const std::vector<std::string> fields =
        SplitTableFields(line, static_cast<std::size_t>(MaxScaleEntries) + 2);
    const std::string entry = Describe("Scale", line, itemNumber);
    if (fields.size() < 2) {
        throw UserError(entry + " has no values.");
    }
    if (fields.size() - 1 > static_cast<std::size_t>(MaxScaleEntries)) {
        throw UserError(entry + " has more than " + IntToStr(MaxScaleEntries) +
                        " values; a scale has at most " + IntToStr(MaxScaleEntries) + ".");
    }
    ScaleData scale;
    bool playable = false;
    for (std::size_t k = 1; k < fields.size(); ++k) {
        const std::string& field = fields[k];
        const int valueNumber = static_cast<int>(k);
        // Only the value is searched for the sign of a cent offset.
        const std::size_t sign = field.find_last_of("+-");
        int note = 0;
        int cents = 0;
        if (sign == std::string::npos) {
            note = ValueOf(field, entry, valueNumber, field);
        } else {
            note = ValueOf(field.substr(0, sign), entry, valueNumber, field);
            cents = ValueOf(field.substr(sign), entry, valueNumber, field);
        }
        if (note < 0 || note > 127) {
            throw UserError(entry + ": value " + IntToStr(valueNumber) + " \"" + Excerpt(field) +
                            "\" is not a note number from 0 to 127.");
        }
        if (cents < MinCents || cents > MaxCents) {
            throw UserError(entry + ": value " + IntToStr(valueNumber) + " \"" + Excerpt(field) +
                            "\" has an offset outside -200 to +199 cents.");
        }
        if (cents != 0) {
            scale.MicrotonalScale = true;
        }
        playable = playable || note >= 1;
        scale.ScaleNotes.push_back(note);
        scale.ScaleBends.push_back(cents * 4096 / 100);
        if (note < scale.ScaleMin) {
            scale.ScaleMin = note;
        }
        if (note > scale.ScaleMax) {
            scale.ScaleMax = note;
        }
    }
    if (!playable) {
        throw UserError(entry + " has no note from 1 to 127.");
    }
    return scale;
}

} // namespace sorvelin
