// main.prf as a user may have edited it: the reader stops at the first line
// it cannot use with the list index or conversion error (or the refusal of a
// line too long to be a setting), never with anything else, names that line,
// and a file that reads to the end yields every value (the picture size only
// from a line after the 31 others, and only one of the sizes offered).
#include "base/TextFile.h"
#include "explorer/MainPrf.h"

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sorvelin;
    const std::vector<std::string> lines =
        SplitLines(std::string(reinterpret_cast<const char*>(data), size));
    std::exception_ptr error;
    const MainPrf prf = ReadMainPrf(lines, error);
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const ConvertError&) {
        } catch (const IndexError&) {
        } catch (const UserError&) {
            if (LineLengthFault(lines.at(static_cast<std::size_t>(prf.ErrorLine))).empty() &&
                prf.ErrorLine != PictureSizeLine) {
                std::abort();
            }
        } catch (...) {
            std::abort();
        }
        if (prf.ErrorLine < 0 || prf.ErrorLine > PictureSizeLine) {
            std::abort();
        }
        return 0;
    }
    if (lines.size() < 29 || !prf.Main || !prf.Iteration || !prf.Always || !prf.Tracks) {
        std::abort();
    }
    if (*prf.Iteration != lines[17] || prf.Tracks->Left != StrToInt(lines[28])) {
        std::abort();
    }
    if (prf.PictureSize.has_value() != (static_cast<int>(lines.size()) > PictureSizeLine)) {
        std::abort();
    }
    return 0;
}
