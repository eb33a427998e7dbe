// The presets file: what loads from a damaged one, saving and deleting, the shipped presets.

#include "settings/presets.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "tests/test_support/wav_builder.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void Write(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text;
}

std::string Section(const std::string& name, const std::string& settings) {
    return "[" + name + "]\n" + settings;
}

const std::string kGood =
    "mode = mode1\npan = -4\nlow = 2\nhigh = 60\nleft = 16\nright = 15\noutput-level = 20\n";

std::vector<std::string> UserNames(const PresetList& list) {
    std::vector<std::string> names;
    for (const Preset& preset : list.presets) {
        if (!preset.shipped) {
            names.push_back(preset.name);
        }
    }
    return names;
}

TEST(Presets, ShippedOnesLoadWithoutProblemsAndStartUpIsTheStartPositions) {
    const PresetList shipped = ShippedPresets();
    EXPECT_TRUE(shipped.problems.empty()) << shipped.problems.front();
    ASSERT_GE(shipped.presets.size(), 3u);
    const Preset* startUp = shipped.Find("start-up");
    ASSERT_NE(startUp, nullptr);
    EXPECT_EQ(startUp->positions, Positions{});
    EXPECT_EQ(startUp->mode, PlayMode::Mode2);
    for (const Preset& preset : shipped.presets) {
        EXPECT_TRUE(preset.shipped) << preset.name;
    }
}

// Each damaged entry is skipped with a message naming the file, the line and the fault; the
// good entry after it still loads.
TEST(Presets, DamagedEntriesAreToldAndTheRestLoads) {
    const struct {
        std::string text;  // before the good entry
        std::string problem;
    } cases[] = {
        {Section("A", "mode = mode2\nlow = 41\n"),
         "line 3: low must be a whole number from 0 to 40 (got '41'); the preset 'A' is not "
         "loaded"},
        {Section("A", "pan = 1.5\n"), "line 2: pan must be a whole number from -30 to 30"},
        {Section("A", "key = 0.25\n"),
         "line 2: key must be a number from -12 to 12 in steps of 0.1 (got '0.25')"},
        {Section("A", "key = -12.1\n"), "line 2: key must be a number from -12 to 12"},
        {Section("A", "tempo = 49\n"), "line 2: tempo must be a whole number from 50 to 150"},
        {Section("A", "mode = karaoke\n"), "line 2: mode must be one of mode2, mode1"},
        {Section("A", "volume = 3\n"), "line 2: unknown setting 'volume'"},
        {Section("A", "loudness = -3\n"), "line 2: loudness must be match, off or a loudness"},
        {Section("A", "low = 3\nlow = 4\n"), "line 3: low is given twice"},
        {Section("A", "just words\n"), "line 2: 'just words' is no 'setting = value' line"},
        {Section("A", "mode = mode2\npan = 0\n"),
         "line 1: it does not give low, high, left, right, output-level; the preset 'A'"},
        {"[A\n" + kGood, "line 1: a preset's name must end with ']'"},
        {Section("", kGood), "line 1: a preset needs a name"},
        {Section(std::string(65, 'x'), kGood), "line 1: a preset's name may have at most 64"},
        {"stray\n", "line 1: 'stray' is outside any preset"},
        {Section("Good", kGood), "line 10: a second preset named 'Good'; this one is not loaded"},
        {Section("START-UP", kGood), "line 1: 'START-UP' is the name of a shipped preset"},
    };
    TempDir dir;
    const fs::path file = dir / kPresetsFileName;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        Write(file, c.text + "\n" + Section("Good", kGood));
        const PresetList list = LoadPresets(file);
        ASSERT_EQ(list.problems.size(), 1u);
        EXPECT_EQ(list.problems[0].rfind(file.string() + ", ", 0), 0u) << list.problems[0];
        EXPECT_NE(list.problems[0].find(c.problem), std::string::npos) << list.problems[0];
        const Preset* good = list.Find("good");
        ASSERT_NE(good, nullptr);
        EXPECT_EQ(good->mode, PlayMode::Mode1);
        EXPECT_EQ(good->positions, (Positions{-4, 2, 60, 16, 15, 20}));
        EXPECT_EQ(list.Find("A"), nullptr);
    }
}

