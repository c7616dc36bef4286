// Serves the update service over HTTP on 127.0.0.1 from threads of its own,
// until destroyed. On Linux it is cpp-httplib; on Windows, where that library
// is not at hand, a small Winsock server of one request per connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "firmware/update_server/update_service.h"

namespace updateserver {

class UpdateListener {
  public:
    virtual ~UpdateListener() = default;
    virtual uint16_t Port() const = 0;
};

// Listens on `port` (0: any free port). Nothing, with a description in
// `error`, when the port cannot be had.
std::unique_ptr<UpdateListener> StartUpdateListener(UpdateService& service, uint16_t port,
                                                    std::string& error);

}  // namespace updateserver
