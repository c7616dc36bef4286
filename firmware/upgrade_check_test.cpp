#include "firmware/upgrade_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "firmware/testing/fake_http_client.h"
#include "firmware/testing/recording_upgrade_view.h"
#include "hid/testing/iowkit2_double.h"
#include "switchlink/testing/recording_desktop.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Event = RecordingUpgradeView::Event;
using Kind = UpgradeView::MessageKind;
using Lines = std::vector<std::string>;

constexpr char kQuestion13[] =
    "There is a new Firmware available (v1.3)! Do you want to upgarde the switch?";
constexpr char kUpToDate[] = "Your Firmware is up-to-date!";
constexpr char kFinished[] = "Firmware Upgrade finished";

// An answer offering 1.3: 93 bytes, line 1 of 3 characters.
constexpr char kOffer[] =
    "1.3\r\n"
    "S00600004844521B\r\n"
    "S1130000285F245F2212226A000424290008237C2A\r\n"
    "\r\n"
    "S5030001FB\r\n"
    "S9030000FC\r\n";

// What the switch got, one line per report or record: "query 3" for [9, 4, 3],
// "command 8" for [9, 1, 8], "record 241 42 S113..." for a record's header
// (type, length) and the text of its chunks.
Lines Transcript(const std::vector<Bytes>& writes) {
    Lines lines;
    for (const Bytes& report : writes) {
        const uint8_t control = report.at(1);
        if (control == 4 || control == 1) {
            lines.push_back((control == 4 ? "query " : "command ") + std::to_string(report[2]));
        } else if (control == 0xC2 || control == 0xC3) {
            lines.push_back("record " + std::to_string(report[2]) + " " +
                            std::to_string(report[3]) + " ");
        } else if (control == 0xC6) {
            lines.back().append(report.begin() + 2, report.begin() + 8);
        } else if (control > 0x80 && control <= 0x86) {
            lines.back().append(report.begin() + 2, report.begin() + 2 + (control - 0x80));
        } else {
            lines.push_back("unexpected control " + std::to_string(control));
        }
    }
    return lines;
}

const Lines kTypeQuery{"query 3", "query 7"};

// The English strings of the firmware upgrade.
const std::map<unsigned, std::string> kStrings{
    {106, "Your Firmware is up-to-date!"},
    {107, "There is a new Firmware available (v%s)! Do you want to upgarde the switch?"},
    {108, "1.0.1"},
};

class UpgradeCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop.strings = kStrings;
        desktop.onHandleReports = [this] { hid.DispatchReports(); };
        ASSERT_EQ(IowKit2RegisterDeviceCallback(SwitchConnection::OnDeviceEvent,
                                                connection.CallbackContext()),
                  0u);
    }

    // A switch that told version 1.2 and device type 3; the dialog shows 1.2.
    // From then on it answers as SwitchAnswers says.
    void PlugSwitch() {
        device = hid.Plug();
        Answer({9, 0, 0, 0, 1, 2});
        Answer({9, 0, 3, 0, 3});
        upgrade.ShowSwitchVersion();
        hid.ClearWrites();
        view.ClearEvents();
        desktop.ClearEvents();
        hid.onWrite = [this](const IowKit2Double::WriteRecord& write) { SwitchAnswers(write); };
    }

    // The switch answers a query's follow-up, decoded in the next pause: a
    // status query with the next of `statuses` (0 once they are used up; no
    // answer for -1), a version query with 1.3 if `answerVersion`.
    void SwitchAnswers(const IowKit2Double::WriteRecord& write) {
        if (write.bytes[1] != 4) {
            return;
        }
        if (write.bytes[2] == 7 && asked == 255) {
            const int status = statuses.empty() ? 0 : statuses.front();
            if (!statuses.empty()) {
                statuses.erase(statuses.begin());
            }
            if (status >= 0) {
                hid.PostReport(write.device, 1, {9, 0, 255, static_cast<uint8_t>(status)});
            }
        } else if (write.bytes[2] == 7 && asked == 0 && answerVersion) {
            hid.PostReport(write.device, 1, {9, 0, 0, 0, 1, 3});
        }
        asked = write.bytes[2];
    }

    void Answer(const Bytes& report) { hid.DeliverReport(device, 1, report); }

    Lines Sent() const { return Transcript(hid.WrittenBytes()); }

    std::vector<Event> Messages() const { return view.EventsOf(Event::Kind::Message); }

    // The question offering 1.3 and after the Yes, the refusal.
    static std::vector<Event> Refused(const std::string& text) {
        return {Event::Message(kQuestion13, Kind::YesNo), Event::TransferFinished(),
                Event::Message(text, Kind::Error)};
    }

    std::vector<int> Positions() const {
        std::vector<int> positions;
        for (const Event& event : view.EventsOf(Event::Kind::Position)) {
            positions.push_back(event.value);
        }
        return positions;
    }

    void CheckAgain() {
        hid.ClearWrites();
        view.ClearEvents();
        desktop.ClearEvents();
        http.calls.clear();
        upgrade.OnCheck();
    }

    IowKit2Double hid;
    IowKit2Handle device = nullptr;
    RecordingDesktop desktop;
    SwitchConnection connection{desktop};
    FakeHttpClient http;
    RecordingUpgradeView view;
    FirmwareUpgrade upgrade{connection, desktop, http, view};
    std::vector<int> statuses;
    bool answerVersion = true;
    uint8_t asked = 0;
};

