#include "platform/CopyData.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/SocketServer.h"
#include "platform/UnixSocket.h"

namespace zor::platform {

namespace {

constexpr size_t kHeaderBytes = 8;
constexpr int kReplyWriteMs = 1000;
constexpr int kRetryMs = 1000;  // how long a refused or closed send is tried again
constexpr int kRetryPauseMs = 50;

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

struct CopyDataServer::Impl {
    Handler handler;
    std::mutex handling;  // records are handled one at a time
    std::unique_ptr<sock::SocketServer> server;

    /// Records of one connection in turn; the connection closes when one is refused, is not
    /// complete in time, or is not answered.
    void Serve(sock::UniqueFd fd, int stopFd);
};

void CopyDataServer::Impl::Serve(sock::UniqueFd fd, int stopFd) {
    std::vector<uint8_t> text;
    for (;;) {
        // One deadline for the whole record: a client trickling bytes cannot keep its slot.
        const long long deadline = sock::NowMs() + kCopyDataRecordLimitMs;
        uint8_t header[kHeaderBytes];
        if (sock::ReadUntil(fd.Get(), header, sizeof header, deadline, stopFd) !=
            sock::IoResult::Ok) {
            return;
        }
        const uint32_t cbData = ReadLe32(header + 4);
        if (cbData > kMaxCopyDataBytes)
            return;
        text.resize(cbData);
        if (sock::ReadUntil(fd.Get(), text.data(), text.size(), deadline, stopFd) !=
            sock::IoResult::Ok) {
            return;
        }
        const char* chars = reinterpret_cast<const char*>(text.data());
        // The record carries its own NUL; an empty record has no text at all.
        const size_t length = text.empty() ? 0 : ::strnlen(chars, text.size());
        {
            std::lock_guard<std::mutex> lock(handling);
            handler(ReadLe32(header), std::string(chars, length));  // throws: no reply
        }
        uint8_t reply[4];
        WriteLe32(reply, 0);
        if (sock::WriteExact(fd.Get(), reply, sizeof reply, kReplyWriteMs) != sock::IoResult::Ok)
            return;
    }
}

CopyDataServer::CopyDataServer(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}

CopyDataServer::~CopyDataServer() = default;

std::unique_ptr<CopyDataServer> CopyDataServer::Start(const std::string& name, Handler handler,
                                                      std::string* why) {
    if (!handler)
        return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->handler = std::move(handler);
    bool inUse = false;
    std::string reason;
    impl->server = sock::SocketServer::Start(
        name, sock::SocketServer::Mode::ThreadPerConnection,
        [self = impl.get()](sock::UniqueFd fd, int stopFd) { self->Serve(std::move(fd), stopFd); },
        inUse, reason);
    if (why)
        *why = reason;
    if (!impl->server)
        return nullptr;
    return std::unique_ptr<CopyDataServer>(new CopyDataServer(std::move(impl)));
}

namespace {

/// One attempt of SendCopyData; `retry` tells whether the record surely did not reach a handler
/// and the server may take it shortly.
CopyDataSent SendOnce(const std::string& name, const std::vector<uint8_t>& record,
                      long long deadline, int timeoutMs, bool& retry) {
    retry = false;
    const auto left = static_cast<int>(std::max(1LL, deadline - sock::NowMs()));
    const std::string limit = " within " + std::to_string(timeoutMs) + " ms";
    sock::UniqueFd fd;
    std::string why;
    switch (sock::Connect(name, left, fd, why)) {
        case sock::ConnectResult::Connected:
            break;
        case sock::ConnectResult::Absent: {
            std::string ignored;
            retry = sock::IsHeld(name, ignored);  // its owner is about to listen
            return {CopyDataResult::Absent, why};
        }
        case sock::ConnectResult::Busy:
            return {CopyDataResult::TimedOut, why};
        case sock::ConnectResult::OtherUser:
            return {CopyDataResult::OtherUser, why};
        case sock::ConnectResult::Failed:
            return {CopyDataResult::Failed, why};
    }
    switch (sock::WriteUntil(fd.Get(), record.data(), record.size(), deadline)) {
        case sock::IoResult::Ok:
            break;
        case sock::IoResult::Closed:
            retry = true;
            return {CopyDataResult::Closed, "the program serving " + name +
                                                " closed the connection before taking the record"};
        case sock::IoResult::TimedOut:
            return {CopyDataResult::TimedOut,
                    "the program serving " + name + " did not take the record" + limit};
        default:
            return {CopyDataResult::Failed, "cannot send the record to " + name};
    }
    uint8_t reply[4];
    switch (sock::ReadUntil(fd.Get(), reply, sizeof reply, deadline)) {
        case sock::IoResult::Ok:
            if (ReadLe32(reply) == 0)
                return {CopyDataResult::Delivered, {}};
            return {CopyDataResult::Failed,
                    "the program serving " + name + " gave an unknown reply"};
        case sock::IoResult::TimedOut:
            return {CopyDataResult::TimedOut,
                    "the program serving " + name + " did not answer" + limit};
        case sock::IoResult::Closed:
            return {CopyDataResult::Closed,
                    "the program serving " + name + " closed the connection without an answer"};
        default:
            return {CopyDataResult::Failed, "cannot read the answer of " + name};
    }
}

}  // namespace

CopyDataSent SendCopyData(const std::string& name, uint32_t dwData, const std::string& text,
                          int timeoutMs) {
    if (timeoutMs <= 0)
        timeoutMs = kCopyDataSendLimitMs;
    if (text.size() + 1 > kMaxCopyDataBytes) {
        return {CopyDataResult::TooLarge, "the text (" + std::to_string(text.size() + 1) +
                                              " bytes with its NUL) is over the " +
                                              std::to_string(kMaxCopyDataBytes) +
                                              "-byte limit of a record"};
    }
    std::vector<uint8_t> record(kHeaderBytes + text.size() + 1, 0);
    WriteLe32(record.data(), dwData);
    WriteLe32(record.data() + 4, static_cast<uint32_t>(text.size() + 1));
    std::memcpy(record.data() + kHeaderBytes, text.data(), text.size());
    const long long start = sock::NowMs();
    const long long deadline = start + timeoutMs;
    for (;;) {
        bool retry = false;
        CopyDataSent sent = SendOnce(name, record, deadline, timeoutMs, retry);
        const long long now = sock::NowMs();
        if (!retry || now - start >= kRetryMs || now + kRetryPauseMs >= deadline)
            return sent;
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryPauseMs));
    }
}

}  // namespace zor::platform
