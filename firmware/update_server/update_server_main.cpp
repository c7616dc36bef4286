// The local update server: answers the program's update check from a folder
// of firmware images, and makes sample images.
//
//   update_server IMAGES_FOLDER [PORT]      serves on 127.0.0.1:PORT (8080)
//   update_server --make-image VERSION FILE writes a 64 KiB image
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "firmware/update_server/srecord_image.h"
#include "firmware/update_server/update_listener.h"
#include "firmware/update_server/update_service.h"

namespace {

constexpr uint16_t kDefaultPort = 8080;
constexpr char kMakeImage[] = "--make-image";

int Usage() {
    std::cerr << "usage: update_server IMAGES_FOLDER [PORT]\n"
                 "       update_server --make-image VERSION FILE\n";
    return 2;
}

int MakeImage(const std::string& version, const std::string& file) {
    std::ofstream out(file, std::ios::binary);
    out << updateserver::MakeSRecordImage(version, updateserver::kMaxS1ImageSize);
    if (!out.flush()) {
        std::cerr << "update_server: cannot write " << file << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == kMakeImage) {
        return MakeImage(argv[2], argv[3]);
    }
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        return Usage();
    }
    const int port = argc == 3 ? std::atoi(argv[2]) : kDefaultPort;
    if (port <= 0 || port > 65535) {
        return Usage();
    }

    std::mutex output;
    updateserver::UpdateService service(argv[1], [&output](const std::string& requestLine) {
        std::lock_guard lock(output);
        std::cout << requestLine << std::endl;
    });
    std::string error;
    const auto listener =
        updateserver::StartUpdateListener(service, static_cast<uint16_t>(port), error);
    if (!listener) {
        std::cerr << "update_server: " << error << "\n";
        return 1;
    }
    {
        std::lock_guard lock(output);
        std::cout << "Serving " << argv[1] << " on http://127.0.0.1:" << listener->Port() << "/"
                  << std::endl;
    }
    for (;;) {
        std::this_thread::sleep_for(std::chrono::hours(1));
    }
}
