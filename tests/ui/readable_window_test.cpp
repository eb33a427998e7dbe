// The window in the user's language, its trackbars' values, dropped files and typed patterns
// in the file dialogs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTranslator>

#include "file_dialogs.h"
#include "resource_ids.h"
#include "trackbar_tips.h"
#include "ui_language.h"
#include "ui_test_support.h"

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
        {{}, true},
        {{"en-GB", "zh-CN"}, false},
        {{"de-DE"}, false},
        {{"en"}, false},
        {{"fr-FR", "zh"}, false},
        {{"zu-ZA"}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpeaksTemplateLanguage(c.languages), c.templateLanguage)
            << c.languages.join(',').toStdString();
    }
}

TEST(UiLanguage, EnglishDesktopTitlesTheWindowInEnglishAndChineseKeepsTheTemplate) {
    EnsureApplication();
    const QString chinese = DialogFixture().dialog->windowTitle();
    ASSERT_TRUE(InstallUiLanguage(*QCoreApplication::instance(), {"en-GB"}));
    const QString english = DialogFixture().dialog->windowTitle();
    for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    ASSERT_TRUE(InstallUiLanguage(*QCoreApplication::instance(), {"zh-CN"}));
    EXPECT_EQ(english, QStringLiteral("Zerbex 2 Vocal Removal Workstation"));
    EXPECT_EQ(DialogFixture().dialog->windowTitle(), chinese);
    EXPECT_NE(english, chinese);
}

TEST(TrackbarTips, EachKindOfValueInItsUnit) {
    // 110 seconds of data at 32 bytes a second: one trackbar step is one second.
    const WaveLength file{110 * 32, 32};
    const struct {
        int id;
        int pos;
        WaveLength input;
        const char* tip;
    } cases[] = {
        {IDC_LOW_SLIDER, 8, {}, "240 Hz"},
        {IDC_HIGH_SLIDER, 80, {}, "14900 Hz"},
        {IDC_LEFT_SLIDER, 25, {}, "0.0 dB"},
        {IDC_RIGHT_SLIDER, 0, {}, "+10.9 dB"},
        {IDC_OUTPUT_LEVEL, 0, {}, "+13.5 dB"},
        {IDC_PAN, -12, {}, "L 12"},
        {IDC_PAN, 0, {}, "centre"},
        {IDC_PAN, 30, {}, "R 30"},
        {IDC_PLAY_POS, 55, file, "0:55"},
        {IDC_LOOP_END, 100, file, "1:40"},
        {IDC_LOOP_START, 55, {}, "50%"},
        {IDC_WRITE_FILE, 3, file, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TrackbarTipText(c.id, c.pos, c.input), QString::fromUtf8(c.tip))
            << c.id << " at " << c.pos;
    }
}

TEST(DroppedFiles, RefusedWhilePlayingAndTheFirstOfSeveralChosenOtherwise) {
    EnsureApplication();
    DialogFixture f;
    const QString first = QStringLiteral(ZERBEX_TEST_DATA "/fixtures/sox_stereo.wav");
    f.dialog->State().m_bPlayMode2 = 1;
    f.dialog->OnDropFiles({first, QStringLiteral("/nonexistent/second.wav")});
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].text, QStringLiteral("Please stop playing audio first!"));
    EXPECT_TRUE(f.dialog->GetDlgItemText(IDC_INPUT_PATH).isEmpty());

    f.dialog->State().m_bPlayMode2 = 0;
    f.dialog->OnDropFiles({first, QStringLiteral("/nonexistent/second.wav")});
    EXPECT_EQ(f.dialog->GetDlgItemText(IDC_INPUT_PATH), first);
    EXPECT_TRUE(f.dialog->State().m_bInputSelected);
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
