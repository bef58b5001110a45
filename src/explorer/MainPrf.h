#pragma once
// main.prf read without the window: each value of the file in the order the
// window applies them. Reading stops at the first line that is missing, too
// long or does not convert (the view texts and the iteration limit are
// checked as the numbers they must be, so a bad one never reaches the
// window and is never written back); the values read before it are kept
// and the error is handed back with its line, so the window applies what
// came before, keeps the design values for the rest and then reports it.
#include "base/Convert.h"
#include "base/Errors.h"
#include "base/TextFile.h"
#include "explorer/ExplorerFields.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace sorvelin {

// The version this program writes; a file with a higher one comes from a newer program.
inline constexpr int MainPrfVersion = 0;
inline constexpr int MainPrfLines = 31;
// "Picture size": the choices, in window pixels a side. Any but the first is
// remembered on a line after the 31 others; a file of 31 lines shows the first.
inline constexpr int PictureSizes[] = {240, 480, 720};
inline constexpr int PictureSizeLine = MainPrfLines;
// The "Polyphonic Method" buttons: "Parallel", "Radiational", "Convergence".
inline constexpr int MainPrfPolyphonicMethods = 3;

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
    std::optional<int> PictureSize; // one of PictureSizes
    int ErrorLine = -1;             // index (from 0) of the line that stopped the reading
};

namespace mainprf_detail {

// Reads lines by index and remembers the last one it was asked for.
class Reader {
public:
    explicit Reader(const std::vector<std::string>& lines) : lines_(lines) {}

    int At() const { return at_; }

    // Line i of the file; a file too short for it raises the list index
    // error, a line too long to be a setting UserError.
    const std::string& Line(int i) {
        at_ = i;
        if (i < 0 || i >= static_cast<int>(lines_.size())) {
            throw IndexError(i, static_cast<long long>(lines_.size()));
        }
        const std::string& line = lines_[static_cast<std::size_t>(i)];
        if (const std::string fault = LineLengthFault(line); !fault.empty()) {
            throw UserError(fault);
        }
        return line;
    }

    int Int(int i) { return StrToInt(Line(i)); }

    // A field text that the window converts later, checked now.
    std::string IntText(int i, const char* caption) {
        StrToInt(Line(i), caption);
        return Line(i);
    }
    std::string FloatText(int i, const char* caption) {
        StrToFloat(Line(i), caption);
        return Line(i);
    }

    int Index(int i, int items) {
        const int index = Int(i);
        if (index < 0 || index >= items) {
            throw IndexError(index, items);
        }
        return index;
    }

    WindowCorner Corner(int topLine) {
        WindowCorner corner;
        corner.Top = Int(topLine);
        corner.Left = Int(topLine + 1);
        return corner;
    }

private:
    const std::vector<std::string>& lines_;
    int at_ = -1;
};

} // namespace mainprf_detail

// Throws nothing: the first error is returned in `error` (null when none),
// its line in ErrorLine.
inline MainPrf ReadMainPrf(const std::vector<std::string>& lines, std::exception_ptr& error) {
    mainprf_detail::Reader in(lines);
    MainPrf prf;
    error = nullptr;
    try {
        prf.Newer = in.Int(0) > MainPrfVersion;
        prf.Main = in.Corner(1);
        prf.PosX = in.FloatText(9, DispRangeXCaption);
        prf.PosY = in.FloatText(10, DispRangeYCaption);
        prf.RangeX = in.FloatText(11, DispRangeWidthCaption);
        prf.RangeY = in.FloatText(12, DispRangeHeightCaption);
        prf.Iteration = in.IntText(17, IterationCaption);
        prf.Formula = in.Int(18);
        prf.Polyphonic = in.Index(19, MainPrfPolyphonicMethods);
        prf.XShift = in.Int(20);
        prf.YShift = in.Int(21);
        prf.Always = in.Int(22) != 0;
        prf.Compose = in.Corner(23);
        prf.Tracks = in.Corner(27);
        if (static_cast<int>(lines.size()) > PictureSizeLine) {
            const int size = in.Int(PictureSizeLine);
            if (std::find(std::begin(PictureSizes), std::end(PictureSizes), size) ==
                std::end(PictureSizes)) {
                throw UserError("The picture size " + IntToStr(size) +
                                " is not one of 240, 480 and 720.");
            }
            prf.PictureSize = size;
        }
    } catch (...) {
        error = std::current_exception();
        prf.ErrorLine = in.At();
    }
    return prf;
}

} // namespace sorvelin
