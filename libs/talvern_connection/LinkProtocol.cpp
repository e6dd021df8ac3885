#include "talvern_connection/LinkProtocol.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace talvern {

namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

/// Milliseconds left until `deadline`, at least 0, rounded up so a wait never ends early.
int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

/// Waits for `events` on `fd` until `deadline`; false on time-out or a poll fault.
bool WaitFor(int fd, short events, Clock::time_point deadline, std::string& error) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (n > 0)
            return true;
        if (n == 0) {
            error = "no answer from the device within the time limit";
            return false;
        }
        if (errno != EINTR) {
            error = std::string("poll: ") + std::strerror(errno);
            return false;
        }
    }
}

}  // namespace

bool ParseLinkAddress(const std::string& text, int defaultPort, LinkAddress& out,
                      std::string& error) {
    const std::string address = Trim(text);
    if (address.empty()) {
        error = "no device address";
        return false;
    }
    std::string host = address;
    int port = defaultPort;
    if (const auto colon = address.rfind(':'); colon != std::string::npos) {
        host = address.substr(0, colon);
        const std::string portText = address.substr(colon + 1);
        const auto [end, ec] =
            std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (portText.empty() || ec != std::errc{} || end != portText.data() + portText.size()) {
            error = "bad port in device address \"" + address + "\"";
            return false;
        }
    }
    if (port < 1 || port > 65535) {
        error = "port out of range in device address \"" + address + "\"";
        return false;
    }
    if (host == "localhost")
        host = "127.0.0.1";
    in_addr ip{};
    if (::inet_pton(AF_INET, host.c_str(), &ip) != 1) {
        error = "device address \"" + address + "\" is not a numeric IPv4 address";
        return false;
    }
    out.Ipv4 = ip.s_addr;
    out.Port = static_cast<uint16_t>(port);
    return true;
}

bool SendAll(int fd, const std::string& data, Clock::time_point deadline, std::string& error) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n =
            ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(fd, POLLOUT, deadline, error))
                return false;
            continue;
        }
        error = std::string("send: ") + (n < 0 ? std::strerror(errno) : "nothing sent");
        return false;
    }
    return true;
}

bool ReadLine(int fd, Clock::time_point deadline, std::string& line, std::string& error) {
    std::string buffer;
    char chunk[kMaxLineBytes];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            buffer.append(chunk, static_cast<size_t>(n));
            const auto lf = buffer.find('\n');
            if (lf != std::string::npos) {
                if (lf + 1 != buffer.size()) {
                    error = "the device sent more than one answer";
                    return false;
                }
                buffer.pop_back();
                if (!buffer.empty() && buffer.back() == '\r')
                    buffer.pop_back();
                line = std::move(buffer);
                return true;
            }
            if (buffer.size() >= kMaxLineBytes) {
                error = "the device's answer is too long";
                return false;
            }
            continue;
        }
        if (n == 0) {
            error = "the device closed the link";
            return false;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error = std::string("recv: ") + std::strerror(errno);
            return false;
        }
        if (!WaitFor(fd, POLLIN, deadline, error))
            return false;
    }
}

}  // namespace talvern
