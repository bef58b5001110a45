// An imported picture of any size and a line drawn anywhere, even released
// outside the picture: the line texts, the sampling of the sixteen series in
// every polyphonic method and shift, and the same line over the fractal. Every
// value lands in 0 .. the limit and the table holds 16 x N of them.
#include "base/Errors.h"
#include "explorer/ExplorerModel.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace sorvelin;

// Reads the input as a stream of integers; zeros once it runs out.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::int32_t Int() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | (at_ < size_ ? data_[at_++] : 0u);
        }
        return static_cast<std::int32_t>(value);
    }
    int Below(int n) { return static_cast<int>(static_cast<std::uint32_t>(Int()) % n); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

void CheckTable(const SeriesTable& series, int noteCount, int limit) {
    if (series.Length() != 16 * noteCount) {
        std::abort();
    }
    for (int i = 0; i < series.Length(); ++i) {
        const int value = series.Get(i);
        if (value < 0 || value > limit) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    // Sizes of every kind, mostly small, sometimes far beyond any screen
    // (up to 2^20 pixels a side: the shift per part, size x position x
    // 0.0001, is an int product in the model and overflows for sizes near
    // 2^31 / 100, which no picture reaches) and sometimes not positive.
    const auto side = [&in] {
        const int kind = in.Below(8);
        return kind == 0 ? -in.Below(1 << 20) : kind == 1 ? in.Below(1 << 20) : in.Below(2000) + 1;
    };
    const int width = side();
    const int height = side();
    const std::uint32_t seed = static_cast<std::uint32_t>(in.Int());
    const int noteCount = in.Below(8) == 0 ? in.Int() % 3000 : in.Below(40);
    // Mouse positions: mostly over the picture, sometimes anywhere a
    // captured mouse can report (well inside +-2^20; the model's pixel
    // arithmetic, picture height - y, overflows near the int limits, which
    // neither the mouse nor a song file's line can reach).
    const auto mouse = [&in] {
        return in.Below(2) == 0 ? in.Below(1 << 21) - (1 << 20) : in.Below(300) - 30;
    };
    const int startX = mouse();
    const int startY = mouse();
    const int moveX = mouse();
    const int moveY = mouse();
    const int releaseX = mouse();
    const int releaseY = mouse();

    ExplorerModel explorer;
    explorer.Fields().PolyphonicMethodIndex = in.Below(3);
    explorer.SetXShift(in.Below(101));
    explorer.SetYShift(in.Below(101));

    ImageView image;
    image.Width = width;
    image.Height = height;
    image.PixelAt = [width, height, seed](int x, int y) -> Pixel {
        if (x < 0 || x >= width || y < 0 || y >= height) {
            std::abort(); // a read outside the picture
        }
        return (static_cast<std::uint32_t>(x) * 2654435761u) ^
               (static_cast<std::uint32_t>(y) * 40503u) ^ seed;
    };
    try {
        explorer.EnterImageMode(image);
    } catch (const UserError&) {
        if (width > 0 && height > 0) {
            std::abort();
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        explorer.PressPicture(startX, startY);
        explorer.DragOnPicture(moveX, moveY);
        explorer.DragOnPicture(releaseX, releaseY);
        try {
            explorer.ReleasePicture(releaseX, releaseY);
            explorer.Compose(noteCount);
            CheckTable(explorer.Series(), noteCount, explorer.Engine().GetLimit());
        } catch (const UserError&) {
        } catch (const ConvertError&) {
        }
        // The same line over the fractal, with a low limit to keep it quick.
        explorer.LeaveImageMode();
        explorer.Fields().Iteration = std::to_string(1 + in.Below(32));
    }
    return 0;
}
