#include "platform/Errors.h"

namespace sorvelin {

IndexError::IndexError(long long index, long long length)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + "), length " +
                        std::to_string(length)),
      index_(index), length_(length) {}

} // namespace sorvelin
