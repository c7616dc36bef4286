#include <httplib.h>

#include <chrono>
#include <thread>
#include <vector>

#include "firmware/update_server/update_listener.h"

namespace updateserver {

namespace {

constexpr char kLoopback[] = "127.0.0.1";
constexpr char kContentType[] = "text/plain";
constexpr auto kStartPoll = std::chrono::milliseconds(1);
constexpr int kStartPolls = 5000;

class HttplibListener : public UpdateListener {
  public:
    explicit HttplibListener(UpdateService& service) {
        // Reuse the address of a server that just ended, but never share the
        // port with one that runs: requests would go to either at random.
        server_.set_socket_options([](socket_t socket) {
            int yes = 1;
            setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        });
        // Every request, whatever its method or target, goes to the service.
        server_.set_pre_routing_handler(
            [&service](const httplib::Request& request, httplib::Response& response) {
                std::vector<std::string> headers;
                for (const auto& [name, value] : request.headers) {
                    headers.push_back(name + ": " + value);
                }
                const HttpAnswer answer = service.Answer(
                    request.method + " " + request.target + " " + request.version, headers);
                response.status = answer.status;
                response.set_content(answer.body, kContentType);
                return httplib::Server::HandlerResponse::Handled;
            });
    }

    ~HttplibListener() override {
        if (thread_.joinable()) {
            server_.stop();
            thread_.join();
        }
    }

    bool Start(uint16_t port, std::string& error) {
        const int bound = port == 0 ? server_.bind_to_any_port(kLoopback)
                                    : (server_.bind_to_port(kLoopback, port) ? port : -1);
        if (bound <= 0) {
            error = "cannot listen on " + std::string(kLoopback) + ":" + std::to_string(port);
            return false;
        }
        port_ = static_cast<uint16_t>(bound);
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() only reaches a server that is running.
        for (int poll = 0; poll < kStartPolls && !server_.is_running(); ++poll) {
            std::this_thread::sleep_for(kStartPoll);
        }
        return true;
    }

    uint16_t Port() const override { return port_; }

  private:
    httplib::Server server_;
    std::thread thread_;
    uint16_t port_ = 0;
};

}  // namespace

std::unique_ptr<UpdateListener> StartUpdateListener(UpdateService& service, uint16_t port,
                                                    std::string& error) {
    auto listener = std::make_unique<HttplibListener>(service);
    if (!listener->Start(port, error)) {
        return nullptr;
    }
    return listener;
}

}  // namespace updateserver