TEST_F(UpgradeCheckTest, VersionTextAndReload) {
    EXPECT_EQ(upgrade.m_strVersion, "0.0");
    device = hid.Plug();
    hid.ClearWrites();
    // No version answer decoded yet: the text is empty, not "0.0".
    upgrade.ShowSwitchVersion();
    EXPECT_EQ(Sent(), (Lines{"query 0", "query 7"}));
    EXPECT_EQ(upgrade.m_strVersion, "");
    Answer({9, 0, 0, 0, 1, 2});
    upgrade.ShowSwitchVersion();
    EXPECT_EQ(upgrade.m_strVersion, "1.2");
    EXPECT_EQ(view.Events(), (std::vector<Event>{Event::Version(""), Event::Version("1.2")}));

    hid.ClearWrites();
    view.ClearEvents();
    upgrade.OnReload();
    EXPECT_EQ(hid.WrittenBytes(),
              (std::vector<Bytes>{{9, 1, 8, 0, 0, 0, 0, 0}, {9, 1, 254, 0, 0, 0, 0, 0}}));
    EXPECT_TRUE(view.Events().empty());
    EXPECT_TRUE(http.calls.empty());
}

TEST_F(UpgradeCheckTest, UpToDateOrDeclinedSendsOnlyTheTypeQuery) {
    PlugSwitch();
    for (const char* body : {"NULL", "NULL\r\nS9030000FC\r\n", "NULLX 1.4\n"}) {
        http.body = body;
        CheckAgain();
        EXPECT_EQ(http.calls, (Lines{"Open", "Get /firmware/check.php?fw=1.2&swid=3&av=1.0.1&os=w",
                                     "Head", "Close"}));
        EXPECT_EQ(Sent(), kTypeQuery);
        EXPECT_EQ(view.Events(), (std::vector<Event>{Event::Message(kUpToDate, Kind::Ok)}));
    }

    // Anything else is a version on offer, whole; No leaves everything as it was.
    const std::vector<std::pair<std::string, std::string>> offers{
        {"NUL", "NUL"}, {"null\n", "null"}, {" NULL\r\n", " NULL"}, {"1.3\r\n", "1.3"}, {"", ""}};
    for (const auto& [body, version] : offers) {
        http.body = body;
        CheckAgain();
        EXPECT_EQ(Sent(), kTypeQuery);
        EXPECT_EQ(
            view.Events(),
            (std::vector<Event>{Event::Message("There is a new Firmware available (v" + version +
                                                   ")! Do you want to upgarde the switch?",
                                               Kind::YesNo)}));
        EXPECT_EQ(http.calls.back(), "Close");
    }
}

