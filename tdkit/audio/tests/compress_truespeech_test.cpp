// Compression of recordings to TrueSpeech through CACM, end to end: our encoder writes
// the blocks, and the codec layer's decoder (libavcodec's) reads them back.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <vector>

#include "tdkit/audio/acm.h"

namespace {

void PutLe(QByteArray& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>(value >> (8 * i)));
    }
}

// A 16-bit mono PCM WAV file of the samples.
bool WritePcm(const QString& path, const std::vector<int16_t>& samples, uint32_t rate) {
    const uint32_t dataSize = static_cast<uint32_t>(samples.size() * 2);
    QByteArray bytes("RIFF");
    PutLe(bytes, 4 + 24 + 8 + dataSize + (dataSize & 1), 4);
    bytes.append("WAVEfmt ");
    PutLe(bytes, 16, 4);
    PutLe(bytes, 1, 2);  // PCM
    PutLe(bytes, 1, 2);
    PutLe(bytes, rate, 4);
    PutLe(bytes, rate * 2, 4);
    PutLe(bytes, 2, 2);
    PutLe(bytes, 16, 2);
    bytes.append("data");
    PutLe(bytes, dataSize, 4);
    bytes.append(reinterpret_cast<const char*>(samples.data()), dataSize);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The bytes of a WAV file's chunk, found by walking the chunk headers.
QByteArray Chunk(const QString& path, const char* id) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = f.readAll();
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        uint32_t size;
        std::memcpy(&size, bytes.constData() + at + 4, 4);
        if (bytes.mid(at, 4) == id) {
            return bytes.mid(at + 8, size);
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

std::vector<int16_t> Samples(const QByteArray& data) {
    std::vector<int16_t> samples(data.size() / 2);
    std::memcpy(samples.data(), data.constData(), samples.size() * 2);
    return samples;
}

class CompressTrueSpeech : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Path(const QString& name) const { return dir.filePath(name); }

    // Spoken English at 8000 Hz, 16-bit mono.
    std::vector<int16_t> Speech() {
        const QString raw = Path("speech.raw");
        QProcess p;
        p.setStandardOutputFile(raw);
        p.start("sh", {"-c",
                       "espeak-ng -v en-us --stdout 'Your voicegram is compressed before it "
                       "is mailed.' | sox -t wav - -r 8000 -t raw -e signed -b 16 -L -"});
        EXPECT_TRUE(p.waitForFinished(60000));
        QFile f(raw);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return Samples(f.readAll());
    }

    QTemporaryDir dir;
};

TEST_F(CompressTrueSpeech, SpeechDecodesCloseToTheRecording) {
    const std::vector<int16_t> speech = Speech();
    ASSERT_GT(speech.size(), 8000u);
    ASSERT_TRUE(WritePcm(Path("memo.wav"), speech, 8000));

    CACM acm;
    ASSERT_EQ(acm.CompressFile(Path("memo.wav"), Path("ts.wav")), 1)
        << acm.LastError().toStdString();
    alignas(WAVEFORMATEX) uint8_t want[50];
    EXPECT_EQ(Chunk(Path("ts.wav"), "fmt "),
              QByteArray(reinterpret_cast<const char*>(CACM::GetCompressFormat(want)), 50));
    const qsizetype blocks = (qsizetype(speech.size()) + 239) / 240;
    EXPECT_EQ(Chunk(Path("ts.wav"), "data").size(), blocks * 32);

    const WaveFormatBytes pcm = MakePcmFormat(1, 8000, 16);
    ASSERT_EQ(acm.ConvertFileFormat(Path("ts.wav"), Path("back.wav"), AsFormat(pcm)), 1)
        << acm.LastError().toStdString();
    const std::vector<int16_t> back = Samples(Chunk(Path("back.wav"), "data"));
    ASSERT_EQ(back.size(), size_t(blocks * 240));
    double signal = 0, noise = 0;
    for (size_t i = 0; i < speech.size(); ++i) {
        const double e = speech[i] - back[i];
        signal += double(speech[i]) * speech[i];
        noise += e * e;
    }
    // About 12.5 dB with espeak-ng's voice; a decoder out of step with the encoder, or
    // samples lost or shifted between the pieces of the conversion, fall far below.
    EXPECT_GT(10 * std::log10(signal / noise), 10.0);
    for (size_t i = speech.size(); i < back.size(); ++i) {
        ASSERT_LE(std::abs(back[i]), 2000) << "the padding decodes as near silence";
    }
}

// Recordings of any length become whole blocks, the last filled up with silence.
TEST_F(CompressTrueSpeech, LengthsRoundUpToWholeBlocks) {
    for (size_t count : {0, 1, 239, 240, 241, 10000 / 2 + 1}) {
        std::vector<int16_t> tone(count);
        for (size_t i = 0; i < count; ++i) {
            tone[i] = static_cast<int16_t>(8000 * std::sin(i * 0.3));
        }
        const QString source = Path(QString("tone%1.wav").arg(count));
        const QString target = Path(QString("tone%1.ts.wav").arg(count));
        ASSERT_TRUE(WritePcm(source, tone, 8000));
        CACM acm;
        ASSERT_EQ(acm.CompressFile(source, target), 1) << count << acm.LastError().toStdString();
        EXPECT_EQ(Chunk(target, "data").size(), qsizetype((count + 239) / 240 * 32)) << count;
    }
}

}  // namespace