TEST(Presets, AFileThatCannotBeReadIsToldAndTheShippedOnesStillLoad) {
    TempDir dir;
    EXPECT_TRUE(LoadPresets(dir / "missing.ini").problems.empty()) << "no file holds none";
    fs::create_directory(dir / "folder.ini");
    Write(dir / "huge.ini", std::string((1u << 20) + 1, '#'));
    for (const auto& [name, problem] :
         {std::pair{"folder.ini", " cannot be read: Is a directory"},
          std::pair{"huge.ini", " is larger than 1 MB: no preset of it is loaded"}}) {
        const PresetList list = LoadPresets(dir / name);
        EXPECT_EQ(list.problems, std::vector<std::string>{(dir / name).string() + problem});
        EXPECT_EQ(list.presets.size(), ShippedPresets().presets.size());
    }
}

// Saving adds or replaces in place, under any case of the name; the other entries, damaged
// ones and comments included, keep their text; deleting removes one.
TEST(Presets, SaveAndDeleteKeepTheOtherEntriesAsTheyWere) {
    TempDir dir;
    const fs::path file = dir / "config" / kPresetsFileName;  // the folder is made
    Preset soft{"Soft voice", PlayMode::Mode2, {3, 2, 70, 17, 17, 25, -25, 90}};
    const Preset loud{"Loud", PlayMode::Mode1, {0, 0, 80, 0, 0, 0}};
    ASSERT_EQ(SavePreset(file, soft), std::nullopt);
    ASSERT_EQ(SavePreset(file, loud), std::nullopt);
    const std::string damaged = "# hand-made\n[Broken]\nlow = 99\n";
    Write(file, Text(file) + "\n" + damaged);

    soft.name = "SOFT VOICE";
    soft.positions.pan = -9;
    soft.loudness = {Loudness::Kind::Target, -14};
    ASSERT_EQ(SavePreset(file, soft), std::nullopt);
    PresetList list = LoadPresets(file);
    EXPECT_TRUE(list.Find("soft voice")->SameSettings(soft)) << "the loudness too";
    EXPECT_NE(Text(file).find("tempo = 90\nloudness = -14\n"), std::string::npos) << Text(file);
    EXPECT_EQ(UserNames(list), (std::vector<std::string>{"SOFT VOICE", "Loud"}));
    EXPECT_EQ(list.Find("soft voice")->positions, soft.positions) << "key and tempo too";
    EXPECT_NE(Text(file).find("key = -2.5\ntempo = 90\n"), std::string::npos) << Text(file);
    EXPECT_EQ(list.Find("loud")->mode, PlayMode::Mode1);
    EXPECT_TRUE(list.Find("loud")->SameSettings(loud));
    EXPECT_EQ(list.problems.size(), 1u);
    EXPECT_NE(Text(file).find(damaged), std::string::npos) << Text(file);

    ASSERT_EQ(DeletePreset(file, "loud"), std::nullopt);
    EXPECT_EQ(UserNames(LoadPresets(file)), std::vector<std::string>{"SOFT VOICE"});
    EXPECT_NE(Text(file).find(damaged), std::string::npos);
    ASSERT_EQ(DeletePreset(file, "Broken"), std::nullopt) << "a damaged entry can go too";
    EXPECT_TRUE(LoadPresets(file).problems.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()),
              1)
        << "no temporary file is left";
}

// The focus is kept where it is not the start-up one, and read back with the mode; a file
// without it reads at the start-up focus.
TEST(Presets, StereoPresetsKeepTheirFocus) {
    TempDir dir;
    const fs::path file = dir / kPresetsFileName;
    Preset wide{"Wide", PlayMode::Stereo, {}};
    wide.positions.focus = 70;
    ASSERT_EQ(SavePreset(file, wide), std::nullopt);
    EXPECT_NE(Text(file).find("mode = stereo\n"), std::string::npos) << Text(file);
    EXPECT_NE(Text(file).find("focus = 70\n"), std::string::npos) << Text(file);
    Write(file, Text(file) + Section("Old", kGood) + Section("Bad", kGood + "focus = 101\n"));
    const PresetList list = LoadPresets(file);
    ASSERT_NE(list.Find("wide"), nullptr);
    EXPECT_TRUE(list.Find("wide")->SameSettings(wide));
    ASSERT_NE(list.Find("old"), nullptr);
    EXPECT_EQ(list.Find("old")->positions.focus, RowOf(Knob::Focus).start);
    EXPECT_EQ(list.Find("bad"), nullptr);
    ASSERT_EQ(list.problems.size(), 1u);
    EXPECT_NE(list.problems[0].find("focus must be a whole number from 0 to 100"),
              std::string::npos)
        << list.problems[0];
}