TEST_F(UpgradeCheckTest, QueryWithoutAnyVersionOrSwitch) {
    http.body = "NULL";
    upgrade.m_strVersion = "";
    upgrade.OnCheck();
    EXPECT_EQ(http.calls.at(1), "Get /firmware/check.php?fw=&swid=0&av=1.0.1&os=w");
    EXPECT_TRUE(hid.Writes().empty());
}

TEST_F(UpgradeCheckTest, YesTransfersEveryRecordInOrder) {
    PlugSwitch();
    http.body = kOffer;
    view.answer = UpgradeView::Answer::Yes;
    size_t writesAtSettle = 0;
    desktop.onSleep = [&](unsigned milliseconds) {
        if (milliseconds == 2000) {
            writesAtSettle = hid.Writes().size();
        }
    };
    upgrade.OnCheck();

    EXPECT_EQ(Sent(), (Lines{"query 3", "query 7", "command 8", "record 240 16 S00600004844521B",
                             "query 255", "query 7",
                             "record 241 42 S1130000285F245F2212226A000424290008237C2A",
                             "query 255", "query 7", "record 242 10 S9030000FC", "query 255",
                             "query 7", "command 8", "command 254", "query 0", "query 7"}));
    const std::vector<Bytes> writes = hid.WrittenBytes();
    EXPECT_EQ(writes[3], (Bytes{9, 0xC3, 0xF0, 16, 0, 0, 0, 0}));
    EXPECT_EQ(writes[9], (Bytes{9, 0xC2, 0xF1, 42, 0, 0, 0, 0}));
    EXPECT_EQ(writes[19], (Bytes{9, 0xC2, 0xF2, 10, 0, 0, 0, 0}));
    // The wait comes after the end command and before the version query.
    EXPECT_EQ(writesAtSettle, writes.size() - 2);
    std::vector<unsigned> sleeps(15, 1);
    sleeps.push_back(2000);
    sleeps.push_back(10000);
    EXPECT_EQ(desktop.Sleeps(), sleeps);

    // Range 93 - 3 - 1; every line moves the bar by its length + 2, the
    // empty line and the S5 line too.
    EXPECT_EQ(view.Events(), (std::vector<Event>{
                                 Event::Message(kQuestion13, Kind::YesNo), Event::Range(89),
                                 Event::Position(0), Event::TransferStarting(), Event::Position(18),
                                 Event::Position(62), Event::Position(64), Event::Position(76),
                                 Event::Position(88), Event::TransferEnded(), Event::Version("1.3"),
                                 Event::TransferFinished(), Event::Message(kFinished, Kind::Ok)}));
    EXPECT_EQ(view.Lowest(), 0);
    EXPECT_EQ(http.calls.back(), "Close");
}

TEST_F(UpgradeCheckTest, LinesThatAreNotRecordsOnlyMoveTheBar) {
    PlugSwitch();
    view.answer = UpgradeView::Answer::Yes;
    // 55 bytes: range 0 .. 51. Lines ending in a bare line feed still count
    // two, so the last one takes the bar to its end and no further. Lines
    // not sent are not checked either.
    http.body = "1.3\nS5030001FB\n\nS2 not a record!\nS1030000FC\nS9030000FC\n";
    CheckAgain();
    EXPECT_EQ(Sent(), (Lines{"query 3", "query 7", "command 8", "record 241 10 S1030000FC",
                             "query 255", "query 7", "record 242 10 S9030000FC", "query 255",
                             "query 7", "command 8", "command 254", "query 0", "query 7"}));
    EXPECT_EQ(view.EventsOf(Event::Kind::Range), std::vector<Event>{Event::Range(51)});
    EXPECT_EQ(Positions(), (std::vector<int>{0, 12, 14, 32, 44, 51}));
    EXPECT_EQ(Messages().back(), Event::Message(kFinished, Kind::Ok));
}

