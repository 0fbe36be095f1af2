#include <gtest/gtest.h>

#include <QFile>

#include <cstring>

#include "tdmend/guidedata.h"

namespace {

QByteArray ShippedArchive() {
    QFile f(QStringLiteral(":/tdmend/dwdata.tdd"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

QByteArray Le16(uint16_t v) {
    return QByteArray(reinterpret_cast<const char*>(&v), 2);
}
QByteArray Le32(uint32_t v) {
    return QByteArray(reinterpret_cast<const char*>(&v), 4);
}

QByteArray Encoded(qsizetype length) {
    QByteArray out;
    WriteArchiveString(out, QByteArray(length, 'x'));
    return out;
}

TEST(GuideArchive, StringLengthFormsAtTheirBoundaries) {
    EXPECT_EQ(Encoded(0), QByteArray(1, '\0'));
    EXPECT_EQ(Encoded(254).left(1), QByteArray(1, char(254)));
    EXPECT_EQ(Encoded(254).size(), 1 + 254);
    EXPECT_EQ(Encoded(255).left(3), QByteArray("\xFF") + Le16(255));
    EXPECT_EQ(Encoded(255).size(), 3 + 255);
    EXPECT_EQ(Encoded(300).left(3), QByteArray("\xFF") + Le16(300));
    EXPECT_EQ(Encoded(65533).left(3), QByteArray("\xFF") + Le16(65533));
    EXPECT_EQ(Encoded(65533).size(), 3 + 65533);
    EXPECT_EQ(Encoded(65534).left(7), QByteArray("\xFF") + Le16(0xFFFF) + Le32(65534));
    EXPECT_EQ(Encoded(65534).size(), 7 + 65534);

    // Each form reads back as the same text, in a prompt's question.
    for (qsizetype length : {0, 254, 255, 65533, 65534, 70000}) {
        CFixitGuideDatabase db;
        db.prompts.push_back({7, QByteArray(length, 'q'), "?\n"});
        const auto image = db.Serialize();
        ASSERT_TRUE(image);
        CFixitGuideDatabase back;
        EXPECT_FALSE(back.Deserialize(*image)) << length;
        EXPECT_EQ(back, db) << length;
    }
}

TEST(GuideArchive, ClassTagsAndIndicesAreSharedInOrderOfFirstAppearance) {
    CFixitGuideDatabase db;
    db.prompts = {{1, "a", "b"}, {2, "", ""}};
    CFrame f;
    f.identifier = 9;
    f.titleIndex = 3;
    f.buttonFlags = 51;
    f.prompt = 1;
    f.controlConfig = 2;
    f.picture = "res 1";
    f.yesText = "Y";
    f.noText = "N";
    f.yesAction = "ya";
    f.noAction = "na";
    f.nextText = "X";
    f.nextAction = "xa";
    db.frames = {f, f};
    db.controls = {{16, 17, 2, 3, "L", "p", "r"}};
    const auto image = db.Serialize();
    ASSERT_TRUE(image);

    QByteArray want = Le16(2);  // prompts: class 1, objects 2 and 3
    want += Le16(0xFFFF) + Le16(1) + Le16(7) + "CPrompt" + Le32(1) +
            "\x01"
            "a"
            "\x01"
            "b";
    want += Le16(0x8001) + Le32(2) + QByteArray(2, '\0');
    want += Le16(2);  // frames: class 4, objects 5 and 6
    const QByteArray frame = Le32(3) + Le32(51) + Le32(9) + Le32(1) + Le32(2) + Le32(0) +
                             "\x05res 1\x01Y\x01N\x02ya\x02na\x01X\x02xa";
    want += Le16(0xFFFF) + Le16(1) + Le16(6) + "CFrame" + frame;
    want += Le16(0x8004) + frame;
    want += Le16(1);  // control configurations: class 7
    want += Le16(0xFFFF) + Le16(1) + Le16(14) + "CControlConfig" + Le32(16) + Le32(17) + Le32(2) +
            Le32(3) + "\x01L\x01p\x01r";
    EXPECT_EQ(image->toHex(), want.toHex());

    CFixitGuideDatabase back;
    EXPECT_FALSE(back.Deserialize(*image));
    EXPECT_EQ(back, db);
}

TEST(GuideArchive, TheBuiltInArchiveReadsWholeAndWritesBackByteForByte) {
    const QByteArray image = ShippedArchive();
    CFixitGuideDatabase db;
    const ArchiveError e = db.Deserialize(image);
    EXPECT_FALSE(e) << e.what.toStdString();
    EXPECT_EQ(db.frames.size(), 143u);
    EXPECT_EQ(db.controls.size(), 11u);
    EXPECT_GT(db.prompts.size(), 130u);
    const auto again = db.Serialize();
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, image);
}

TEST(GuideArchive, ATruncatedArchiveFailsCleanlyAtEveryOffset) {
    const QByteArray image = ShippedArchive();
    ASSERT_GT(image.size(), 1000);
    std::size_t lastRecords = 0;
    for (qsizetype n = 0; n < image.size(); ++n) {
        CFixitGuideDatabase db;
        // A copy of exactly n bytes, so reading past it is caught by the sanitizers too.
        const QByteArray cut(image.constData(), n);
        const ArchiveError e = db.Deserialize(cut);
        ASSERT_TRUE(e) << "a cut at " << n << " read as whole";
        ASSERT_LE(e.offset, n);
        const std::size_t records = db.prompts.size() + db.frames.size() + db.controls.size();
        // The records read before the cut stay, and a longer cut never reads fewer.
        ASSERT_GE(records, lastRecords);
        lastRecords = records;
    }
    CFixitGuideDatabase whole;
    ASSERT_FALSE(whole.Deserialize(image));
    // One byte short, everything but the last control configuration was read.
    EXPECT_EQ(lastRecords, whole.prompts.size() + whole.frames.size() + whole.controls.size() - 1);
}

TEST(GuideArchive, CorruptBytesNeverCrashTheReader) {
    const QByteArray image = ShippedArchive();
    uint32_t seed = 12345;
    for (int i = 0; i < 3000; ++i) {
        QByteArray bad = image;
        seed = seed * 1103515245 + 12345;
        const qsizetype at = (seed >> 8) % bad.size();
        bad[at] = char(bad[at] ^ char(1 + (seed >> 24) % 255));
        CFixitGuideDatabase db;
        db.Deserialize(bad);
    }
}

// An archive of one array element (after the empty frames and control arrays are added).
QByteArray OnePrompt(const QByteArray& element) {
    return Le16(1) + element + Le16(0) + Le16(0);
}

const QByteArray kPromptClass = Le16(0xFFFF) + Le16(1) + Le16(7) + "CPrompt";
const QByteArray kPromptBody = Le32(5) + "\x01t\x01q";

TEST(GuideArchive, HostileArchivesAreRefused) {
    struct Case {
        const char* name;
        QByteArray image;
        const char* says;
    };
    const Case cases[] = {
        {"null element", OnePrompt(Le16(0)), "null"},
        {"back reference", Le16(2) + kPromptClass + kPromptBody + Le16(2) + Le16(0) + Le16(0),
         "reference back"},
        {"tag of an object, not a class",
         Le16(2) + kPromptClass + kPromptBody + Le16(0x8002) + kPromptBody + Le16(0) + Le16(0),
         "names no class"},
        {"tag of no class yet", OnePrompt(Le16(0x8001) + kPromptBody), "names no class"},
        {"unknown class", OnePrompt(Le16(0xFFFF) + Le16(1) + Le16(7) + "CPromqt" + kPromptBody),
         "unknown class"},
        {"other schema", OnePrompt(Le16(0xFFFF) + Le16(2) + Le16(7) + "CPrompt" + kPromptBody),
         "schema"},
        {"class name too long", OnePrompt(Le16(0xFFFF) + Le16(1) + Le16(0xFFF0) + "CPrompt"),
         "class name"},
        {"frame among the prompts",
         OnePrompt(Le16(0xFFFF) + Le16(1) + Le16(6) + "CFrame" + QByteArray(24, '\0')),
         "where a CPrompt belongs"},
        {"class introduced twice",
         Le16(2) + kPromptClass + kPromptBody + kPromptClass + kPromptBody + Le16(0) + Le16(0),
         "twice"},
        {"count beyond the data", Le16(0xFFFF) + Le32(0x7FFFFFFF), "runs past the end"},
        {"string beyond the data", OnePrompt(kPromptClass + Le32(5) + "\xFF" + Le16(300) + "ab"),
         "runs past the end"},
        {"long string beyond the data",
         OnePrompt(kPromptClass + Le32(5) + "\xFF" + Le16(0xFFFF) + Le32(0xFFFFFFFF)),
         "runs past the end"},
        {"wide-string marker", OnePrompt(kPromptClass + Le32(5) + "\xFF" + Le16(0xFFFE)),
         "wide-character"},
        {"bytes after the arrays", OnePrompt(kPromptClass + kPromptBody) + "x", "after the last"},
    };
    for (const Case& c : cases) {
        CFixitGuideDatabase db;
        const ArchiveError e = db.Deserialize(c.image);
        ASSERT_TRUE(e) << c.name;
        EXPECT_TRUE(e.what.contains(QLatin1String(c.says)))
            << c.name << ": " << e.what.toStdString();
        EXPECT_LE(e.offset, c.image.size()) << c.name;
    }
    // What was read before the fault stays.
    CFixitGuideDatabase db;
    EXPECT_TRUE(db.Deserialize(Le16(2) + kPromptClass + kPromptBody + Le16(0)));
    ASSERT_EQ(db.prompts.size(), 1u);
    EXPECT_EQ(db.prompts[0].identifier, 5);
    EXPECT_EQ(db.prompts[0].question, "q");
}

TEST(GuideArchive, LookupsFindTheFirstMatch) {
    CFixitGuideDatabase db;
    db.prompts = {{3, "first", ""}, {3, "second", ""}};
    CFrame f;
    f.identifier = 8;
    db.frames = {f};
    EXPECT_EQ(db.FindPrompt(3)->text, "first");
    EXPECT_EQ(db.FindPrompt(4), nullptr);
    EXPECT_EQ(db.FindFrame(8), &db.frames[0]);
    EXPECT_EQ(db.FindFrame(1), nullptr);
    EXPECT_EQ(db.FindControlConfig(1), nullptr);
}

}  // namespace
