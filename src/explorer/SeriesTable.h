#pragma once
// The sixteen number series of a composition: 16 rows of N values stored row
// after row (row k = part k), N = Length() / 16.
#include <cstdint>
#include <utility>
#include <vector>

namespace sorvelin {

inline constexpr int PartCount = 16;

class SeriesTable {
public:
    int Length() const { return static_cast<int>(values_.size()); }
    bool Empty() const { return values_.empty(); }
    // Notes per part: Length() / 16.
    int NoteCount() const { return Length() / PartCount; }

    // 0 empties the table; otherwise the first min(length, old length) values
    // are kept and the rest start at 0. A negative length raises IndexError.
    void Resize(int length);
    // The whole table at once (16 rows of N values, row after row).
    void Assign(std::vector<std::int32_t> values) { values_ = std::move(values); }

    // Element access; an index outside 0 .. Length() - 1 raises IndexError
    // carrying the index and the length.
    std::int32_t Get(int index) const;
    void Set(int index, std::int32_t value);
    // Value i of part k, that is element k * NoteCount() + i (checked likewise).
    std::int32_t At(int part, int i) const { return Get(part * NoteCount() + i); }

    const std::vector<std::int32_t>& Values() const { return values_; }

private:
    void Check(int index) const;

    std::vector<std::int32_t> values_;
};

} // namespace sorvelin