TEST(Presets, RefusedChangesSayWhyAndLeaveTheFileAlone) {
    TempDir dir;
    const fs::path file = dir / kPresetsFileName;
    ASSERT_EQ(SavePreset(file, {"Mine", PlayMode::Mode2, {}}), std::nullopt);
    const std::string before = Text(file);
    Write(dir / "blocker", "");  // a file where a folder should be
    const struct {
        std::optional<std::string> error;
        std::string expected;
    } cases[] = {
        {SavePreset(file, {"start-up", PlayMode::Mode2, {}}),
         "'start-up' is the name of a shipped preset"},
        {SavePreset(file, {" Mine", PlayMode::Mode2, {}}),
         "a preset's name may not begin or end with a blank"},
        {SavePreset(file, {"tab\there", PlayMode::Mode2, {}}),
         "a preset's name may not hold control characters"},
        {DeletePreset(file, "Start-up"), "'Start-up' is a shipped preset and cannot be deleted"},
        {DeletePreset(file, "Other"), "there is no preset 'Other' in " + file.string()},
        {SavePreset(dir / "blocker" / "presets.ini", {"Mine", PlayMode::Mode2, {}}),
         (dir / "blocker" / "presets.ini").string() + " cannot be read: Not a directory"},
        // Not even root may make a folder there.
        {SavePreset("/proc/zerbex2/presets.ini", {"Mine", PlayMode::Mode2, {}}),
         "/proc/zerbex2/presets.ini cannot be written: "},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.error.has_value()) << c.expected;
        EXPECT_EQ(c.error->rfind(c.expected, 0), 0u) << *c.error;
    }
    EXPECT_EQ(Text(file), before);
}

TEST(Presets, TheFileLivesInTheUsersConfigurationFolder) {
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = savedXdg != nullptr ? savedXdg : "";
    ::setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ(DefaultPresetsPath(), fs::path("/somewhere/config/zerbex2-presets.ini"));
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored, as the XDG rules say
    const fs::path home = std::getenv("HOME");
    EXPECT_EQ(DefaultPresetsPath(), home / ".config" / "zerbex2-presets.ini");
    if (savedXdg != nullptr) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

// --- The presets file attacked ----------------------------------------------------------------

// A save's whole story for one case: what the file holds before, what is done, what must
// hold after.
struct PresetCase {
    const char* name;
    std::function<void(const fs::path& file)> prepare;
    std::function<void(const fs::path& file)> check;
};

std::string Entries(int count, const std::string& prefix = "p") {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += Section(prefix + std::to_string(i), kGood) + "\n";
    }
    return text;
}

