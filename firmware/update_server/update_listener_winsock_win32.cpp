#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <iterator>
#include <string_view>
#include <thread>
#include <vector>

#include "firmware/update_server/update_listener.h"

namespace updateserver {

namespace {

constexpr char kLoopback[] = "127.0.0.1";
constexpr std::string_view kHeadEnd = "\r\n\r\n";
constexpr std::string_view kLineEnd = "\r\n";
// A request head longer than this is not one this server answers.
constexpr size_t kMaxHead = 64 * 1024;
constexpr DWORD kReceiveTimeoutMilliseconds = 5000;
// How often the accept loop looks whether it should stop.
constexpr long kStopPollMicroseconds = 50 * 1000;
constexpr WORD kWinsockVersion = MAKEWORD(2, 2);
// A chunked body goes in chunks of this size (and a last, shorter one).
constexpr size_t kChunkSize = 16 * 1024;
constexpr int kHexBase = 16;
constexpr std::string_view kLastChunk = "0\r\n\r\n";
// A body cut short is sent up to this fraction of it: 1 / kCutShortDivisor.
constexpr size_t kCutShortDivisor = 2;
// The wait between a body's first line and its rest, when it has one.
constexpr DWORD kRestPauseMilliseconds = 1000;

class SocketHandle {
  public:
    explicit SocketHandle(SOCKET socket = INVALID_SOCKET) : socket_(socket) {}
    ~SocketHandle() {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
        }
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;
    SOCKET Get() const { return socket_; }
    bool Valid() const { return socket_ != INVALID_SOCKET; }

  private:
    SOCKET socket_;
};

bool SendAll(SOCKET socket, std::string_view data) {
    while (!data.empty()) {
        const int sent = send(socket, data.data(), static_cast<int>(data.size()), 0);
        if (sent <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

// The status line and headers: a declared length, or none for a chunked body.
std::string ResponseHead(const HttpAnswer& answer) {
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + answer.reason +
                       "\r\nContent-Type: text/plain\r\n";
    head += answer.delivery == Delivery::Chunked
                ? std::string("Transfer-Encoding: chunked")
                : "Content-Length: " + std::to_string(answer.body.size());
    return head + "\r\nConnection: close\r\n\r\n";
}

// The body in chunks, each after its size in hexadecimal.
std::string Chunked(std::string_view body) {
    std::string chunked;
    for (; !body.empty(); body.remove_prefix(std::min(body.size(), kChunkSize))) {
        const std::string_view chunk = body.substr(0, kChunkSize);
        char size[sizeof(size_t) * 2] = {};
        char* end = std::to_chars(std::begin(size), std::end(size), chunk.size(), kHexBase).ptr;
        chunked.append(std::begin(size), end).append(kLineEnd).append(chunk).append(kLineEnd);
    }
    return chunked.append(kLastChunk);
}

// Sends the head and the body as the answer's delivery has it.
void SendAnswer(SOCKET client, const HttpAnswer& answer) {
    const std::string head = ResponseHead(answer);
    const std::string_view body = answer.body;
    switch (answer.delivery) {
        case Delivery::Whole:
            SendAll(client, head + answer.body);
            return;
        case Delivery::Chunked:
            SendAll(client, head + Chunked(body));
            return;
        case Delivery::CutShort:
        case Delivery::CutShortReset:
            SendAll(client, head + std::string(body.substr(0, body.size() / kCutShortDivisor)));
            return;
        case Delivery::RestAfterAPause: {
            // Without a line feed, all of the body is the rest.
            const size_t restStart = body.find('\n') + 1;
            SendAll(client, head + std::string(body.substr(0, restStart)));
            Sleep(kRestPauseMilliseconds);
            SendAll(client, body.substr(restStart));
            return;
        }
    }
}

class WinsockListener : public UpdateListener {
  public:
    explicit WinsockListener(UpdateService& service) : service_(service) {
        WSADATA data;
        started_ = WSAStartup(kWinsockVersion, &data) == 0;
    }

    ~WinsockListener() override {
        stopping_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        listening_.reset();
        if (started_) {
            WSACleanup();
        }
    }

    bool Start(uint16_t port, std::string& error) {
        error = "cannot listen on " + std::string(kLoopback) + ":" + std::to_string(port);
        if (!started_) {
            return false;
        }
        listening_ = std::make_unique<SocketHandle>(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, kLoopback, &address.sin_addr);
        int length = sizeof(address);
        if (!listening_->Valid() ||
            bind(listening_->Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listening_->Get(), SOMAXCONN) != 0 ||
            getsockname(listening_->Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return false;
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { AcceptLoop(); });
        error.clear();
        return true;
    }

    uint16_t Port() const override { return port_; }

  private:
    void AcceptLoop() {
        while (!stopping_) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listening_->Get(), &readable);
            timeval wait{0, kStopPollMicroseconds};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) {
                continue;
            }
            SocketHandle client(accept(listening_->Get(), nullptr, nullptr));
            if (client.Valid()) {
                Serve(client.Get());
            }
        }
    }

    // One request per connection: reads its head, answers, closes.
    void Serve(SOCKET client) {
        const DWORD timeout = kReceiveTimeoutMilliseconds;
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof(timeout));
        std::string head;
        char buffer[4096];
        while (head.find(kHeadEnd) == std::string::npos && head.size() < kMaxHead) {
            const int received = recv(client, buffer, sizeof(buffer), 0);
            if (received <= 0) {
                return;
            }
            head.append(buffer, static_cast<size_t>(received));
        }
        // The request line, then one header per line up to the empty one.
        std::vector<std::string> lines;
        for (size_t start = 0, end;
             (end = head.find(kLineEnd, start)) != std::string::npos && end > start;
             start = end + kLineEnd.size()) {
            lines.push_back(head.substr(start, end - start));
        }
        if (lines.empty()) {
            return;
        }
        const std::string requestLine = lines.front();
        lines.erase(lines.begin());
        const HttpAnswer answer = service_.Answer(requestLine, lines);
        SendAnswer(client, answer);
        if (answer.delivery == Delivery::CutShortReset) {
            // Closing with a zero linger time resets the connection.
            const linger reset{1, 0};
            setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
                       sizeof(reset));
            return;
        }
        shutdown(client, SD_SEND);
    }

    UpdateService& service_;
    bool started_ = false;
    std::unique_ptr<SocketHandle> listening_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    uint16_t port_ = 0;
};

}  // namespace

std::unique_ptr<UpdateListener> StartUpdateListener(UpdateService& service, uint16_t port,
                                                    std::string& error) {
    auto listener = std::make_unique<WinsockListener>(service);
    if (!listener->Start(port, error)) {
        return nullptr;
    }
    return listener;
}

}  // namespace updateserver
