// The window's presets and its output dialog: saved, applied after a restart and by the
// command-line tool to the same bytes; the formats offered and the name proposed.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTranslator>
#include <fstream>

#include "settings/presets.h"
#include "tests/test_support/command.h"
#include "tests/ui/ui_test_support.h"
#include "ui/trackbar_slider.h"
#include "ui/ui_language.h"

namespace fs = std::filesystem;

namespace {

const QString kSaveEntry = QString::fromUtf8("将设置保存为预设...");
const QString kPresetsEntry = QString::fromUtf8("预设");
const QString kDeleteEntry = QString::fromUtf8("删除预设");

QAction* Entry(const QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

QStringList Texts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts.append(action->isSeparator() ? QStringLiteral("--") : action->text());
    }
    return texts;
}

QMenu* Submenu(const MainWindow& window, const QString& text) {
    QAction* entry = Entry(window.WindowMenu(), text);
    return entry != nullptr ? entry->menu() : nullptr;
}

QStringList ShippedNames() {
    QStringList names;
    for (const Preset& preset : ShippedPresets().presets) {
        names.append(QString::fromStdString(preset.name));
    }
    return names;
}

Positions SliderPositions(const MainWindowUi& ui) {
    Positions positions;
    for (const Knob knob : kProcessingKnobs) {
        PositionOf(positions, knob) = ui.Slider(knob)->value();
    }
    return positions;
}

class PresetsWindow : public ::testing::Test {
  protected:
    void Save(const QString& name) {
        f.boxes.textAnswers.resize(f.boxes.textLabels.size());
        f.boxes.textAnswers.push_back(name);
        Entry(f.window->WindowMenu(), kSaveEntry)->trigger();
    }
    fs::path PresetsFile() const {
        return fs::path(f.profileDir.path().toStdString()) / kPresetsFileName;
    }

    WindowFixture f;
    const MainWindowUi& ui = f.Ui();
};

// Saved in one window, listed and applied in the next; the tool renders it to the bytes of the
// equal options and of the window's own write.
TEST_F(PresetsWindow, SavedPresetSurvivesARestartAndTheToolWritesTheWindowsBytes) {
    const Positions chosen{-7, 3, 66, 18, 16, 22};
    for (const Knob knob : kProcessingKnobs) {
        ui.Slider(knob)->setSliderPosition(PositionOf(chosen, knob));  // as a drag would
    }
    Save(QStringLiteral("  Rock & roll "));
    EXPECT_EQ(f.boxes.textLabels, std::vector<QString>{QString::fromUtf8("预设名称：")});
    EXPECT_TRUE(f.boxes.shown.empty());
    ASSERT_TRUE(fs::exists(PresetsFile()));

    const fs::path input = f.Make("in.wav", SimpleWav(TestSignal(44100)));
    f.ChooseInput(input);
    f.ChooseOutput(f.dir / "window.wav");
    ui.writeFileButton->click();
    ASSERT_TRUE(fs::exists(f.dir / "window.wav"));
    f.window.reset();

    f.window =
        std::make_unique<MainWindow>(UiServices{f.boxes, f.files, f.profile, &f.audio, &f.urls});
    const QMenu* presets = Submenu(*f.window, kPresetsEntry);
    ASSERT_NE(presets, nullptr);
    EXPECT_EQ(Texts(presets), (ShippedNames() + QStringList{"--", "Rock && roll"}));
    EXPECT_EQ(Texts(Submenu(*f.window, kDeleteEntry)), QStringList{"Rock && roll"});
    EXPECT_EQ(SliderPositions(f.Ui()), Positions{});
    Entry(presets, "Rock && roll")->trigger();
    EXPECT_EQ(SliderPositions(f.Ui()), chosen);
    EXPECT_EQ(f.window->Controls().settings.Read().lowCutoff, LowCutoffFor(chosen.low));

    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + f.profileDir.path().toStdString()};
    const auto render = [&](std::vector<std::string> options, const std::string& name) {
        options.insert(options.begin(), {ZERBEX_CLI, "render"});
        options.push_back(input.string());
        options.push_back((f.dir / name).string());
        const CommandResult r = RunCommand(options, env);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return ReadFile(f.dir / name);
    };
    const Bytes byPreset = render({"--preset", "rock & roll"}, "preset.wav");
    EXPECT_TRUE(byPreset == render({"--pan", "-7", "--low", "3", "--high", "66", "--left", "18",
                                    "--right", "16", "--output-level", "22"},
                                   "options.wav"));
    EXPECT_TRUE(byPreset == ReadFile(f.dir / "window.wav"));
}

