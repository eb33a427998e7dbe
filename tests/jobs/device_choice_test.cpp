// The sound device a play opens: the one chosen while the sound system has it, else the
// default, with one message each time the chosen one goes missing.

#include "jobs/device_choice.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/test_support/recording_observer.h"
#include "tests/test_support/test_audio_out.h"

namespace {

TestAudioDevices DevicesNamed(const std::vector<std::string>& names) {
    TestAudioDevices devices;
    for (std::size_t i = 0; i < names.size(); ++i) {
        devices.devices.push_back({static_cast<int>(i), names[i], "ALSA", i == 0});
    }
    return devices;
}

TEST(DeviceChoice, TheChosenDevicePlaysWhileThereElseTheDefaultAndItsAbsenceIsToldOnce) {
    struct Play {
        std::vector<std::string> present;   // what the sound system has at this play
        std::optional<std::string> choose;  // chosen before it
        std::string opened;                 // what it opens; empty: the default
        bool told;                          // whether the user hears that the choice is gone
    };
    struct Case {
        const char* what;
        std::string kept;  // the choice the window starts with
        std::vector<Play> plays;
    };
    const std::vector<std::string> both = {"default", "usb"};
    const std::vector<std::string> builtIn = {"default"};
    const Case cases[] = {
        {"the default", "", {{both, {}, "", false}, {builtIn, {}, "", false}}},
        {"a device that is there", "usb", {{both, {}, "usb", false}, {both, {}, "usb", false}}},
        {"by its index", "1", {{both, {}, "1", false}}},
        {"gone: told once, the default plays",
         "usb",
         {{builtIn, {}, "", true}, {builtIn, {}, "", false}, {builtIn, {}, "", false}}},
        {"back, then gone again",
         "usb",
         {{builtIn, {}, "", true}, {both, {}, "usb", false}, {builtIn, {}, "", true}}},
        {"chosen anew while gone",
         "usb",
         {{builtIn, {}, "", true}, {builtIn, "usb", "", true}, {builtIn, "", "", false}}},
        {"the default chosen after a device",
         "usb",
         {{both, {}, "usb", false}, {both, "", "", false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeviceChoice choice(c.kept);
        TestAudioOut out;
        for (std::size_t i = 0; i < c.plays.size(); ++i) {
            const Play& play = c.plays[i];
            SCOPED_TRACE("play " + std::to_string(i));
            if (play.choose) {
                choice.Choose(*play.choose);
            }
            RecordingObserver observer;
            const bool chosenPlays = choice.Apply(DevicesNamed(play.present), out, observer);
            ASSERT_TRUE(out.Open(AudioFormat{}));
            out.Close();
            EXPECT_EQ(out.OpenedDevices().back(), play.opened);
            EXPECT_EQ(chosenPlays, choice.Chosen().empty() || !play.opened.empty());
            const std::vector<std::string> messages = observer.Messages();
            if (play.told) {
                ASSERT_EQ(messages.size(), 1u);
                EXPECT_EQ(messages[0], "sound device '" + choice.Chosen() +
                                           "' is not there; playing on the default device");
            } else {
                EXPECT_TRUE(messages.empty()) << messages.front();
            }
        }
    }
}

}  // namespace
