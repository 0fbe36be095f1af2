#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <map>
#include <set>

#include "tdmend/guideaction.h"
#include "tdmend/guidecheck.h"
#include "tdmend/guidesource.h"

namespace {

const QString kShipped = QStringLiteral(TDMEND_GUIDE_SOURCES);

TEST(GuideSource, CaptionCodesAreTestedInOrder) {
    EXPECT_EQ(CaptionFromCode("1."), "Next ->");
    EXPECT_EQ(CaptionFromCode("2."), "Skip ->>");
    EXPECT_EQ(CaptionFromCode("6."), "Solutions");
    EXPECT_EQ(CaptionFromCode("10."), "Wave Volume");
    EXPECT_EQ(CaptionFromCode("a."), "MIDI Volume");
    EXPECT_EQ(CaptionFromCode("c."), "Mic Sensitivity");
    EXPECT_EQ(CaptionFromCode(" 8.\t"), "Hiss");
    // "3." is tested before "a.", so it wins wherever both appear.
    EXPECT_EQ(CaptionFromCode("a. 3."), "Yes");
    EXPECT_EQ(CaptionFromCode("Yes"), "");
    EXPECT_EQ(CaptionFromCode(""), "");
}

TEST(GuideSource, LinesOfEachSourceAreReadField_by_field) {
    CFixitGuideDatabase db;
    EXPECT_TRUE(
        ParseGuideSource(QStringLiteral("DWControl"), "44 103 110 3\t%play mem\t%rec\tc.\n", db)
            .isEmpty());
    EXPECT_TRUE(ParseGuideSource(QStringLiteral("DWFrames"),
                                 "500 44 500 0 7 255\tres 11\t%frame 540\t7.\t%frame 510\t8.\t"
                                 "%frame 105\t2.\n",
                                 db)
                    .isEmpty());
    EXPECT_TRUE(ParseGuideSource(QStringLiteral("DWPrompts"),
                                 "7 Line one\\nLine\\ttwo \\q\\\tAsk me?\n", db)
                    .isEmpty());
    ASSERT_EQ(db.controls.size(), 1u);
    const CControlConfig& c = db.controls[0];
    EXPECT_EQ(c.identifier, 44);
    EXPECT_EQ(c.showFlags, 103u);
    EXPECT_EQ(c.enableFlags, 110u);
    EXPECT_EQ(c.device, 3);
    EXPECT_EQ(c.playAction, "%play mem");
    EXPECT_EQ(c.recordAction, "%rec");
    EXPECT_EQ(c.label, "Mic Sensitivity");
    ASSERT_EQ(db.frames.size(), 1u);
    const CFrame& f = db.frames[0];
    EXPECT_EQ(f.identifier, 500);
    EXPECT_EQ(f.controlConfig, 44);
    EXPECT_EQ(f.prompt, 500);
    EXPECT_EQ(f.titleIndex, 7);
    EXPECT_EQ(f.buttonFlags, 255);
    EXPECT_EQ(f.picture, "res 11");
    EXPECT_EQ(f.yesAction, "%frame 540");
    EXPECT_EQ(f.yesText, "Words");
    EXPECT_EQ(f.noAction, "%frame 510");
    EXPECT_EQ(f.noText, "Hiss");
    EXPECT_EQ(f.nextAction, "%frame 105");
    EXPECT_EQ(f.nextText, "Skip ->>");
    ASSERT_EQ(db.prompts.size(), 1u);
    EXPECT_EQ(db.prompts[0].identifier, 7);
    EXPECT_EQ(db.prompts[0].text, "Line one\nLine\ttwo \\q\\");
    EXPECT_EQ(db.prompts[0].question, "Ask me?\n");
}

TEST(GuideSource, CrlfSourcesReadAsLfSources) {
    const QByteArray frames =
        "# a comment\n1 1 1 0 1 48\tres 1\tnnnn\t\tnnnn\t\t%frame 17\t1.\n\n"
        "17 1 -5 0 5 0\tres 1\t%frame 1000\t\t%frame 105\t1.\tnnnn\t\n";
    const QByteArray prompts = "1\tHello\\n\tWhat now?\n";
    CFixitGuideDatabase lf, crlf;
    ParseGuideSource(QStringLiteral("DWFrames"), frames, lf);
    ParseGuideSource(QStringLiteral("DWPrompts"), prompts, lf);
    QByteArray framesCrlf = frames, promptsCrlf = prompts;
    framesCrlf.replace("\n", "\r\n");
    promptsCrlf.replace("\n", "\r\n");
    EXPECT_TRUE(ParseGuideSource(QStringLiteral("DWFrames"), framesCrlf, crlf).isEmpty());
    EXPECT_TRUE(ParseGuideSource(QStringLiteral("DWPrompts"), promptsCrlf, crlf).isEmpty());
    EXPECT_EQ(crlf, lf);
    ASSERT_EQ(crlf.frames.size(), 2u);
    EXPECT_EQ(crlf.frames[0].nextText, "Next ->");
    EXPECT_EQ(crlf.frames[1].noText, "Next ->");
    EXPECT_EQ(crlf.prompts[0].question, "What now?\n");
}

TEST(GuideSource, BadLinesAreReportedWithTheirPlaceAndAddNothing) {
    CFixitGuideDatabase db;
    const QStringList problems =
        ParseGuideSource(QStringLiteral("DWFrames"),
                         "1 1 1 0 1 48\tres 1\tnnnn\t\tnnnn\t\t%frame 17\t1.\n"
                         "2 1 x 0 1 48\tres 1\tnnnn\t\tnnnn\t\t%frame 17\t1.\n"
                         "3 1 1 0 1 48\tres 1\tnnnn\t\tnnnn\n"
                         "4 1 1 0 1 99999999999\tres 1\tnnnn\t\tnnnn\t\t%frame 17\t1.\n",
                         db);
    ASSERT_EQ(problems.size(), 3);
    EXPECT_TRUE(problems[0].startsWith(QStringLiteral("DWFrames:2:")));
    EXPECT_TRUE(problems[1].startsWith(QStringLiteral("DWFrames:3:")));
    EXPECT_TRUE(problems[2].startsWith(QStringLiteral("DWFrames:4:")));
    ASSERT_EQ(db.frames.size(), 1u);

    // Texts are refused past 1024 characters, never cut.
    CFixitGuideDatabase texts;
    const QByteArray fits = "5\t" + QByteArray(1024, 'a') + "\tq\n";
    const QByteArray over = "6\t" + QByteArray(1025, 'a') + "\tq\n";
    EXPECT_TRUE(ParseGuideSource(QStringLiteral("DWPrompts"), fits, texts).isEmpty());
    EXPECT_EQ(ParseGuideSource(QStringLiteral("DWPrompts"), over, texts).size(), 1);
    ASSERT_EQ(texts.prompts.size(), 1u);
    EXPECT_EQ(texts.prompts[0].text.size(), 1024);
    EXPECT_EQ(ParseGuideSource(QStringLiteral("DWPrompts"), "7 no tab here\n", texts).size(), 1);
    EXPECT_EQ(ParseGuideSource(QStringLiteral("DWControl"), "1 0 0 0\tnone\n", texts).size(), 1);
    EXPECT_EQ(ParseGuideSource(QStringLiteral("Other"), "", texts).size(), 1);
}

TEST(GuideSource, AMissingSourceAddsNothingAndIsReported) {
    QTemporaryDir dir;
    QFile f(QDir(dir.path()).filePath(QStringLiteral("DWControl")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("1 0 0 0\tnone\tnone\t9.\n");
    f.close();
    CFixitGuideDatabase db;
    const QStringList problems = LoadGuideSources(dir.path(), db);
    EXPECT_EQ(problems.size(), 2);  // no DWFrames, no DWPrompts
    EXPECT_EQ(db.controls.size(), 1u);
    EXPECT_TRUE(db.frames.empty());
}

// The guide as shipped: every frame, title and configuration the guide's design names.
class ShippedGuide : public ::testing::Test {
protected:
    void SetUp() override { problems = LoadGuideSources(kShipped, db); }
    CFixitGuideDatabase db;
    QStringList problems;
};

TEST_F(ShippedGuide, ReadsWithoutProblemsAndChecksClean) {
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
    const QStringList faults = CheckGuide(db);
    EXPECT_TRUE(faults.isEmpty()) << faults.join(u'\n').toStdString();
    EXPECT_EQ(GuideReachableFrames(db).size(), db.frames.size());
}

TEST_F(ShippedGuide, HasEveryFrameUnderItsTitle) {
    const std::map<int, std::vector<int>> titles = {
        {1, {1, 2110}},
        {2, {10, 14, 15, 16}},
        {3, {65, 105, 115, 125, 135, 145, 155, 4150}},
        {4, {40, 70}},
        {5, {17, 50, 250, 350, 455, 460}},
        {6, {60, 270, 280, 285, 290, 295}},
        {7, {500, 540}},
        {8, {140}},
        {9, {150}},
        {10, {160}},
        {11, {510}},
        {12, {240}},
        {13, {450}},
        {14, {260}},
        {15, {520}},
        {16, {1000, 1010, 1015, 1020, 1030, 1040, 1045, 1050, 1060, 1070, 1090, 1100, 1110, 1120}},
        {17, {2000, 2010, 2020, 2030, 2040, 2050, 2065, 2070, 2080, 2090, 2100, 2200, 2210,
              2220, 2230, 2240, 2250, 2260, 3200, 3210, 3220, 3230, 3240, 3250, 3260}},
        {18, {3000, 3010, 3020, 3030, 3035, 3040, 3050, 3060, 3070, 3080,
              3090, 3100, 3105, 3110, 3125, 3130, 3140, 3150, 3160, 3170}},
        {19,
         {5000, 5010, 5020, 5030, 5040, 5050, 5060, 5070, 5080, 5090, 5100, 5110, 5140, 5150, 5160,
          5170, 5185}},
        {20, {4000, 4010, 4015, 4020, 4030, 4040, 4050, 4060, 4070, 4075, 4080, 4090,
              4095, 4100, 4110, 4125, 4130, 4140, 4145, 4160, 4170, 4180, 4190, 4200}},
        {21, {1080}},
        {22, {2060}},
        {23, {3120}},
        {24, {5180}},
        {25, {4120}},
    };
    std::size_t count = 0;
    for (const auto& [title, frames] : titles)
        for (int id : frames) {
            const CFrame* f = db.FindFrame(id);
            ASSERT_NE(f, nullptr) << id;
            EXPECT_EQ(f->titleIndex, title) << id;
            ++count;
        }
    EXPECT_EQ(db.frames.size(), count);
    // The tests and the frames that borrow another's prompt.
    const std::map<int, int> prompts = {{10, -1},  {17, -5},  {140, -2}, {150, -3},
                                        {160, -4}, {510, -6}, {14, 10},  {295, 60}};
    for (const CFrame& f : db.frames) {
        const auto special = prompts.find(f.identifier);
        EXPECT_EQ(f.prompt, special == prompts.end() ? f.identifier : special->second)
            << f.identifier;
    }
    // Frames that end a branch.
    for (int id : {1070, 2030, 3090, 4160, 5110})
        EXPECT_EQ(db.FindFrame(id)->buttonFlags, 0) << id;
    EXPECT_NE(db.FindPrompt(600), nullptr);
}

TEST_F(ShippedGuide, TellingFramesAreAsDesigned) {
    struct Telling {
        int id, title, flags, prompt, config;
        const char* picture;
        const char *yesText, *yesAction, *noText, *noAction, *nextText, *nextAction;
    };
    const Telling frames[] = {
        {1, 1, 48, 1, 1, "res 1", "", "nnnn", "", "nnnn", "Next ->", "%frame 17"},
        {17, 5, 0, -5, 1, "res 1", "", "%frame 1000", "Next ->", "%frame 105", "", "nnnn"},
        {105, 3, 48, 105, 2, "res 8", "", "nnnn", "", "nnnn", "Next ->", "%frame 10"},
        {10, 2, 48, -1, 1, "res 6", "", "nnnn", "", "nnnn", "Next ->", "%frame 14"},
        {40, 4, 255, 40, 41, "res 18", "Yes", "%frame 70", "No", "%frame 140", "Skip ->>",
         "%frame 125"},
        {140, 8, 255, -2, 51, "res 18", "Yes", "%frame 70", "No", "%frame 240", "Skip ->>",
         "%frame 125"},
        {500, 7, 255, 500, 44, "res 11", "Words", "%frame 540", "Hiss", "%frame 510", "Skip ->>",
         "%frame 105"},
        {1000, 16, 51, 1000, 3, "res 2", "Solutions", "%multi %exec 102.%frame 1010", "", "nnnn",
         "Skip ->>", "%frame 105"},
        {155, 3, 48, 155, 2, "res 8", "", "nnnn", "", "nnnn", "", "%quit"},
        {4145, 20, 51, 4145, 3, "res 2", "Solutions", "%exec 103.", "", "nnnn", "Skip ->>",
         "%frame 145"},
    };
    for (const Telling& t : frames) {
        const CFrame* f = db.FindFrame(t.id);
        ASSERT_NE(f, nullptr) << t.id;
        EXPECT_EQ(f->titleIndex, t.title) << t.id;
        EXPECT_EQ(f->buttonFlags, t.flags) << t.id;
        EXPECT_EQ(f->prompt, t.prompt) << t.id;
        EXPECT_EQ(f->controlConfig, t.config) << t.id;
        EXPECT_EQ(f->reserved, 0) << t.id;
        EXPECT_EQ(f->picture, t.picture) << t.id;
        EXPECT_EQ(f->yesText, t.yesText) << t.id;
        EXPECT_EQ(f->yesAction, t.yesAction) << t.id;
        EXPECT_EQ(f->noText, t.noText) << t.id;
        EXPECT_EQ(f->noAction, t.noAction) << t.id;
        EXPECT_EQ(f->nextText, t.nextText) << t.id;
        EXPECT_EQ(f->nextAction, t.nextAction) << t.id;
    }
}

TEST_F(ShippedGuide, ControlConfigurationsAreTheShippedOnes) {
    const CControlConfig want[] = {
        {0, 0, 1, 0, "Volume", "none", "none"},
        {16, 16, 2, 0, "Volume", "none", "none"},
        {96, 96, 3, 0, "Volume", "none", "none"},
        {101, 101, 41, 0, "Wave Volume", "%play wav", "none"},
        {101, 101, 42, 1, "MIDI Volume", "%play midi", "none"},
        {101, 101, 43, 2, "CD Volume", "%play cd", "none"},
        {103, 110, 44, 3, "Mic Sensitivity", "%play mem", "%rec"},
        {109, 109, 51, 0, "Wave Volume", "%play wav", "none"},
        {109, 109, 52, 1, "MIDI Volume", "%play midi", "none"},
        {109, 109, 53, 2, "CD Volume", "%play cd", "none"},
        {111, 110, 54, 3, "Mic Sensitivity", "%play mem", "%rec"},
    };
    ASSERT_EQ(db.controls.size(), std::size(want));
    for (std::size_t i = 0; i < std::size(want); ++i)
        EXPECT_EQ(db.controls[i], want[i]) << want[i].identifier;
}

TEST_F(ShippedGuide, EveryFrameTargetExists) {
    for (const CFrame& f : db.frames)
        for (const QByteArray* a : {&f.yesAction, &f.noAction, &f.nextAction})
            for (int32_t target : GuideActionFrames(*a))
                EXPECT_NE(db.FindFrame(target), nullptr) << f.identifier << " -> " << target;
}

}  // namespace
