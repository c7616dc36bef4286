#include "firmware/update_server/update_service.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using updateserver::HttpAnswer;
using updateserver::UpdateService;

namespace fs = std::filesystem;

std::string Check(const std::string& fw) {
    return "GET /firmware/check.php?fw=" + fw + "&swid=3&av=1.0.1&os=w HTTP/1.1";
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class UpdateServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("update_service_test_" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    void Write(const std::string& name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
    }

    fs::path folder;
};

TEST_F(UpdateServiceTest, OffersTheNewestImageToOlderVersions) {
    std::vector<std::string> logged;
    UpdateService service(folder, [&](const std::string& line) { logged.push_back(line); });
    EXPECT_EQ(service.Answer(Check("1.2")).body, "NULL\r\n");  // nothing to offer yet

    Write("1.9.s19", "S9030000FC\r\n");
    Write("1.11.s19", "S0070000312E313137\r\nS9030000FC\r\n");
    Write("1.2.s19", "S9030000FC\n");
    Write("9.9.txt", "not an image");
    Write("beta.s19", "not a version");
    const std::string kOffer = "1.11\r\nS0070000312E313137\r\nS9030000FC\r\n";

    for (const char* older : {"1.10", "1.9", "0.0", "", "junk"}) {
        const HttpAnswer answer = service.Answer(Check(older));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body, kOffer) << older;
    }
    for (const char* current : {"1.11", "1.12", "2.0"}) {
        EXPECT_EQ(service.Answer(Check(current)).body, "NULL\r\n") << current;
    }
    // Through a proxy the request line names the host.
    const std::string kProxied =
        "GET http://update.pelorandix.com/firmware/check.php?fw=1.2&swid=1&av=1.0.1&os=w HTTP/1.1";
    EXPECT_EQ(service.Answer(kProxied).body, kOffer);

    EXPECT_EQ(service.RequestLines().size(), 10u);
    EXPECT_EQ(service.RequestLines().back(), kProxied);
    EXPECT_EQ(logged, service.RequestLines());
}

TEST_F(UpdateServiceTest, OtherRequestsAreRefused) {
    UpdateService service(folder);
    EXPECT_EQ(service.Answer("GET /firmware/other.php?fw=1&swid=1&av=1&os=w HTTP/1.1").status, 404);
    EXPECT_EQ(service.Answer("GET http://update.pelorandix.com HTTP/1.1").status, 404);
    EXPECT_EQ(service.Answer("POST " + Check("1.1").substr(4)).status, 405);
    EXPECT_EQ(service.Answer("GET /firmware/check.php?fw=1.1&swid=3&os=w HTTP/1.1").status, 400);
    EXPECT_EQ(service.Answer("GET /firmware/check.php?fw=1.1&swid=3&av=1&os=m HTTP/1.1").status,
              400);
    EXPECT_EQ(service.Answer("garbage").status, 400);
    EXPECT_EQ(service.Answer("").status, 400);
}

// The committed sample: a 64 KiB image of valid S1 records between an S0
// header naming its version and an S9 end record.
TEST(SampleImage, Is64KiBOfValidRecords) {
    const std::string image = ReadAll(fs::path(PELO_SAMPLE_IMAGES) / "1.11.s19");
    std::istringstream lines(image);
    std::string line;
    std::vector<std::string> types;
    size_t nextAddress = 0;
    while (std::getline(lines, line)) {
        ASSERT_TRUE(line.ends_with("\r")) << line;
        line.pop_back();
        ASSERT_GE(line.size(), 10u);
        std::vector<unsigned> bytes;
        for (size_t at = 2; at < line.size(); at += 2) {
            bytes.push_back(std::stoul(line.substr(at, 2), nullptr, 16));
        }
        ASSERT_EQ(bytes[0], bytes.size() - 1) << line;
        unsigned sum = 0;
        for (size_t at = 0; at + 1 < bytes.size(); ++at) {
            sum += bytes[at];
        }
        ASSERT_EQ((~sum & 0xFF), bytes.back()) << line;
        types.push_back(line.substr(0, 2));
        if (types.back() == "S1") {
            EXPECT_EQ(bytes[1] * 256 + bytes[2], nextAddress);
            nextAddress += bytes.size() - 4;
        }
    }
    EXPECT_EQ(nextAddress, 0x10000u);
    ASSERT_EQ(types.size(), 2u + 0x10000 / 32);
    EXPECT_EQ(types.front(), "S0");
    EXPECT_EQ(types.back(), "S9");
    EXPECT_EQ(image.substr(0, 20), "S0070000312E313137\r\n");  // "1.11"
}

}  // namespace
