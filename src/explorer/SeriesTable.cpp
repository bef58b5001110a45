#include "explorer/SeriesTable.h"

#include "base/Errors.h"

namespace sorvelin {

void SeriesTable::Resize(int length) {
    if (length < 0) {
        throw IndexError(length, Length());
    }
    values_.resize(static_cast<std::size_t>(length), 0);
}

void SeriesTable::Check(int index) const {
    if (index < 0 || index >= Length()) {
        throw IndexError(index, Length());
    }
}

std::int32_t SeriesTable::Get(int index) const {
    Check(index);
    return values_[static_cast<std::size_t>(index)];
}

void SeriesTable::Set(int index, std::int32_t value) {
    Check(index);
    values_[static_cast<std::size_t>(index)] = value;
}

} // namespace sorvelin
