#pragma once
// Shared pieces of the device link's line protocol: addresses, line limits and the socket
// helpers with deadlines used by both the client and LinkServer. Internal to the library.
#include <chrono>
#include <cstdint>
#include <string>

namespace talvern {

using Clock = std::chrono::steady_clock;

/// Longest line either side sends or accepts, the line feed included.
inline constexpr size_t kMaxLineBytes = 256;
/// Time limit of one client call (connect with greeting, or one request with its answer).
inline constexpr std::chrono::milliseconds kCallLimit{1000};

/// A parsed device address: IPv4 in network byte order and a port in host order.
struct LinkAddress {
    uint32_t Ipv4 = 0;
    uint16_t Port = 0;
};

/// Parses "host" or "host:port" (surrounding blanks ignored). Host: a dotted numeric IPv4
/// address or "localhost" (127.0.0.1); no name is ever looked up. False with `error` set for
/// an empty text, another host name or a port outside 1..65535.
bool ParseLinkAddress(const std::string& text, int defaultPort, LinkAddress& out,
                      std::string& error);

/// Sends all of `data` on the non-blocking socket `fd` before `deadline`. False on a fault
/// or time-out, with `error` set.
bool SendAll(int fd, const std::string& data, Clock::time_point deadline, std::string& error);

/// Reads one line (without its line feed and an optional carriage return) from the
/// non-blocking socket `fd` before `deadline`. Bytes after the line feed are a protocol fault
/// here, since every request gets exactly one answer. False on a fault, time-out, a closed
/// peer or a line longer than kMaxLineBytes, with `error` set.
bool ReadLine(int fd, Clock::time_point deadline, std::string& line, std::string& error);

}  // namespace talvern