TEST_F(UpgradeCheckTest, ARefusedRecordStopsTheTransferAndNamesItsStatus) {
    PlugSwitch();
    // S0, four S1 and S9: the switch answers each status query after a
    // moment, decoded in the next pause.
    constexpr char kS1[] = "S1130000285F245F2212226A000424290008237C2A";
    http.body = std::string("1.3\r\nS00600004844521B\r\n") + kS1 + "\r\n" + kS1 + "\r\n" + kS1 +
                "\r\n" + kS1 + "\r\nS9030000FC\r\n";
    view.answer = UpgradeView::Answer::Yes;
    const auto transfer = [&](std::vector<int> answers) {
        statuses = std::move(answers);
        CheckAgain();
        size_t records = 0;
        for (const std::string& line : Sent()) {
            records += line.starts_with("record");
        }
        return records;
    };

    // The second record refused: the third, under way when the status is
    // decoded, is the last; the end commands and the version query follow.
    EXPECT_EQ(transfer({0, 4, 0, 0, 0, 0}), 3u);
    const Lines sent = Sent();
    EXPECT_EQ(Lines(sent.end() - 4, sent.end()),
              (Lines{"command 8", "command 254", "query 0", "query 7"}));
    EXPECT_EQ(Messages().back(), Event::Message("Firmware Upgrade Error 4", Kind::Ok));

    // The status left from that transfer does not stop the next one.
    Answer({9, 0, 255, 4});
    EXPECT_EQ(transfer({0, 0, 0, 0, 0, 0}), 6u);
    EXPECT_EQ(Messages().back(), Event::Message(kFinished, Kind::Ok));

    // A status answered only after the last record, while the switch is
    // given its time, still counts; so does one with no text of its own.
    EXPECT_EQ(transfer({0, 0, 0, 0, 0, 5}), 6u);
    EXPECT_EQ(Messages().back(), Event::Message("Firmware Upgrade Error 5", Kind::Ok));
    EXPECT_EQ(transfer({0, 1, 0, 0, 0, 0}), 3u);
    EXPECT_EQ(Messages().back(), Event::Message("Firmware Upgrade Error 1", Kind::Ok));
}

TEST_F(UpgradeCheckTest, FinishedOnlyWhenTheSwitchConfirmedEveryRecord) {
    PlugSwitch();
    http.body = kOffer;
    view.answer = UpgradeView::Answer::Yes;
    // A switch that answers no status query (stuck in its loader), or not the
    // last record's in time.
    for (const std::vector<int>& answers : {std::vector<int>{-1, -1, -1}, {0, 0, -1}}) {
        statuses = answers;
        CheckAgain();
        EXPECT_EQ(Sent().size(), 16u);
        EXPECT_EQ(Messages().back(),
                  Event::Message("Firmware Upgrade failed: the switch confirmed " +
                                     std::string(answers[0] < 0 ? "0" : "2") +
                                     " of 3 records; its firmware may be incomplete",
                                 Kind::Error));
    }
}

TEST_F(UpgradeCheckTest, TheNewVersionIsAwaitedAcrossARestartAndTheOldOneNeverShown) {
    PlugSwitch();
    http.body = kOffer;
    view.answer = UpgradeView::Answer::Yes;
    // The switch restarts while its version is awaited: taken again on its
    // arrival, it is asked again and answers.
    desktop.onSleep = [&](unsigned milliseconds) {
        if (milliseconds == 10000) {
            hid.Unplug(device);
            device = hid.Plug();
        }
    };
    CheckAgain();
    EXPECT_EQ(desktop.Sleeps().back(), 10000u);
    EXPECT_EQ(view.EventsOf(Event::Kind::Version), std::vector<Event>{Event::Version("1.3")});
    EXPECT_EQ(Messages().back(), Event::Message(kFinished, Kind::Ok));

    // No answer in time: no version is shown, and the next check asks with
    // the one the switch told meanwhile.
    desktop.onSleep = nullptr;
    answerVersion = false;
    CheckAgain();
    EXPECT_EQ(view.EventsOf(Event::Kind::Version), std::vector<Event>{Event::Version("")});
    EXPECT_EQ(Messages().back(), Event::Message("Firmware Upgrade finished, but the switch has "
                                                "not reported its new version yet",
                                                Kind::Ok));
    Answer({9, 0, 0, 0, 1, 4});
    http.body = "NULL";
    CheckAgain();
    EXPECT_EQ(http.calls.at(1), "Get /firmware/check.php?fw=1.4&swid=3&av=1.0.1&os=w");
    EXPECT_EQ(view.Events().front(), Event::Version("1.4"));
}

