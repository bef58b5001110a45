#pragma once
// main.prf read without the window: each value of the file in the order the
// window applies them. Reading stops at the first line that is missing or
// does not convert; the values read before it are kept and the error is
// handed back, so the window applies what came before and then reports it.
#include "platform/Convert.h"
#include "platform/Errors.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace sorvelin {

// The version this program writes; a file with a higher one comes from a newer program.
inline constexpr int MainPrfVersion = 0;
inline constexpr int MainPrfLines = 31;

struct WindowCorner {
    int Top = 0;
    int Left = 0;
};

struct MainPrf {
    bool Newer = false; // the version line is above MainPrfVersion
    std::optional<WindowCorner> Main;
    std::optional<std::string> PosX, PosY, RangeX, RangeY, Iteration;
    std::optional<int> Formula, Polyphonic, XShift, YShift;
    std::optional<bool> Always;
    std::optional<WindowCorner> Compose, Tracks;
};

namespace mainprf_detail {

// Line i of the file; a file too short for it raises the list index error.
inline const std::string& Line(const std::vector<std::string>& lines, int i) {
    if (i < 0 || i >= static_cast<int>(lines.size())) {
        throw IndexError(i, static_cast<long long>(lines.size()));
    }
    return lines[static_cast<std::size_t>(i)];
}

inline int IntLine(const std::vector<std::string>& lines, int i) {
    return StrToInt(Line(lines, i));
}

inline WindowCorner Corner(const std::vector<std::string>& lines, int topLine) {
    WindowCorner corner;
    corner.Top = IntLine(lines, topLine);
    corner.Left = IntLine(lines, topLine + 1);
    return corner;
}

} // namespace mainprf_detail

// Throws nothing: the first error is returned in `error` (null when none).
inline MainPrf ReadMainPrf(const std::vector<std::string>& lines, std::exception_ptr& error) {
    using namespace mainprf_detail;
    MainPrf prf;
    error = nullptr;
    try {
        prf.Newer = IntLine(lines, 0) > MainPrfVersion;
        prf.Main = Corner(lines, 1);
        prf.PosX = Line(lines, 9);
        prf.PosY = Line(lines, 10);
        prf.RangeX = Line(lines, 11);
        prf.RangeY = Line(lines, 12);
        prf.Iteration = Line(lines, 17);
        prf.Formula = IntLine(lines, 18);
        prf.Polyphonic = IntLine(lines, 19);
        prf.XShift = IntLine(lines, 20);
        prf.YShift = IntLine(lines, 21);
        prf.Always = IntLine(lines, 22) != 0;
        prf.Compose = Corner(lines, 23);
        prf.Tracks = Corner(lines, 27);
    } catch (...) {
        error = std::current_exception();
    }
    return prf;
}

} // namespace sorvelin
