#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace ostravex {

// One catalogue entry: where the signature is found, the replacement is written (it may be
// longer than the signature). The last entry of each group carries the group's name.
struct SramCatalogueEntry {
    std::span<const std::uint8_t> signature;
    std::span<const std::uint8_t> replacement;
    std::string_view group;  // empty except on the last entry of a group
};

constexpr std::size_t kSramCatalogueSize = 31;

// The 31 entries in the order they are tried.
const std::array<SramCatalogueEntry, kSramCatalogueSize>& SramCatalogue();

// EEPROM library V111: its routine is redirected through a jump stub to a replacement
// routine appended to the image.
inline constexpr std::uint8_t kV111Signature[] = {0x0E, 0x48, 0x39, 0x68, 0x01, 0x60, 0x0E, 0x48};
// ldr r0,[pc]; bx r0; then the target address (Thumb bit set), filled in when patching.
inline constexpr std::uint8_t kV111JumpStub[] = {0x00, 0x48, 0x00, 0x47, 0x00, 0x00, 0x00, 0x08};
inline constexpr std::size_t kV111StubAddressOffset = 4;
inline constexpr std::uint8_t kV111SecondarySignature[] = {0x27, 0xE0, 0xD0, 0x20,
                                                           0x00, 0x05, 0x01, 0x88};
inline constexpr std::uint8_t kV111SecondaryReplacement[] = {0x27, 0xE0, 0xE0, 0x20,
                                                             0x00, 0x05, 0x01, 0x88};
inline constexpr std::size_t kV111RoutineSize = 188;
// The routine ends with the address it returns to, filled in when patching.
inline constexpr std::size_t kV111RoutineReturnOffset = 184;
// The routine returns to the instruction 32 bytes after the V111 signature (+1: Thumb).
inline constexpr std::uint32_t kV111ReturnDistance = 33;
inline constexpr std::string_view kV111GroupName = "SRAM_EEProm_V111";

std::span<const std::uint8_t, kV111RoutineSize> V111RoutineTemplate();

}  // namespace ostravex