TEST_F(UpgradeCheckTest, CheckAndReloadDoNothingWhileACheckRuns) {
    PlugSwitch();
    http.body = kOffer;
    view.answer = UpgradeView::Answer::Yes;
    // Clicks another program sends while a message box is open or the
    // transfer pauses.
    const auto clicks = [&] {
        upgrade.OnCheck();
        upgrade.OnReload();
    };
    view.onMessage = [&](const std::string&) { clicks(); };
    desktop.onSleep = [&](unsigned) { clicks(); };
    CheckAgain();
    EXPECT_EQ(Sent().size(), 16u);
    EXPECT_EQ(Messages().back(), Event::Message(kFinished, Kind::Ok));

    hid.ClearWrites();
    upgrade.OnReload();
    EXPECT_EQ(Sent(), (Lines{"command 8", "command 254"}));
}

TEST_F(UpgradeCheckTest, NoSwitchOrAFailedWriteIsAFailureNeverFinished) {
    const Event kNotConnected =
        Event::Message("Firmware Upgrade failed: the switch is not connected", Kind::Error);
    const Event kNotTaken =
        Event::Message("Firmware Upgrade failed: the switch did not take the data", Kind::Error);
    http.body = kOffer;
    view.answer = UpgradeView::Answer::Yes;
    upgrade.OnCheck();
    EXPECT_TRUE(hid.Writes().empty());
    EXPECT_TRUE(desktop.Sleeps().empty());
    EXPECT_EQ(Messages().back(), kNotConnected);

    // A write the layer fails, and a switch pulled out during the transfer:
    // nothing more of the image goes out, no wait, no version query.
    PlugSwitch();
    hid.onWrite = [&](const IowKit2Double::WriteRecord& write) {
        if (write.bytes[1] == 0xC2) {
            hid.FailNext(IowKit2Double::Operation::Write);
        }
    };
    CheckAgain();
    EXPECT_EQ(Sent(),
              (Lines{"query 3", "query 7", "command 8", "record 240 16 S00600004844521B",
                     "query 255", "query 7", "record 241 42 ", "command 8", "command 254"}));
    EXPECT_EQ(Messages().back(), kNotTaken);
    EXPECT_EQ(desktop.Sleeps(), std::vector<unsigned>(4, 1));

    // The end command that does not go out, after every record was taken.
    hid.onWrite = [&](const IowKit2Double::WriteRecord& write) {
        SwitchAnswers(write);
        if (write.bytes[1] == 1 && hid.Writes().size() > 3) {
            hid.FailNext(IowKit2Double::Operation::Write);
        }
    };
    CheckAgain();
    EXPECT_EQ(Sent().back(), "command 8");
    EXPECT_EQ(Messages().back(), kNotTaken);

    hid.onWrite = [&](const IowKit2Double::WriteRecord& write) {
        if (write.bytes[1] == 0xC2) {
            hid.Unplug(device);
        }
    };
    CheckAgain();
    EXPECT_EQ(Sent().back(), "record 241 42 ");
    EXPECT_EQ(Messages().back(), kNotTaken);
    CheckAgain();
    EXPECT_TRUE(hid.Writes().empty());
    EXPECT_EQ(Messages().back(), kNotConnected);
}

TEST_F(UpgradeCheckTest, HttpFailuresEndTheCheckAndTheNextOneStartsOver) {
    PlugSwitch();
    http.body = "NULL";
    http.errorText = "The attempt to connect to the server failed";
    const std::vector<Event> kError{Event::Message(http.errorText, Kind::Error)};

    http.failAt = FakeHttpClient::Step::Open;
    CheckAgain();
    EXPECT_EQ(view.Events(), kError);
    EXPECT_TRUE(hid.Writes().empty());

    for (FakeHttpClient::Step step :
         {FakeHttpClient::Step::Get, FakeHttpClient::Step::Head, FakeHttpClient::Step::Read}) {
        http.failAt = step;
        http.failReadAfter = 2;
        CheckAgain();
        EXPECT_EQ(view.Events(), kError);
        EXPECT_EQ(Sent(), kTypeQuery);
        EXPECT_EQ(http.calls.back(), "Close");
        EXPECT_FALSE(http.open);
    }

    http.failAt.reset();
    CheckAgain();
    EXPECT_EQ(http.calls.front(), "Open");
    EXPECT_EQ(view.Events(), (std::vector<Event>{Event::Message(kUpToDate, Kind::Ok)}));
}

