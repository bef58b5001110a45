// Scala tunings as they come from the world's archives: the bytes up to the
// first NUL are a .scl file, the rest its .kbm. Every scale that parses must
// become a Scale list entry that the scale.cfg entry parser accepts whole,
// inside the limits the note generator relies on.
#include "base/Errors.h"
#include "compose/ScalaFile.h"
#include "compose/Tables.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace sorvelin;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = bytes.find('\0');
    const std::string scl = bytes.substr(0, nul);
    ScalaScale scale;
    KeyboardMapping mapping;
    try {
        scale = ParseScalaScale(scl, "fuzz.scl");
    } catch (const UserError&) {
        return 0;
    }
    Require(!scale.Cents.empty() && scale.Cents.size() <= MaxScaleEntries / 2);
    Require(scale.Cents.back() != 0);
    if (nul != std::string::npos) {
        try {
            mapping = ParseKeyboardMapping(bytes.substr(nul + 1), "fuzz.kbm");
        } catch (const UserError&) {
            return 0;
        }
    }
    std::vector<ScaleValue> values;
    try {
        values = ScalaValues(scale, mapping, "fuzz.scl");
    } catch (const UserError&) {
        return 0;
    }
    Require(!values.empty() && values.size() <= static_cast<std::size_t>(MaxScaleEntries));
    for (const ScaleValue& value : values) {
        Require(value.Note >= 0 && value.Note <= 127);
        Require(value.Cents >= -50 && value.Cents < 50);
    }
    const ScaleData entry = ParseScaleEntry(ScaleEntryLine("fuzz \"tuning\", 1", values), 1);
    Require(entry.ScaleNotes.size() == values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        Require(entry.ScaleNotes[i] == values[i].Note);
        Require(entry.ScaleBends[i] == values[i].Cents * 4096 / 100);
    }
    return 0;
}
