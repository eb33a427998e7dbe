#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>

// Repeats a positioned read or write (::pread, ::pwrite) until all n bytes are moved; false on
// an error or at the end of the file.
template <typename Byte, typename Transfer>
bool TransferAll(Transfer transfer, int fd, Byte* buffer, std::size_t n, std::int64_t offset) {
    while (n > 0) {
        const auto moved = transfer(fd, buffer, n, offset);
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved <= 0) {
            return false;
        }
        buffer += moved;
        n -= static_cast<std::size_t>(moved);
        offset += moved;
    }
    return true;
}
