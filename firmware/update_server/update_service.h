// What the local update server answers, whatever carries the HTTP: the
// request "GET /firmware/check.php?fw=..&swid=..&av=..&os=w" (also in the
// absolute form a proxy gets) is answered from a folder of images: "NULL"
// when the asked version is the newest or newer, otherwise the newest
// version's line followed by its image. Every request line is kept and
// passed to a log.
#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace updateserver {

// How a listener sends an answer's body. Only the Winsock listener (the one
// the Windows tests run in-process) sends other than Whole; cpp-httplib's
// always sends the body whole.
enum class Delivery {
    Whole,            // its length declared, then all of it
    Chunked,          // in chunks, no length declared
    CutShort,         // its whole length declared, half of it sent, then a close
    CutShortReset,    // the same, then a reset instead of a close
    RestAfterAPause,  // its length declared, its first line, a pause, the rest
};

struct HttpAnswer {
    int status = 200;
    std::string reason;
    std::string body;
    Delivery delivery = Delivery::Whole;
};

class UpdateService {
  public:
    using Log = std::function<void(const std::string& requestLine)>;

    explicit UpdateService(std::filesystem::path folder, Log log = {});

    // A request as it came: its request line ("GET <target> HTTP/1.1") and
    // its header lines ("Name: value").
    struct Request {
        std::string line;
        std::vector<std::string> headers;
    };

    // Answers one request. Safe to call from several threads.
    HttpAnswer Answer(std::string_view requestLine, std::vector<std::string> headers = {});

    // How the answers from now on are sent (Whole until set).
    void SetDelivery(Delivery delivery);

    // The requests seen so far, in order, and just their request lines.
    std::vector<Request> Requests() const;
    std::vector<std::string> RequestLines() const;

  private:
    HttpAnswer AnswerRequest(std::string_view requestLine) const;
    HttpAnswer AnswerCheck(std::string_view query) const;

    const std::filesystem::path folder_;
    const Log log_;
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    Delivery delivery_ = Delivery::Whole;
};

}  // namespace updateserver
