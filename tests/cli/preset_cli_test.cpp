// zerbex2-cli --preset: the same bytes as the equal options, in the options' order; unknown
// names and damaged entries.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "settings/presets.h"
#include "tests/test_support/command.h"
#include "tests/test_support/write_helpers.h"

namespace fs = std::filesystem;

namespace {

const std::string kCli = ZERBEX_CLI;

class PresetCli : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(input, SimpleWav(TestSignal(30000)));
        ASSERT_EQ(SavePreset(config / kPresetsFileName, kMine), std::nullopt);
    }
    CommandResult Render(std::vector<std::string> args) {
        args.insert(args.begin(), {kCli, "render"});
        return RunCommand(args, {"XDG_CONFIG_HOME=" + config.string()});
    }
    // What render writes with args before INPUT OUTPUT; empty when it failed.
    Bytes Rendered(const std::vector<std::string>& args, const std::string& name) {
        std::vector<std::string> all = args;
        all.push_back(input.string());
        all.push_back((dir / name).string());
        const CommandResult r = Render(all);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return fs::exists(dir / name) ? ReadFile(dir / name) : Bytes();
    }

    const Preset kMine{"Mine", PlayMode::Mode1, {-4, 2, 60, 16, 15, 20}};
    const std::vector<std::string> kMineOptions = {
        "--mode", "mode1", "--pan",   "-4", "--low",          "2", "--high", "60",
        "--left", "16",    "--right", "15", "--output-level", "20"};
    TempDir dir;
    fs::path config = dir / "config";
    fs::path input = dir / "in.wav";
};

TEST_F(PresetCli, WritesWhatTheEqualOptionsWriteAndOptionsAfterItChangeIt) {
    const auto with = [&](std::vector<std::string> options, std::vector<std::string> more) {
        options.insert(options.end(), more.begin(), more.end());
        return options;
    };
    const struct {
        std::vector<std::string> preset;
        std::vector<std::string> equal;
    } cases[] = {
        {{"--preset", "Mine"}, kMineOptions},
        {{"--preset=mINE", "--low", "3"}, with(kMineOptions, {"--low", "3"})},
        {{"--low", "3", "--mode", "left", "--preset", "Mine"}, kMineOptions},
        {{"--preset", "Mine", "--preset", "Start-up"}, {}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n);
        const Bytes byPreset = Rendered(c.preset, "preset" + std::to_string(n) + ".wav");
        const Bytes byOptions = Rendered(c.equal, "options" + std::to_string(n) + ".wav");
        ASSERT_FALSE(byPreset.empty());
        EXPECT_TRUE(byPreset == byOptions);
        ++n;
    }
    EXPECT_FALSE(Rendered({"--preset", "Mine"}, "a.wav") == Rendered({}, "b.wav"))
        << "the preset changes the output";

    // A batch takes it for every file.
    fs::create_directory(dir / "out");
    const CommandResult batch =
        Render({"--preset", "Mine", "--output-dir", (dir / "out").string(), input.string()});
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_TRUE(ReadFile(dir / "out" / "in.wav") == ReadFile(dir / "options0.wav"));
}

TEST_F(PresetCli, UnknownNamesListThePresetsAndDamagedEntriesAreTold) {
    const CommandResult unknown = Render({"--preset", "Nope", input.string(), "x.wav"});
    EXPECT_EQ(unknown.exitCode, 2);
    std::string names;
    for (const Preset& preset : ShippedPresets().presets) {
        names += "'" + preset.name + "', ";
    }
    EXPECT_NE(unknown.err.find("zerbex2-cli: unknown preset 'Nope'; the presets are " + names +
                               "'Mine'\n"),
              std::string::npos)
        << unknown.err;
    EXPECT_FALSE(fs::exists("x.wav"));

    std::ofstream(config / kPresetsFileName, std::ios::app) << "\n[Broken]\npan = 31\n";
    const CommandResult r =
        Render({"--preset", "Mine", input.string(), (dir / "out.wav").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "zerbex2-cli: " + (config / kPresetsFileName).string() +
                         ", line 14: pan must be a whole number from -30 to 30 (got '31'); the "
                         "preset 'Broken' is not loaded\n");
    EXPECT_TRUE(fs::exists(dir / "out.wav"));
}

// The manual page lists the shipped presets from the tool's help.
TEST(PresetCliUsage, HelpAndManualPageNameEveryShippedPreset) {
    const std::string help = RunCommand({kCli, "--help"}).out;
    std::ifstream page(ZERBEX_CLI_MAN_PAGE);
    const std::string man((std::istreambuf_iterator<char>(page)), {});
    EXPECT_NE(man.find(".BI \\-\\-preset \" name\""), std::string::npos);
    for (const Preset& preset : ShippedPresets().presets) {
        EXPECT_NE(help.find("  " + preset.name + " "), std::string::npos) << preset.name;
        std::string roff = preset.name;
        for (std::size_t at = roff.find('-'); at != std::string::npos;
             at = roff.find('-', at + 2)) {
            roff.insert(at, "\\");
        }
        EXPECT_NE(man.find(".B \"" + roff + "\"\npan "), std::string::npos) << roff;
    }
}

}  // namespace
