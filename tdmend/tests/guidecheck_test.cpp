#include <gtest/gtest.h>

#include <stdexcept>

#include "tdmend/guideaction.h"
#include "tdmend/guidecheck.h"

namespace {

CFrame Frame(int32_t id, int32_t prompt, int32_t config, const char* next = "nnnn",
             const char* yes = "nnnn") {
    CFrame f;
    f.identifier = id;
    f.prompt = prompt;
    f.controlConfig = config;
    f.nextAction = next;
    f.yesAction = yes;
    return f;
}

TEST(GuideAction, KeywordsDecideInTheirOrder) {
    GuideAction a = ParseGuideAction("%multi %exec 102.%frame 1010");
    EXPECT_EQ(a.kind, GuideAction::Kind::Multi);
    EXPECT_EQ(a.first, "%exec 102.");
    EXPECT_EQ(a.second, "%frame 1010");
    a = ParseGuideAction("%frame 70 %quit");
    EXPECT_EQ(a.kind, GuideAction::Kind::Frame);
    EXPECT_EQ(a.frame, 70);
    EXPECT_EQ(ParseGuideAction("%frame 99999999999").frame, 0);
    a = ParseGuideAction("%play midi");
    EXPECT_EQ(a.kind, GuideAction::Kind::Play);
    EXPECT_EQ(a.sound, GuideAction::Sound::Midi);
    EXPECT_EQ(ParseGuideAction("%play mem").sound, GuideAction::Sound::Memory);
    EXPECT_EQ(ParseGuideAction("%play cd").sound, GuideAction::Sound::Cd);
    EXPECT_EQ(ParseGuideAction("%play wav").sound, GuideAction::Sound::Wave);
    EXPECT_EQ(ParseGuideAction("%rec").kind, GuideAction::Kind::Record);
    a = ParseGuideAction("%help 105.");
    EXPECT_EQ(a.kind, GuideAction::Kind::Help);
    EXPECT_EQ(a.argument, "105.");
    EXPECT_EQ(ParseGuideAction("%exec 103.").argument, "103.");
    EXPECT_EQ(ParseGuideAction("%quit").kind, GuideAction::Kind::Quit);
    for (const char* nothing : {"nnnn", "none", "", "%frame", "frame 3"})
        EXPECT_EQ(ParseGuideAction(nothing).kind, GuideAction::Kind::None) << nothing;
    // "%multi" without a second '%' runs only its first part.
    a = ParseGuideAction("%multi %frame 5");
    EXPECT_EQ(a.first, "%frame 5");
    EXPECT_EQ(a.second, "");
}

TEST(GuideAction, FrameTargetsIncludeMultiPartsWithABoundOnNesting) {
    EXPECT_EQ(GuideActionFrames("%multi %exec 102.%frame 1010"), std::vector<int32_t>{1010});
    EXPECT_EQ(GuideActionFrames("%multi %frame 4%frame 5"), (std::vector<int32_t>{4, 5}));
    QByteArray deep;
    for (int i = 0; i < 10000; ++i)
        deep += "%multi ";
    EXPECT_TRUE(GuideActionFrames(deep + "%frame 3").empty());
}

TEST(GuideCheck, FindsEveryKindOfFault) {
    CFixitGuideDatabase db;
    db.prompts = {{1, "", ""}, {2, "", ""}, {0, "never", ""}};
    db.controls = {{0, 0, 1, 0, "", "none", "none"}};
    db.frames = {Frame(1, 1, 1, "%frame 2"),
                 Frame(2, 2, 1, "%multi %exec 100.%frame 9"),
                 Frame(3, 1, 1),
                 Frame(4, 77, 1, "%frame 1"),
                 Frame(2, 2, 1),
                 Frame(5, -9, 6)};
    const QStringList faults = CheckGuide(db);
    const QString all = faults.join(u'\n');
    EXPECT_TRUE(all.contains(QStringLiteral("frame 2 is defined more than once")))
        << qPrintable(all);
    EXPECT_TRUE(all.contains(QStringLiteral("prompt 0 can never be shown")));
    EXPECT_TRUE(all.contains(QStringLiteral("leads to frame 9, which does not exist")));
    EXPECT_TRUE(all.contains(QStringLiteral("frame 3 cannot be reached")));
    EXPECT_TRUE(all.contains(QStringLiteral("frame 4 names prompt 77")));
    EXPECT_TRUE(all.contains(QStringLiteral("frame 5 names test -9")));
    EXPECT_TRUE(all.contains(QStringLiteral("frame 5 names control configuration 6")));
    EXPECT_FALSE(all.contains(QStringLiteral("frame 1 cannot"))) << qPrintable(all);
    EXPECT_FALSE(all.contains(QStringLiteral("frame 2 cannot")));
    EXPECT_EQ(faults.size(), 9) << qPrintable(all);  // 4 and 5 are unreachable too

    CFixitGuideDatabase empty;
    EXPECT_EQ(CheckGuide(empty), QStringList{QStringLiteral("there is no frame 1 to start from")});
}

TEST(GuideCheck, TheGuidesOwnWaysCountAsExits) {
    CFixitGuideDatabase db;
    db.prompts = {{1, "", ""}};
    // Configuration 2 shows the topic buttons; 44 plays the recording and records.
    db.controls = {{16, 16, 2, 0, "", "none", "none"},
                   {103, 110, 44, 3, "", "%play mem", "%rec"},
                   {0, 0, 1, 0, "", "%play cd", "none"}};
    db.frames = {Frame(1, 1, 2), Frame(10, -1, 1)};
    for (int32_t id : {40, 50, 60, 500, 1000, 2000, 4000, 5000})
        db.frames.push_back(Frame(id, 1, 1));
    auto frame500 = [&]() -> CFrame& {
        for (CFrame& f : db.frames)
            if (f.identifier == 500)
                return f;
        throw std::logic_error("no frame 500");
    };
    frame500().controlConfig = 44;  // 500 -> 2000 and 5000
    const std::set<int32_t> exits = GuideFrameExits(db, db.frames[0]);
    EXPECT_EQ(exits, (std::set<int32_t>{10, 40, 50, 60, 500}));
    EXPECT_EQ(GuideFrameExits(db, *db.FindFrame(10)), (std::set<int32_t>{1000, 4000}));
    EXPECT_EQ(GuideFrameExits(db, *db.FindFrame(500)), (std::set<int32_t>{2000, 5000}));
    EXPECT_TRUE(CheckGuide(db).isEmpty()) << qPrintable(CheckGuide(db).join(u'\n'));

    // Without a frame that records or plays wave sound, the device frames are cut off.
    frame500().controlConfig = 1;
    const QString faults = CheckGuide(db).join(u'\n');
    EXPECT_TRUE(faults.contains(QStringLiteral("frame 5000 cannot be reached")))
        << qPrintable(faults);
    EXPECT_TRUE(faults.contains(QStringLiteral("frame 2000 cannot be reached")));
    EXPECT_FALSE(faults.contains(QStringLiteral("frame 4000")));
}

}  // namespace
