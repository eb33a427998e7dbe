// The window in the user's language, its trackbars' values, dropped files and typed patterns
// in the file dialogs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTranslator>

#include "tests/ui/ui_test_support.h"
#include "ui/bitmap_button.h"
#include "ui/file_dialogs.h"
#include "ui/trackbar_slider.h"
#include "ui/trackbar_tips.h"
#include "ui/ui_language.h"

TEST(UiLanguage, ChineseFirstOrTheCLocaleKeepsTheTemplateAnyOtherGetsEnglish) {
    const struct {
        QStringList languages;
        bool templateLanguage;
    } cases[] = {
        {{"zh-CN", "en-US"}, true},
        {{"zh_TW"}, true},
        {{"zh"}, true},
        {{"C"}, true},
        {{"POSIX"}, true},
        {{"C.UTF-8"}, true},
        {{}, true},
        {{"en-GB", "zh-CN"}, false},
        {{"de-DE"}, false},
        {{"en"}, false},
        {{"fr-FR", "zh"}, false},
        {{"zu-ZA"}, false},
        {{"cs-CZ"}, false},
        {{"zha"}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpeaksTemplateLanguage(c.languages), c.templateLanguage)
            << c.languages.join(',').toStdString();
    }
}

TEST(UiLanguage, EnglishDesktopTitlesTheWindowInEnglishAndChineseKeepsTheTemplate) {
    EnsureApplication();
    const QString chinese = WindowFixture().window->windowTitle();
    ASSERT_TRUE(InstallUiLanguage(*QCoreApplication::instance(), {"en-GB"}));
    const QString english = WindowFixture().window->windowTitle();
    {
        // Without a PDF viewer the English message names one and sends nobody to a page
        // for another platform.
        WindowFixture f;
        f.urls.manualOpens = false;
        f.Ui().manualButton->click();
        ASSERT_EQ(f.boxes.shown.size(), 1u);
        EXPECT_TRUE(f.boxes.shown[0].text.contains(QStringLiteral("PDF viewer")))
            << f.boxes.shown[0].text.toStdString();
        EXPECT_TRUE(f.urls.opened.empty() || f.urls.opened.back().host() != "get.adobe.com");
        // Screen readers name each trackbar by its caption, and the path boxes.
        const std::pair<Knob, const char*> names[] = {{Knob::LoopStart, "Loop start"},
                                                      {Knob::LoopEnd, "Loop end"},
                                                      {Knob::Low, "Low"},
                                                      {Knob::High, "High"},
                                                      {Knob::Left, "Left"},
                                                      {Knob::Right, "Right"},
                                                      {Knob::Pan, "Pan"},
                                                      {Knob::OutputLevel, "Output level"}};
        for (const auto& [knob, name] : names) {
            EXPECT_EQ(f.Ui().Slider(knob)->accessibleName(), QString::fromUtf8(name));
        }
        EXPECT_EQ(f.Ui().inputPathEdit->accessibleName(), "Input file");
        EXPECT_EQ(f.Ui().outputPathEdit->accessibleName(), "Output file");
    }
    for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    ASSERT_TRUE(InstallUiLanguage(*QCoreApplication::instance(), {"zh-CN"}));
    EXPECT_EQ(english, QStringLiteral("Zerbex 2 Vocal Removal Workstation"));
    const WindowFixture zh;
    EXPECT_EQ(zh.window->windowTitle(), chinese);
    EXPECT_EQ(zh.Ui().Slider(Knob::LoopEnd)->accessibleName(), QStringLiteral("循环结束"));
    EXPECT_EQ(zh.Ui().inputPathEdit->accessibleName(), QStringLiteral("输入文件"));
    EXPECT_NE(english, chinese);
}

TEST(TrackbarTips, EachKindOfValueInItsUnit) {
    // 110 seconds of data at 32 bytes a second: one trackbar step is one second.
    const WaveLength file{110 * 32, 32};
    const struct {
        Knob knob;
        int pos;
        WaveLength input;
        const char* tip;
    } cases[] = {
        {Knob::Low, 8, {}, "240 Hz"},           {Knob::High, 80, {}, "14900 Hz"},
        {Knob::Left, 25, {}, "0.0 dB"},         {Knob::Right, 0, {}, "+10.9 dB"},
        {Knob::OutputLevel, 0, {}, "+13.5 dB"}, {Knob::Pan, -12, {}, "L 12"},
        {Knob::Pan, 0, {}, "centre"},           {Knob::Pan, 30, {}, "R 30"},
        {Knob::PlayPos, 55, file, "0:55.0"},    {Knob::LoopEnd, 100, file, "1:40.0"},
        {Knob::LoopStart, 55, {}, "50%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TrackbarTip(c.knob, c.pos, c.input), QString::fromUtf8(c.tip))
            << RowOf(c.knob).label << " at " << c.pos;
    }
}

TEST(DroppedFiles, RefusedWhilePlayingAndTheFirstOfSeveralChosenOtherwise) {
    WindowFixture f;
    const QString first = QStringLiteral(ZERBEX_TEST_DATA "/fixtures/sox_stereo.wav");
    f.ChooseInput(f.Make("long.wav", SimpleWav(TestSignal(44100 * 30))));
    f.audio.holdCompletions = true;
    f.Ui().playMode2Button->click();
    f.window->DropFiles({first, QStringLiteral("/nonexistent/second.wav")});
    ASSERT_EQ(f.boxes.Texts(), std::vector<QString>{"Please stop playing audio first!"});
    EXPECT_EQ(f.Ui().inputPathEdit->text(), Q(f.dir / "long.wav"));

    f.Ui().playMode2Button->click();
    f.audio.ReleaseHeld();
    ASSERT_TRUE(PumpUntil([&] { return f.window->Idle(); }));
    f.window->DropFiles({first, QStringLiteral("/nonexistent/second.wav")});
    EXPECT_EQ(f.Ui().inputPathEdit->text(), first);
    EXPECT_EQ(f.boxes.shown.size(), 1u);
}

TEST(FileDialogs, TypedPatternFiltersTheListingInsteadOfChoosingAFile) {
    EnsureApplication();
    for (const auto kind : {FileDialogRequest::Kind::Open, FileDialogRequest::Kind::Save}) {
        FileDialogRequest request;
        request.kind = kind;
        request.directory = QStringLiteral(ZERBEX_TEST_DATA "/fixtures");
        const std::unique_ptr<QFileDialog> dialog = BuildFileDialog(request);
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        bool chosen = false;
        QObject::connect(dialog.get(), &QFileDialog::fileSelected, [&] { chosen = true; });
        dialog->open();
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QStringLiteral("*.mp3"));
        QTest::keyClick(name, Qt::Key_Return);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_FALSE(chosen);
        EXPECT_EQ(dialog->selectedNameFilter(), QStringLiteral("*.mp3"));

        name->setText(QStringLiteral("song.wav"));  // a plain name still chooses
        QTest::keyClick(name, Qt::Key_Return);
        EXPECT_TRUE(chosen);
    }
}
