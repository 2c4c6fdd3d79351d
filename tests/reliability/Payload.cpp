#include "Payload.h"

namespace dawdlex::reliability {

namespace {

constexpr std::size_t counterSize = 8;
constexpr std::size_t checksumSize = 4;

void putLittleEndian(std::string& out, std::uint64_t value, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t getLittleEndian(std::string_view in, std::size_t bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    return value;
}

} // namespace

std::uint32_t crc32(std::string_view data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string makePayload(std::uint64_t counter, std::size_t bodySize)
{
    std::string out;
    out.reserve(counterSize + bodySize + checksumSize);
    putLittleEndian(out, counter, counterSize);
    std::uint64_t state = counter * 0x9E3779B97F4A7C15ull + 1;
    for (std::size_t i = 0; i < bodySize; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        out += static_cast<char>(state & 0xFF);
    }
    putLittleEndian(out, crc32(out), checksumSize);
    return out;
}

std::optional<std::uint64_t> payloadCounter(std::string_view data)
{
    if (data.size() < counterSize + checksumSize)
        return std::nullopt;
    const std::string_view covered = data.substr(0, data.size() - checksumSize);
    if (getLittleEndian(data.substr(covered.size()), checksumSize) != crc32(covered))
        return std::nullopt;
    const std::uint64_t counter = getLittleEndian(data, counterSize);
    // The body is a function of the counter: a payload whose checksum was recomputed over foreign bytes
    // still fails here.
    if (makePayload(counter, covered.size() - counterSize) != data)
        return std::nullopt;
    return counter;
}

} // namespace dawdlex::reliability
