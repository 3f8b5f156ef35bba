#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace ostravex {

// An allocator whose resize leaves new bytes uninitialised: a buffer that a read or an
// inflate fills at once need not be cleared first (for a 512 MiB image that is a full
// pass over memory saved).
template <typename T>
struct DefaultInitAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    using std::allocator<T>::allocator;

    template <typename U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

using ByteBuffer = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;

}  // namespace ostravex
