// Reading the host addresses the user types when the session layer searches for sessions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct HostPort {
    std::uint32_t ip = 0;  // IPv4, host byte order
    std::uint16_t port = 0;
    bool operator==(const HostPort&) const = default;
};

inline constexpr std::size_t kMaxSearchTargets = 16;

// "192.168.0.5", "pc-name", "host:port", several separated by commas, semicolons or blanks;
// an empty text means this computer. Names are looked up (IPv4). On failure *bad is the
// entry that could not be used.
std::optional<std::vector<HostPort>> ParseAddressList(const std::string& text,
                                                      std::uint16_t defaultPort, std::string* bad);