TEST_F(UpgradeCheckTest, TheImageArrivesWholeBeforeTheSwitchHearsOfIt) {
    PlugSwitch();
    view.answer = UpgradeView::Answer::Yes;

    // The connection breaks in the middle of the image.
    http.body = kOffer;
    http.failAt = FakeHttpClient::Step::Read;
    http.failReadAfter = 60;
    CheckAgain();
    EXPECT_EQ(Sent(), kTypeQuery);
    EXPECT_EQ(view.Events(), Refused(http.errorText));
    http.failAt.reset();

    // Over 16 MiB: refused as told, before reading it, or once read past it.
    const std::string kTooLarge =
        "The firmware image is larger than 16 MiB. Nothing was sent to the switch.";
    http.toldLength = 5 + 16 * 1024 * 1024 + 1;
    CheckAgain();
    EXPECT_EQ(Sent(), kTypeQuery);
    EXPECT_EQ(view.Events(), Refused(kTooLarge));
    EXPECT_LT(http.bytesRead, 100u);

    http.blockSize = 64 * 1024;
    http.toldLength = 100;
    http.body = "1.3\r\n" + std::string(16 * 1024 * 1024 + 1, 'x');
    CheckAgain();
    EXPECT_EQ(Sent(), kTypeQuery);
    EXPECT_EQ(view.Events(), Refused(kTooLarge));

    // A first line past the limit is not even shown.
    http.body = std::string(16 * 1024 * 1024 + 2, '7');
    CheckAgain();
    EXPECT_EQ(view.Events(), (std::vector<Event>{Event::Message(
                                 "The update server's answer is too large.", Kind::Error)}));

    // 16 MiB exactly is taken.
    http.body = "1.3\r\nS1030000FC\nS9030000FC\n" + std::string(16 * 1024 * 1024 - 22, 'x');
    http.toldLength.reset();
    CheckAgain();
    EXPECT_EQ(Sent().at(2), "command 8");
    EXPECT_EQ(Messages().back(), Event::Message(kFinished, Kind::Ok));
}

TEST_F(UpgradeCheckTest, TheQuestionShowsAtMost64CharactersOfTheVersion) {
    http.body = std::string(100000, '7') + "\nS9030000FC\n";
    upgrade.OnCheck();
    EXPECT_EQ(Messages(), (std::vector<Event>{Event::Message(
                              "There is a new Firmware available (v" + std::string(64, '7') +
                                  "...)! Do you want to upgarde the switch?",
                              Kind::YesNo)}));

    // Control characters would cut the text short or go unseen.
    view.ClearEvents();
    http.body = std::string("1.\0\t4\x7F\xE9\n", 8);
    upgrade.OnCheck();
    EXPECT_EQ(Messages(), (std::vector<Event>{Event::Message(
                              "There is a new Firmware available (v1.??4?\xE9)! Do you want to "
                              "upgarde the switch?",
                              Kind::YesNo)}));
}

TEST_F(UpgradeCheckTest, ABodyOfAnotherLengthThanDeclaredIsRefused) {
    PlugSwitch();
    view.answer = UpgradeView::Answer::Yes;
    const std::vector<std::tuple<std::string, uint64_t, std::vector<Event>>> kCases{
        {std::string(kOffer, 60), 100,
         Refused("The download of the firmware ended early: 60 of 100 bytes arrived. Nothing "
                 "was sent to the switch.")},
        // Cut off within the first line: nothing is offered.
        {"1.",
         100,
         {Event::Message("The download of the firmware ended early: 2 of 100 bytes arrived. "
                         "Nothing was sent to the switch.",
                         Kind::Error)}},
        {kOffer, 50,
         Refused("The download of the firmware is longer than declared: 93 of 50 bytes arrived. "
                 "Nothing was sent to the switch.")},
    };
    for (const auto& [body, told, events] : kCases) {
        http.body = body;
        http.toldLength = told;
        CheckAgain();
        EXPECT_EQ(Sent(), kTypeQuery);
        EXPECT_EQ(view.Events(), events);
    }
}

