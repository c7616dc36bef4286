// The update server over cpp-httplib, asked as the program asks it through a
// proxy.
#include "firmware/update_server/update_listener.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>

namespace {

TEST(UpdateListener, AnswersTheProxiedRequestAndLogsItsRequestLine) {
    updateserver::UpdateService service(PELO_SAMPLE_IMAGES);
    std::string error;
    auto listener = updateserver::StartUpdateListener(service, 0, error);
    ASSERT_TRUE(listener) << error;
    ASSERT_GT(listener->Port(), 0);

    httplib::Client client("127.0.0.1", listener->Port());
    const std::string kTarget =
        "http://update.pelorandix.com/firmware/check.php?fw=1.10&swid=3&av=1.0.1&os=w";
    auto offer = client.Get(kTarget);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->status, 200);
    EXPECT_TRUE(offer->body.starts_with("1.11\r\nS0070000312E313137\r\nS123000000"));
    EXPECT_EQ(offer->get_header_value("Content-Length"), std::to_string(offer->body.size()));

    auto missing = client.Get("/firmware/nothing");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);

    EXPECT_EQ(service.RequestLines(), (std::vector<std::string>{"GET " + kTarget + " HTTP/1.1",
                                                                "GET /firmware/nothing HTTP/1.1"}));

    // The port is taken now.
    EXPECT_FALSE(updateserver::StartUpdateListener(service, listener->Port(), error));
    EXPECT_NE(error, "");
}

}  // namespace
