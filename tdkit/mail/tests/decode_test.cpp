// The UU and base64 MIME coding of voicegrams in mail text: exact encoded bytes, decoding
// of CRLF and LF messages, and hostile names and messages.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tdkit/mail/decode.h"

namespace {

class DecodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    }
    void TearDown() override { qunsetenv("XDG_RUNTIME_DIR"); }

    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    static QByteArray Read(const char* path) {
        QFile f(QString::fromLocal8Bit(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList Out() const { return QDir(out_.path()).entryList(QDir::Files | QDir::Hidden); }

    int MIME(const std::string& text, char* path) {
        return CDecode::DecodeMIMEToWAV(text.data(), text.size(), out_.path(), path,
                                        kDecodePathSize);
    }
    int UU(const std::string& text, char* path) {
        return CDecode::DecodeUU(text.data(), text.size(), out_.path(), path, kDecodePathSize);
    }

    QTemporaryDir dir_, out_, runtime_;
};

std::string Lf(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r')
            out += c;
    return out;
}

TEST_F(DecodeTest, EncodesTheExactLayout) {
    const QString empty = Write("e.wav", {});
    char* text = reinterpret_cast<char*>(1);
    int length = -1;
    ASSERT_EQ(CDecode::EncodeUU(empty, "A.WAV", "unused", &text, &length), 1);
    EXPECT_EQ(std::string(text, length),
              "section 1/1   file A.WAV\n\nbegin 600 A.WAV\n\r\nend\n\nsection 1/1   file A.WAV\n");
    CDecode::FreeText(text);

    // 46 bytes: a full line of 45 ("M") and one of 1 ("!"); zero bytes and the padding of
    // the last group are back-quotes, never blanks.
    QByteArray bytes;
    for (int i = 0; i < 45; ++i)
        bytes.append(char(i));
    bytes.append(char(0xff));
    auto encoded = CDecode::EncodeUUText(Write("b.wav", bytes), "VGRAM.WAV");
    ASSERT_TRUE(encoded);
    EXPECT_EQ(*encoded,
              "section 1/1   file VGRAM.WAV\n\nbegin 600 VGRAM.WAV\n"
              "M``$\"`P0%!@<(\"0H+#`T.#Q`1$A,4%187&!D:&QP='A\\@(2(C)\"4F)R@I*BLL\r\n"
              "!_P``\r\n"
              "\r\n"
              "end\n\nsection 1/1   file VGRAM.WAV\n");
    encoded = CDecode::EncodeUUText(Write("c.wav", "Cat"), "c.wav");
    ASSERT_TRUE(encoded);
    EXPECT_NE(encoded->find("\n#0V%T\r\n\r\nend\n"), std::string::npos);
    encoded = CDecode::EncodeUUText(Write("z.wav", QByteArray(3, '\0')), "z.wav");
    ASSERT_TRUE(encoded);
    EXPECT_NE(encoded->find("\n#````\r\n"), std::string::npos);

    text = reinterpret_cast<char*>(1);
    EXPECT_EQ(CDecode::EncodeUU(dir_.filePath("missing.wav"), "x", "", &text, &length), 0);
    EXPECT_EQ(text, nullptr);
}

TEST_F(DecodeTest, UURoundTripsAndNeverOverwrites) {
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i)
        bytes.append(char((i * 37) & 0xff));
    const auto encoded = CDecode::EncodeUUText(Write("s.wav", bytes), "SOUND.WAV");
    ASSERT_TRUE(encoded);
    char first[kDecodePathSize], second[kDecodePathSize];
    ASSERT_EQ(UU("Hello,\r\nhere it comes\r\n\r\n" + *encoded, first), 1);
    EXPECT_EQ(Read(first), bytes);
    EXPECT_EQ(QFileInfo(first).fileName(), "SOUND.WAV");
    EXPECT_EQ(QFileInfo(first).permissions() & QFileDevice::ReadOther, 0);
    // LF-only lines decode the same; the second file gets a new name.
    ASSERT_EQ(UU(Lf(*encoded), second), 1);
    EXPECT_EQ(QFileInfo(second).fileName(), "SOUND-2.WAV");
    EXPECT_EQ(Read(first), bytes);
    EXPECT_EQ(Read(second), bytes);

    // Without a folder the private temporary folder is used.
    char tmp[kDecodePathSize];
    ASSERT_EQ(CDecode::DecodeUU(encoded->c_str(), tmp), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(tmp).startsWith(runtime_.path() + "/tonedeck/"));
    EXPECT_EQ(Read(tmp), bytes);
}

TEST_F(DecodeTest, UUBlockMustBeWholeAndStartALine) {
    char path[kDecodePathSize];
    // "begin" inside a line, or without an octal mode, is prose.
    EXPECT_EQ(UU("We begin 600 x.wav\n#0V%T\n`\nend\n", path), 0);
    EXPECT_EQ(UU("begin the day\n#0V%T\n`\nend\n", path), 0);
    EXPECT_EQ(UU("begin 600 \n#0V%T\n`\nend\n", path), 0);
    // Cut off before its end: not a sound.
    EXPECT_EQ(UU("begin 600 x.wav\n#0V%T\nM0V%T0V%T\n", path), 0);
    EXPECT_EQ(UU("begin 600 x.wav\n", path), 0);
    // A zero-length line ends it just as well; the length character bounds the bytes.
    ASSERT_EQ(UU("begin 644 y.wav\n\n\n\"0V%T\n`\nend\n", path), 1);
    EXPECT_EQ(Read(path), QByteArray("Ca"));
    // A short line counts missing characters as zero and still writes only L bytes.
    ASSERT_EQ(UU("begin 644 z.wav\n#0V\nend\n", path), 1);
    EXPECT_EQ(Read(path).size(), 3);
    EXPECT_EQ(Out().size(), 2);
}

const char kMimeCrlf[] =
    "From: ann@example.org\r\n"
    "Subject: VOICEGRAM hi\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"XYZ\"\r\n"
    "\r\n"
    "--XYZ\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "A voicegram.\r\n"
    "--XYZ\r\n"
    "Content-Type: audio/wav; name=\"VGRAM.WAV\"\r\n"
    "content-transfer-ENCODING:   BASE64\r\n"
    "\r\n"
    "AAECAwQF\r\n"
    "BgcICQ==\r\n"
    "--XYZ--\r\n";

TEST_F(DecodeTest, MIMEWithCrlfAndLfBodies) {
    const QByteArray want("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09", 10);
    char a[kDecodePathSize], b[kDecodePathSize];
    ASSERT_EQ(MIME(kMimeCrlf, a), 1);
    EXPECT_EQ(Read(a), want);
    EXPECT_EQ(QFileInfo(a).fileName(), "VGRAM.WAV");
    ASSERT_EQ(MIME(Lf(kMimeCrlf), b), 1);
    EXPECT_EQ(Read(b), want);
    EXPECT_EQ(QFileInfo(b).fileName(), "VGRAM-2.WAV");

    // Groups carried across lines of odd lengths, blanks inside, and an unpadded end.
    char c[kDecodePathSize];
    ASSERT_EQ(MIME("Content-Type: audio/wav\nContent-Transfer-Encoding: base64\n\n\nAAE\n CAw Q\r\n"
                   "FBgcICQ\n",
                   c),
              1);
    EXPECT_EQ(Read(c), want);
    // Without a name the sound gets a fresh VG name.
    EXPECT_TRUE(QFileInfo(c).fileName().startsWith("VG"));
    EXPECT_TRUE(QFileInfo(c).fileName().endsWith(".WAV"));

    // "==" adds exactly one byte, "=" two.
    ASSERT_EQ(MIME("Content-Transfer-Encoding: base64\n\nQUJD\nRA==\n", c), 1);
    EXPECT_EQ(Read(c), QByteArray("ABCD"));
    ASSERT_EQ(MIME("Content-Transfer-Encoding: base64\n\nQUJDREU=\n", c), 1);
    EXPECT_EQ(Read(c), QByteArray("ABCDE"));
    // No base64 part, or nothing in it.
    EXPECT_EQ(MIME("Content-Transfer-Encoding: 7bit\n\nhello\n", c), 0);
    EXPECT_EQ(MIME("Content-Transfer-Encoding: base64\n\n--XYZ--\n", c), 0);
}

TEST_F(DecodeTest, MIMEPrefersTheSoundPartAndComesBeforeUU) {
    const std::string text =
        "Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\naGVsbG8=\n--b\n"
        "Content-Type: application/octet-stream; name=\"voice.wav\"\n"
        "Content-Transfer-Encoding: base64\n\nUklGRg==\n--b--\n"
        "begin 600 uu.wav\n#0V%T\n`\nend\n";
    const auto mime = CDecode::ParseMIME(text.data(), text.size());
    ASSERT_TRUE(mime);
    EXPECT_EQ(mime->bytes, QByteArray("RIFF"));
    EXPECT_EQ(mime->name, QByteArray("voice.wav"));
    const auto uu = CDecode::ParseUU(text.data(), text.size());
    ASSERT_TRUE(uu);
    EXPECT_EQ(uu->bytes, QByteArray("Cat"));
}

TEST_F(DecodeTest, HostileNamesStayInTheFolder) {
    EXPECT_EQ(CDecode::PlainFileName("../../x.wav"), "x.wav");
    EXPECT_EQ(CDecode::PlainFileName("/etc/passwd"), "passwd");
    EXPECT_EQ(CDecode::PlainFileName("C:\\WINDOWS\\..\\a.wav"), "a.wav");
    EXPECT_EQ(CDecode::PlainFileName(".."), "");
    EXPECT_EQ(CDecode::PlainFileName("..."), "");
    EXPECT_EQ(CDecode::PlainFileName(".bashrc"), "bashrc");
    EXPECT_EQ(CDecode::PlainFileName("a\nb\r\x01.wav"), "ab.wav");
    const QString longName = CDecode::PlainFileName(QByteArray(300, 'n') + ".wav");
    EXPECT_EQ(longName.size(), qsizetype(kMaxDecodedNameBytes));
    EXPECT_TRUE(longName.endsWith(".wav"));

    char path[kDecodePathSize];
    ASSERT_EQ(UU("begin 600 ../../x.wav\n#0V%T\n`\nend\n", path), 1);
    EXPECT_EQ(QString::fromLocal8Bit(path), out_.filePath("x.wav"));
    ASSERT_EQ(UU("begin 600 /etc/passwd\n#0V%T\n`\nend\n", path), 1);
    EXPECT_EQ(QString::fromLocal8Bit(path), out_.filePath("passwd"));
    ASSERT_EQ(UU("begin 600 " + std::string(300, 'u') + ".wav\n#0V%T\n`\nend\n", path), 1);
    EXPECT_EQ(QFileInfo(path).fileName().size(), qsizetype(kMaxDecodedNameBytes));
    ASSERT_EQ(UU("begin 600 ..\n#0V%T\n`\nend\n", path), 1);
    EXPECT_EQ(QFileInfo(path).fileName(), "VGRAM.WAV");
    ASSERT_EQ(MIME("Content-Type: audio/wav; name=\"../\nnew\r\nline.wav\"\n"
                   "Content-Transfer-Encoding: base64\n\nQUJD\n",
                   path),
              1);
    EXPECT_EQ(QString::fromLocal8Bit(path), out_.filePath("newline.wav"));
    for (const QString& name : Out())
        EXPECT_TRUE(QFileInfo(out_.filePath(name)).isFile()) << name.toStdString();
    EXPECT_FALSE(QFile::exists(QFileInfo(out_.path()).dir().filePath("x.wav")));

    // A MIME name over 259 characters is not decoded; 259 is.
    const std::string tail = "\"\nContent-Transfer-Encoding: base64\n\nQUJD\n";
    EXPECT_EQ(MIME("Content-Type: audio/wav; name=\"" + std::string(260, 'm') + tail, path), 0);
    EXPECT_EQ(MIME("Content-Type: audio/wav; name=\"" + std::string(259, 'm') + tail, path), 1);
    EXPECT_EQ(MIME("Content-Type: audio/wav; name=\"open\nContent-Transfer-Encoding: base64\n"
                   "\nQUJD\n",
                   path),
              0);  // an unclosed quote refuses the part
}

TEST_F(DecodeTest, OutputsAreBoundedByTheCallersBuffer) {
    char small[16];
    const std::string block = "begin 600 sound.wav\n#0V%T\n`\nend\n";
    const int before = Out().size();
    EXPECT_EQ(CDecode::DecodeUU(block.data(), block.size(), out_.path(), small, sizeof small), 0);
    EXPECT_EQ(CDecode::DecodeMIMEToWAV(kMimeCrlf, std::strlen(kMimeCrlf), out_.path(), small,
                                       sizeof small),
              0);
    EXPECT_EQ(Out().size(), before);  // nothing left behind
    // A folder that cannot be written gives 0.
    char path[kDecodePathSize];
    EXPECT_EQ(CDecode::DecodeUU(block.data(), block.size(), out_.filePath("none/deeper"), path,
                                sizeof path),
              0);
}

TEST_F(DecodeTest, DecodeMIMEGroup) {
    unsigned char three[3];
    CDecode::DecodeMIME("TWFu", three);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(three), 3), "Man");
    CDecode::DecodeMIME("/+==", three);
    EXPECT_EQ(three[0], 0xff);
    EXPECT_EQ(three[1], 0xe0);
    EXPECT_EQ(three[2], 0);
    CDecode::DecodeMIME("!!!!", three);
    EXPECT_EQ(three[0] | three[1] | three[2], 0);
}

}  // namespace
