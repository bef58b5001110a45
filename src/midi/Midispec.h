#pragma once
// The General MIDI name tables: instrument names by program number,
// controller names by controller number and note names by note number, 128
// entries each. Their texts appear on screens and in descriptions as they
// stand, spelling included.
#include <array>
#include <string>

namespace sorvelin {

using NameTable = std::array<std::string, 128>;

const NameTable& ProgramNames();
const NameTable& ControllerNames();
const NameTable& NoteNames();

// Fills the three tables; the program calls it once at start. The lookups
// fill them on first use as well.
void FillNameTables();

// Entry n (0-127) of a table; IndexError outside that range.
std::string ProgramName(int n);
std::string ControllerName(int n);
std::string NoteName(int n);

} // namespace sorvelin