TEST_F(PresetsWindow, ReplacingAsksShippedNamesAreRefusedAndDeletingAsks) {
    const QString shipped = ShippedNames().front();
    ui.Slider(Knob::Low)->setValue(1);
    Save("Mine");
    ui.Slider(Knob::Low)->setValue(2);
    f.boxes.answers = {false, true, false, true};
    Save("MINE");  // no: kept
    EXPECT_EQ(LoadPresets(PresetsFile()).Find("mine")->positions.low, 1);
    Save("mine");  // yes: replaced
    EXPECT_EQ(LoadPresets(PresetsFile()).Find("mine")->positions.low, 2);
    Save(shipped);
    Save("");  // an empty name is a cancel
    const QMenu* deletes = Submenu(*f.window, kDeleteEntry);
    ASSERT_EQ(Texts(deletes), QStringList{"mine"});
    Entry(deletes, "mine")->trigger();  // no: kept
    Entry(deletes, "mine")->trigger();  // yes: gone
    EXPECT_EQ(f.boxes.Texts(), (std::vector<QString>{
                                   QString::fromUtf8("预设“MINE”已存在。要替换它吗？"),
                                   QString::fromUtf8("预设“mine”已存在。要替换它吗？"),
                                   "'" + shipped + "' is the name of a shipped preset",
                                   QString::fromUtf8("要删除预设“mine”吗？"),
                                   QString::fromUtf8("要删除预设“mine”吗？"),
                               }));
    EXPECT_EQ(f.boxes.shown[2].icon, MessageIcon::Warning);
    EXPECT_EQ(LoadPresets(PresetsFile()).Find("mine"), nullptr);
    EXPECT_TRUE(Texts(deletes).isEmpty());
    EXPECT_FALSE(deletes->isEnabled()) << "shipped presets cannot be deleted";
    EXPECT_EQ(Texts(Submenu(*f.window, kPresetsEntry)), ShippedNames());
}

// What is damaged is told once, before the menu shows, and the rest is offered.
TEST_F(PresetsWindow, DamagedFileIsToldOnceAndTheRestIsOffered) {
    ASSERT_EQ(SavePreset(PresetsFile(), {"Good", PlayMode::Mode2, {}}), std::nullopt);
    {
        std::ofstream out(PresetsFile(), std::ios::app);
        out << "\n[Bad]\nhigh = 81\n";
    }
    f.window->RefreshPresetMenus();
    f.window->RefreshPresetMenus();
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].text,
              QString::fromStdString(PresetsFile().string()) +
                  ", line 14: high must be a whole number from 0 to 80 (got '81'); the preset "
                  "'Bad' is not loaded");
    EXPECT_EQ(f.boxes.shown[0].icon, MessageIcon::Warning);
    EXPECT_EQ(Texts(Submenu(*f.window, kPresetsEntry)),
              (ShippedNames() + QStringList{"--", "Good"}));
}

TEST_F(PresetsWindow, EnglishDesktopGetsEnglishEntries) {
    ASSERT_TRUE(InstallUiLanguage(*QCoreApplication::instance(), {"en-GB"}));
    const QStringList english = Texts(WindowFixture().window->WindowMenu());
    for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    ASSERT_TRUE(InstallUiLanguage(*QCoreApplication::instance(), {"zh-CN"}));
    for (const char* entry : {"Presets", "Save settings as preset...", "Delete preset"}) {
        EXPECT_TRUE(english.contains(entry)) << english.join('|').toStdString();
    }
}

// --- The output dialog -------------------------------------------------------------------

