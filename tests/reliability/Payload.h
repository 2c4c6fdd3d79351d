#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dawdlex::reliability {

// The data of a test value: the counter it was written for, a body that depends on it and a CRC-32 over
// both, so that a torn or mixed-up value is seen by its bytes alone.
std::string makePayload(std::uint64_t counter, std::size_t bodySize);

// The counter of a complete payload; nullopt for anything torn, cut short or not a payload.
std::optional<std::uint64_t> payloadCounter(std::string_view data);

std::uint32_t crc32(std::string_view data);

} // namespace dawdlex::reliability
