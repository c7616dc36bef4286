#include "firmware/update_server/update_service.h"

#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "firmware/update_server/update_catalog.h"

namespace updateserver {

namespace {

constexpr std::string_view kGet = "GET";
constexpr std::string_view kCheckPath = "/firmware/check.php";
constexpr std::string_view kAbsoluteFormScheme = "http://";
constexpr std::string_view kUpToDate = "NULL";
constexpr std::string_view kLineEnd = "\r\n";
constexpr char kRequiredOs[] = "w";

HttpAnswer Failure(int status, std::string reason) {
    std::string body = reason + "\n";
    return {status, std::move(reason), std::move(body)};
}

// "a=1&b=2" as its keys and values, taken as they stand.
std::map<std::string, std::string, std::less<>> ParseQuery(std::string_view query) {
    std::map<std::string, std::string, std::less<>> values;
    while (!query.empty()) {
        const size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        const size_t equals = pair.find('=');
        if (equals != std::string_view::npos) {
            values.emplace(pair.substr(0, equals), pair.substr(equals + 1));
        }
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    }
    return values;
}

std::optional<std::string> ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

UpdateService::UpdateService(std::filesystem::path folder, Log log)
    : folder_(std::move(folder)), log_(std::move(log)) {}

std::vector<UpdateService::Request> UpdateService::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> UpdateService::RequestLines() const {
    std::vector<std::string> lines;
    for (const Request& request : Requests()) {
        lines.push_back(request.line);
    }
    return lines;
}

void UpdateService::SetDelivery(Delivery delivery) {
    std::lock_guard lock(mutex_);
    delivery_ = delivery;
}

HttpAnswer UpdateService::Answer(std::string_view requestLine, std::vector<std::string> headers) {
    Delivery delivery = Delivery::Whole;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back({std::string(requestLine), std::move(headers)});
        if (log_) {
            log_(requests_.back().line);
        }
        delivery = delivery_;
    }
    HttpAnswer answer = AnswerRequest(requestLine);
    answer.delivery = delivery;
    return answer;
}

HttpAnswer UpdateService::AnswerRequest(std::string_view requestLine) const {
    const size_t methodEnd = requestLine.find(' ');
    const size_t targetEnd = requestLine.rfind(' ');
    if (methodEnd == std::string_view::npos || targetEnd <= methodEnd) {
        return Failure(400, "Bad Request");
    }
    if (requestLine.substr(0, methodEnd) != kGet) {
        return Failure(405, "Method Not Allowed");
    }
    std::string_view target = requestLine.substr(methodEnd + 1, targetEnd - methodEnd - 1);
    // Through a proxy the target names the host as well: http://host/path.
    if (target.starts_with(kAbsoluteFormScheme)) {
        target.remove_prefix(kAbsoluteFormScheme.size());
        const size_t path = target.find('/');
        target = path == std::string_view::npos ? std::string_view("/") : target.substr(path);
    }
    const size_t queryStart = target.find('?');
    if (target.substr(0, queryStart) != kCheckPath) {
        return Failure(404, "Not Found");
    }
    return AnswerCheck(queryStart == std::string_view::npos ? std::string_view()
                                                            : target.substr(queryStart + 1));
}

HttpAnswer UpdateService::AnswerCheck(std::string_view query) const {
    const auto values = ParseQuery(query);
    for (const char* key : {"fw", "swid", "av", "os"}) {
        if (!values.contains(key)) {
            return Failure(400, "Bad Request");
        }
    }
    if (values.find("os")->second != kRequiredOs) {
        return Failure(400, "Bad Request");
    }

    const std::optional<Image> newest = NewestImage(folder_);
    const std::optional<std::vector<unsigned>> asked = ParseVersion(values.find("fw")->second);
    if (!newest || (asked && *asked >= *ParseVersion(newest->version))) {
        return {200, "OK", std::string(kUpToDate) + std::string(kLineEnd)};
    }
    const std::optional<std::string> image = ReadFile(newest->file);
    if (!image) {
        return Failure(500, "Internal Server Error");
    }
    return {200, "OK", newest->version + std::string(kLineEnd) + *image};
}

}  // namespace updateserver