TEST_F(UpgradeCheckTest, ABodyWithoutADeclaredLengthIsWhatArrives) {
    PlugSwitch();
    view.answer = UpgradeView::Answer::Yes;
    http.declaresLength = false;
    http.body = kOffer;
    CheckAgain();
    EXPECT_EQ(Sent().size(), 16u);
    EXPECT_EQ(view.EventsOf(Event::Kind::Range), std::vector<Event>{Event::Range(89)});
    EXPECT_EQ(Messages().back(), Event::Message(kFinished, Kind::Ok));

    http.blockSize = 64 * 1024;
    http.body = "1.3\r\nS9030000FC\n" + std::string(16 * 1024 * 1024 - 10, 'x');
    CheckAgain();
    EXPECT_EQ(view.Events(), Refused("The firmware image is larger than 16 MiB. Nothing was sent "
                                     "to the switch."));
}

TEST_F(UpgradeCheckTest, AnErrorStatusIsNamedUnlessItSaysUpToDate) {
    PlugSwitch();
    view.answer = UpgradeView::Answer::Yes;
    const std::vector<std::tuple<unsigned, std::string, std::string, Event>> kCases{
        {404, "Not Found", "<html>Not here</html>\n",
         Event::Message("The update server answered 404 Not Found", Kind::Error)},
        {404, "Not Found", "",
         Event::Message("The update server answered 404 Not Found", Kind::Error)},
        {503, "", kOffer, Event::Message("The update server answered 503", Kind::Error)},
        {404, "Not Found", "NULL\r\n", Event::Message(kUpToDate, Kind::Ok)},
    };
    for (const auto& [status, reason, body, event] : kCases) {
        std::tie(http.status, http.reason, http.body) = std::tie(status, reason, body);
        CheckAgain();
        EXPECT_EQ(Sent(), kTypeQuery);
        EXPECT_EQ(view.Events(), std::vector<Event>{event});
    }
}

TEST_F(UpgradeCheckTest, ADamagedOrEmptyImageIsRefusedNamingTheLine) {
    PlugSwitch();
    view.answer = UpgradeView::Answer::Yes;
    const std::vector<std::pair<std::string, std::string>> kCases{
        // Line 6 (line 1 is "1.3") has a wrong checksum.
        {std::string(kOffer, 89) + "FD\r\n",
         "The firmware image is damaged: line 6 is not a valid S-record. Nothing was sent to the "
         "switch."},
        {"1.3\r\nS1130000285F245F2212226A00042429000823\r\nS9030000FC",
         "The firmware image is damaged: line 2 is not a valid S-record. Nothing was sent to the "
         "switch."},
        {"1.3", "The firmware image holds no records. Nothing was sent to the switch."},
        {"1.3\r\nS5030001FB\r\n\r\n",
         "The firmware image holds no records. Nothing was sent to the switch."},
        {"1.3\r\nS00600004844521B\r\nS9030000FC\r\n",
         "The firmware image is incomplete: it holds no S1 data records. Nothing was sent to the "
         "switch."},
        // The end record not last (as in an answer cut short after a line).
        {"1.3\nS1030000FC\nS9030000FC\nS1030000FC\nS5030001FB\n",
         "The firmware image is incomplete: its last record is not the S9 end record. Nothing "
         "was sent to the switch."},
        // A whole record of 256 characters: its length does not fit the header.
        {"1.3\nS1030000FC\nS17E0000" + std::string(246, '0') + "81\nS9030000FC\n",
         "The firmware image cannot be sent: line 3 is longer than the switch takes. Nothing "
         "was sent to the switch."},
    };
    for (const auto& [body, text] : kCases) {
        http.body = body;
        CheckAgain();
        EXPECT_EQ(Sent(), kTypeQuery);
        EXPECT_EQ(view.Events(), Refused(text));
    }
}

}  // namespace