TEST(OutputDialog, ProposesNameKaraokeInTheInputsKindWhenTheProgramWritesIt) {
    EnsureApplication();
    const struct {
        const char* input;
        const char* proposed;
        const char* filter;
    } cases[] = {
        {"/m/song.wav", "song-karaoke.wav", "Wave Files (*.wav)"},
        {"/m/Song.Live.FLAC", "Song.Live-karaoke.flac", "FLAC Files (*.flac)"},
        {"/m/a.mp3", "a-karaoke.mp3", "MP3 Files (*.mp3)"},
        {"/m/a.m4a", "a-karaoke.m4a", "M4A/AAC Files (*.m4a)"},
        {"/m/a.aac", "a-karaoke.m4a", "M4A/AAC Files (*.m4a)"},
        {"/m/a.opus", "a-karaoke.opus", "Opus Files (*.opus)"},
        {"/m/a.oga", "a-karaoke.ogg", "Ogg Vorbis Files (*.ogg)"},
        {"/m/a.aiff", "a-karaoke.wav", "Wave Files (*.wav)"},
        {"/m/noext", "noext-karaoke.wav", "Wave Files (*.wav)"},
    };
    for (const auto& c : cases) {
        const QString proposed = ProposedOutputName(c.input);
        EXPECT_EQ(proposed, c.proposed);
        EXPECT_EQ(OutputFilterFor(QFileInfo(proposed).suffix()), c.filter);
    }
}

// Until an output is chosen the dialog opens beside the input with the proposal; then where
// the dialogs open, with the last choice's folder. Every format is offered.
TEST(OutputDialog, OffersEveryFormatAndProposesUntilAnOutputIsChosen) {
    WindowFixture f;
    const QStringList filters = {"Wave Files (*.wav)",  "FLAC Files (*.flac)",
                                 "MP3 Files (*.mp3)",   "M4A/AAC Files (*.m4a)",
                                 "Opus Files (*.opus)", "Ogg Vorbis Files (*.ogg)",
                                 "All Files (*)"};
    fs::create_directory(f.dir / "music");
    f.ChooseInput(f.Make("music/tune.wav", SimpleWav(TestSignal(100))));
    f.ChooseOutput(f.dir / "first.flac");
    f.ChooseOutput(f.dir / "second.wav");
    ASSERT_EQ(f.files.requests.size(), 3u);
    const FileDialogRequest& proposal = f.files.requests[1];
    EXPECT_EQ(QStringList{proposal.filter} + proposal.otherFilters, filters);
    EXPECT_EQ(proposal.directory, Q(f.dir / "music"));
    EXPECT_EQ(proposal.initialName, "tune-karaoke.wav");
    EXPECT_EQ(proposal.selectedFilter, "Wave Files (*.wav)");
    const FileDialogRequest& later = f.files.requests[2];
    EXPECT_EQ(QStringList{later.filter} + later.otherFilters, filters);
    EXPECT_EQ(later.initialName, "*.wav");
}

// A bare name takes the extension of the filter selected first or chosen later.
TEST(OutputDialog, BareNameTakesTheChosenFiltersExtension) {
    EnsureApplication();
    TempDir dir;
    const QStringList filters = OutputFilters();
    for (const bool chosenLater : {false, true}) {
        for (const QString& filter : filters) {
            SCOPED_TRACE(filter.toStdString() + (chosenLater ? ", chosen later" : ""));
            FileDialogRequest request{.kind = FileDialogRequest::Kind::Save,
                                      .directory = Q(dir.Path()),
                                      .filter = filters.front(),
                                      .selectedFilter = chosenLater ? QString() : filter,
                                      .otherFilters = filters.mid(1)};
            const std::unique_ptr<QFileDialog> dialog = BuildFileDialog(request);
            dialog->setOption(QFileDialog::DontUseNativeDialog);
            if (chosenLater) {
                dialog->selectNameFilter(filter);
                emit dialog->filterSelected(filter);  // as the user's choice in the list
            }
            dialog->open();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QStringLiteral("song"));
            static_cast<QDialog*>(dialog.get())->accept();
            const QString suffix = FilterSuffix(filter);
            EXPECT_EQ(dialog->selectedFiles(),
                      QStringList{Q(dir / "song") + "." + (suffix.isEmpty() ? "wav" : suffix)});
        }
    }
}

}  // namespace
