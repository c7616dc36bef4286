// WinINet against the local update server, reached through the current
// user's proxy settings as the program reaches the real one.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "firmware/http_client_win32.h"
#include "firmware/testing/proxy_settings_win32.h"
#include "firmware/testing/recording_upgrade_view.h"
#include "firmware/update_server/update_listener.h"
#include "firmware/upgrade_check.h"
#include "hid/testing/iowkit2_double.h"
#include "switchlink/testing/recording_desktop.h"

namespace {

using Event = RecordingUpgradeView::Event;

constexpr char kCheck110[] = "/firmware/check.php?fw=1.10&swid=3&av=1.0.1&os=w";
// The sample image is 155680 bytes; the answer puts "1.11\r\n" before it.
constexpr uint64_t kOfferLength = 6 + 155680;

// The body to its end; nothing when a read fails.
std::optional<std::string> ReadBody(HttpClient& client) {
    std::string body;
    char block[5000];
    while (std::optional<size_t> read = client.Read(block, sizeof(block))) {
        if (*read == 0) {
            return body;
        }
        body.append(block, *read);
    }
    return std::nullopt;
}

// The Check button's logic over the real WinINet client, with the switch a
// test double.
struct UpgradeOverWinInet {
    UpgradeOverWinInet() {
        desktop.strings = {{107, "v%s?"}, {108, "1.0.1"}};
        EXPECT_EQ(IowKit2RegisterDeviceCallback(SwitchConnection::OnDeviceEvent,
                                                connection.CallbackContext()),
                  0u);
    }
    IowKit2Double hid;
    RecordingDesktop desktop;
    SwitchConnection connection{desktop};
    WinInetHttpClient client;
    RecordingUpgradeView view;
    FirmwareUpgrade upgrade{connection, desktop, client, view};
};

class HttpClientWinTest : public ::testing::Test {
  protected:
    // The request lines the server saw. A client may name the default port
    // in the proxied target (Wine's does); it means the same.
    std::vector<std::string> RequestLines() const {
        std::vector<std::string> lines = service.RequestLines();
        for (std::string& line : lines) {
            const size_t port = line.find(":80/");
            if (port != std::string::npos) {
                line.erase(port, 3);
            }
        }
        return lines;
    }

    void SetUp() override {
        std::string error;
        listener = updateserver::StartUpdateListener(service, 0, error);
        ASSERT_TRUE(listener) << error;
        proxy.PointAt(listener->Port());
    }

    // A port nothing listens on.
    static uint16_t ClosedPort() {
        updateserver::UpdateService unused(PELO_SAMPLE_IMAGES);
        std::string error;
        return updateserver::StartUpdateListener(unused, 0, error)->Port();
    }

