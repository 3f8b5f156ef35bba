#include "io/status.h"

#include <system_error>

namespace ostravex {

Status Status::fromErrno(int error) {
    return Status(std::error_code(error, std::generic_category()).message(), error);
}

}  // namespace ostravex