const PresetCase kPresetCases[] = {
    // 3: two programs saving at once each keep the other's preset: the change is locked from
    // the reading to the rename. Two processes, forty saves each.
    {"P3_TwoProcessesSavingAtOnceKeepEachOthersPresets", [](const fs::path&) {},
     [](const fs::path& file) {
         pid_t children[2] = {};
         for (int who = 0; who < 2; ++who) {
             children[who] = ::fork();
             if (children[who] == 0) {
                 int failed = 0;
                 for (int i = 0; i < 40; ++i) {
                     Preset preset{
                         "w" + std::to_string(who) + "-" + std::to_string(i), PlayMode::Mode2, {}};
                     failed += SavePreset(file, preset).has_value() ? 1 : 0;
                 }
                 std::_Exit(failed);
             }
         }
         for (const pid_t child : children) {
             int status = 0;
             ASSERT_EQ(::waitpid(child, &status, 0), child);
             EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
         }
         const PresetList list = LoadPresets(file);
         EXPECT_EQ(UserNames(list).size(), 80u);
         EXPECT_TRUE(list.problems.empty()) << list.problems.front();
     }},
    // 8: numbers as a person writes them, no others.
    {"P8_KeyWithTwoSignsIsDamaged",
     [](const fs::path& file) {
         Write(file, Section("a", kGood + "key = --3\n") + Section("b", kGood + "key = +-1.5\n") +
                         Section("c", kGood + "key = --1.5\n") +
                         Section("d", kGood + "key = +-429496730\n") +
                         Section("e", kGood + "pan = --3\n") + Section("ok", kGood + "key = -3\n"));
     },
     [](const fs::path& file) {
         const PresetList list = LoadPresets(file);
         EXPECT_EQ(UserNames(list), std::vector<std::string>{"ok"});
         EXPECT_EQ(list.problems.size(), 5u);
         ASSERT_NE(list.Find("ok"), nullptr);
         EXPECT_EQ(list.Find("ok")->positions.key, -30);
     }},
    // 15: a megabyte of entries loads, at most kMaxPresets of them, with one word for the
    // rest; a save into a full file says so.
    {"P15_ThousandsOfEntriesLoadAtOnceAndAreCapped",
     [](const fs::path& file) { Write(file, Entries(7692)); },
     [](const fs::path& file) {
         const PresetList list = LoadPresets(file);
         EXPECT_EQ(UserNames(list).size(), kMaxPresets);
         ASSERT_EQ(list.problems.size(), 1u);
         EXPECT_NE(list.problems[0].find("more than 500 presets"), std::string::npos)
             << list.problems[0];
         const std::optional<std::string> refused =
             SavePreset(file, {"one more", PlayMode::Mode2, {}});
         ASSERT_TRUE(refused.has_value());
         EXPECT_NE(refused->find("delete one first"), std::string::npos) << *refused;
         EXPECT_EQ(SavePreset(file, {"p3", PlayMode::Mode2, {}}), std::nullopt)
             << "replacing one is still possible";
     }},
    // 19: a presets file that is a link is written through: the link stays, its file changes.
    {"P19_ALinkIsWrittenThrough",
     [](const fs::path& file) {
         fs::create_directory(file.parent_path() / "real");
         Write(file.parent_path() / "real" / "presets.ini", Section("kept", kGood));
         fs::create_symlink("real/presets.ini", file);
     },
     [](const fs::path& file) {
         ASSERT_EQ(SavePreset(file, {"new", PlayMode::Mode2, {}}), std::nullopt);
         EXPECT_TRUE(fs::is_symlink(file));
         EXPECT_EQ(UserNames(LoadPresets(file.parent_path() / "real" / "presets.ini")),
                   (std::vector<std::string>{"kept", "new"}));
         ASSERT_EQ(DeletePreset(file, "kept"), std::nullopt);
         EXPECT_TRUE(fs::is_symlink(file));
         EXPECT_EQ(UserNames(LoadPresets(file)), std::vector<std::string>{"new"});
     }},
    // 19: a byte-order mark before the first preset is no line of it; a save keeps the
    // entries.
    {"P19_AByteOrderMarkIsAccepted",
     [](const fs::path& file) { Write(file, "\xEF\xBB\xBF" + Section("Mine", kGood)); },
     [](const fs::path& file) {
         const PresetList list = LoadPresets(file);
         EXPECT_TRUE(list.problems.empty()) << list.problems.front();
         EXPECT_EQ(UserNames(list), std::vector<std::string>{"Mine"});
         ASSERT_EQ(SavePreset(file, {"Two", PlayMode::Mode2, {}}), std::nullopt);
         EXPECT_EQ(UserNames(LoadPresets(file)), (std::vector<std::string>{"Mine", "Two"}));
     }},
};

class PresetFileCases : public ::testing::TestWithParam<PresetCase> {};

TEST_P(PresetFileCases, HoldWhatTheyShould) {
    TempDir dir;
    const fs::path file = dir / kPresetsFileName;
    GetParam().prepare(file);
    GetParam().check(file);
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
        EXPECT_NE(entry.path().filename().string().rfind("." + std::string(kPresetsFileName), 0),
                  0u)
            << "a temporary is left: " << entry.path();
    }
}

void PrintTo(const PresetCase& c, std::ostream* out) {
    *out << c.name;
}

INSTANTIATE_TEST_SUITE_P(Attacked, PresetFileCases, ::testing::ValuesIn(kPresetCases),
                         [](const ::testing::TestParamInfo<PresetCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