    updateserver::UpdateService service{PELO_SAMPLE_IMAGES};
    std::unique_ptr<updateserver::UpdateListener> listener;
    ProxySettings proxy;
};

TEST_F(HttpClientWinTest, EveryGetReachesTheServerThroughTheProxy) {
    WinInetHttpClient client;
    ASSERT_TRUE(client.Open()) << client.ErrorText();
    for (int get = 0; get < 2; ++get) {
        ASSERT_TRUE(client.Get(kCheck110)) << client.ErrorText();
        const std::optional<HttpHead> head = client.Head();
        ASSERT_TRUE(head) << client.ErrorText();
        EXPECT_EQ(head->status, 200u);
        EXPECT_EQ(head->reason, "OK");
        EXPECT_EQ(head->bodyLength, kOfferLength);
        const std::string body = ReadBody(client).value_or("");
        EXPECT_EQ(body.size(), kOfferLength);
        EXPECT_EQ(body.substr(0, 26), "1.11\r\nS0070000312E313137\r\n");
        EXPECT_EQ(body.substr(body.size() - 12), "S9030000FC\r\n");
    }
    client.Close();
    // Both came to the server, each asking every cache on the way to let it
    // through, and naming the program.
    const std::string kRequestLine =
        std::string("GET http://") + kUpdateHost + kCheck110 + " HTTP/1.1";
    EXPECT_EQ(RequestLines(), (std::vector<std::string>{kRequestLine, kRequestLine}));
    for (const updateserver::UpdateService::Request& request : service.Requests()) {
        for (const char* header :
             {"Pragma: no-cache", "User-Agent: Pelorandix Control Center/1.0.1"}) {
            EXPECT_NE(std::find(request.headers.begin(), request.headers.end(), header),
                      request.headers.end())
                << header;
        }
    }
}

TEST_F(HttpClientWinTest, AnUnreachableServerIsToldAndTheNextCheckStartsOver) {
    UpgradeOverWinInet checking;
    auto& [hid, desktop, connection, client, view, upgrade] = checking;

    proxy.PointAt(ClosedPort());
    upgrade.OnCheck();
    EXPECT_EQ(client.ErrorCode(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
    EXPECT_EQ(view.Events(),
              (std::vector<Event>{Event::Message("The attempt to connect to the server failed.",
                                                 UpgradeView::MessageKind::Error)}));
    EXPECT_TRUE(service.RequestLines().empty());

    // The server is back: the next check runs from the start, and after Yes
    // the whole sample image goes to the switch.
    IowKit2Handle device = hid.Plug();
    hid.DeliverReport(device, 1, {9, 0, 0, 0, 1, 10});
    hid.DeliverReport(device, 1, {9, 0, 3, 0, 3});
    upgrade.ShowSwitchVersion();
    hid.ClearWrites();
    view.ClearEvents();
    view.answer = UpgradeView::Answer::Yes;
    proxy.PointAt(listener->Port());
    upgrade.OnCheck();

    EXPECT_EQ(RequestLines(), std::vector<std::string>{std::string("GET http://") + kUpdateHost +
                                                       kCheck110 + " HTTP/1.1"});
    size_t records = 0;
    for (const std::vector<uint8_t>& report : hid.WrittenBytes()) {
        records += report[1] == 0xC2 || report[1] == 0xC3;
    }
    EXPECT_EQ(records, 2u + 65536 / 32);
    EXPECT_EQ(view.EventsOf(Event::Kind::Range), std::vector<Event>{Event::Range(155681)});
    EXPECT_EQ(view.EventsOf(Event::Kind::Position).back(), Event::Position(155680));
    // This switch confirms none.
    EXPECT_EQ(view.EventsOf(Event::Kind::Message).back(),
              Event::Message("Firmware Upgrade failed: the switch confirmed 0 of 2050 records; "
                             "its firmware may be incomplete",
                             UpgradeView::MessageKind::Error));
}

TEST_F(HttpClientWinTest, HeadsAndBodiesAsTheServerSentThem) {
    WinInetHttpClient client;
    ASSERT_TRUE(client.Open()) << client.ErrorText();
    ASSERT_TRUE(client.Get("/firmware/nothing")) << client.ErrorText();
    std::optional<HttpHead> head = client.Head();
    ASSERT_TRUE(head) << client.ErrorText();
    EXPECT_EQ(head->status, 404u);
    EXPECT_EQ(head->reason, "Not Found");
    EXPECT_EQ(ReadBody(client), "Not Found\n");

    // Chunked: no length declared, the whole body read.
    service.SetDelivery(updateserver::Delivery::Chunked);
    ASSERT_TRUE(client.Get(kCheck110)) << client.ErrorText();
    head = client.Head();
    ASSERT_TRUE(head) << client.ErrorText();
    EXPECT_EQ(head->bodyLength, std::nullopt);
    const std::string body = ReadBody(client).value_or("");
    EXPECT_EQ(body.size(), kOfferLength);
    EXPECT_TRUE(body.ends_with("S9030000FC\r\n"));

    // A read gives what is there: the first line while the rest is on its way.
    service.SetDelivery(updateserver::Delivery::RestAfterAPause);
    ASSERT_TRUE(client.Get(kCheck110)) << client.ErrorText();
    std::vector<char> block(64 * 1024);
    EXPECT_EQ(client.Read(block.data(), block.size()), 6u);
    EXPECT_EQ(std::string(block.data(), 6), "1.11\r\n");
    EXPECT_EQ(ReadBody(client).value_or("").size(), kOfferLength - 6);

    // Reads stop once they took longer than the limit together.
    WinInetHttpClient hasty(kUpdateHost, std::chrono::seconds(0));
    service.SetDelivery(updateserver::Delivery::Whole);
    ASSERT_TRUE(hasty.Open() && hasty.Get(kCheck110)) << hasty.ErrorText();
    EXPECT_EQ(ReadBody(hasty), std::nullopt);
    EXPECT_EQ(hasty.ErrorCode(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
    EXPECT_EQ(hasty.ErrorText(),
              "The download of the firmware took too long (over 5 minutes). Nothing was sent to "
              "the switch.");
}

// A connection that closes or resets before the declared length arrived.
TEST_F(HttpClientWinTest, AnAnswerCutShortSendsTheSwitchNothing) {
    UpgradeOverWinInet checking;
    auto& [hid, desktop, connection, client, view, upgrade] = checking;
    hid.Plug();
    hid.ClearWrites();
    view.answer = UpgradeView::Answer::Yes;

    for (updateserver::Delivery delivery :
         {updateserver::Delivery::CutShort, updateserver::Delivery::CutShortReset}) {
        service.SetDelivery(delivery);
        view.ClearEvents();
        upgrade.OnCheck();
        EXPECT_EQ(view.Events(),
                  (std::vector<Event>{
                      Event::Message("v1.11?", UpgradeView::MessageKind::YesNo),
                      Event::TransferFinished(),
                      Event::Message("The download of the firmware ended early: 77843 of 155686 "
                                     "bytes arrived. Nothing was sent to the switch.",
                                     UpgradeView::MessageKind::Error)}));
    }
    // Only queries went out: no begin command, no record.
    for (const std::vector<uint8_t>& report : hid.WrittenBytes()) {
        EXPECT_EQ(report[1], 4) << static_cast<int>(report[2]);
    }
}

}  // namespace
