#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/codecmodule/truespeech_encoder.h"
#include "platform/codecmodule/truespeech_synth.h"

using namespace truespeech;

namespace {

// Decodes blocks with libavcodec's TrueSpeech decoder, one packet per block.
std::vector<int16_t> ReferenceDecode(const std::vector<uint8_t>& blocks) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_TRUESPEECH);
    if (!codec) {
        ADD_FAILURE() << "libavcodec has no TrueSpeech decoder";
        return {};
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = 8000;
    av_channel_layout_default(&context->ch_layout, 1);
    context->block_align = kBlockBytes;
    std::vector<int16_t> out;
    if (avcodec_open2(context, codec, nullptr) == 0) {
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        for (size_t i = 0; i + kBlockBytes <= blocks.size(); i += kBlockBytes) {
            av_new_packet(packet, kBlockBytes);
            std::memcpy(packet->data, blocks.data() + i, kBlockBytes);
            EXPECT_EQ(avcodec_send_packet(context, packet), 0);
            av_packet_unref(packet);
            while (avcodec_receive_frame(context, frame) == 0) {
                const auto* samples = reinterpret_cast<const int16_t*>(frame->data[0]);
                out.insert(out.end(), samples, samples + frame->nb_samples);
            }
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&context);
    return out;
}

std::vector<int16_t> SpeechFixture() {
    // Synthesised speech, 8000 Hz 16-bit little-endian, made for these tests.
    std::ifstream in(TD_SPEECH_FIXTURE, std::ios::binary);
    std::vector<int16_t> samples;
    uint8_t bytes[2];
    while (in.read(reinterpret_cast<char*>(bytes), 2)) {
        samples.push_back(static_cast<int16_t>(bytes[0] | bytes[1] << 8));
    }
    return samples;
}

double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        const double e = reference[i] - decoded[i];
        signal += double(reference[i]) * reference[i];
        noise += e * e;
    }
    return 10 * std::log10((signal + 1) / (noise + 1));
}

// Mean SNR of the 20 ms frames that carry sound, each limited to -10..35 dB.
double SegmentalSnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded) {
    double sum = 0;
    int frames = 0;
    for (size_t start = 0; start + 160 <= reference.size(); start += 160) {
        double signal = 0, noise = 0;
        for (size_t i = start; i < start + 160; ++i) {
            const double e = reference[i] - decoded[i];
            signal += double(reference[i]) * reference[i];
            noise += e * e;
        }
        if (signal < 160.0 * 100 * 100) {
            continue;
        }
        sum += std::clamp(10 * std::log10(signal / (noise + 1)), -10.0, 35.0);
        ++frames;
    }
    return frames ? sum / frames : 0;
}

// Encodes block by block, also keeping what the encoder itself expects a player to hear.
std::vector<uint8_t> EncodeWithLocal(const std::vector<int16_t>& samples,
                                     std::vector<int16_t>& local) {
    TrueSpeechEncoder encoder;
    std::vector<uint8_t> blocks;
    local.clear();
    for (size_t start = 0; start + kBlockSamples <= samples.size(); start += kBlockSamples) {
        Frame frame;
        int16_t decoded[kBlockSamples];
        encoder.EncodeBlock(samples.data() + start, frame, decoded);
        uint8_t block[kBlockBytes];
        PackFrame(frame, block);
        blocks.insert(blocks.end(), block, block + kBlockBytes);
        local.insert(local.end(), decoded, decoded + kBlockSamples);
    }
    return blocks;
}

TEST(TrueSpeechBits, HandBuiltBlockPacksToItsWords) {
    Frame f;
    f.lpc = {0x13, 0x0A, 0x5, 0xC, 0x3, 0x6, 0x1, 0x7};
    f.interpolate = true;
    f.lagBase = {0xA5, 0x3C};
    f.pitch = {0x11, 0x22, 0x44, 0x7F};
    f.gain = {0x1, 0x2, 0xE, 0xF};
    f.positions = {0x4000001, 0x0ABCDEF, 0x7FFFFFF, 0x1234567};
    f.amplitudes = {0x2AAA, 0x1555, 0x3FFF, 0x0001};

    // Each 32-bit word is read from its top bit down and stored little-endian.
    const uint32_t words[8] = {
        0x7u << 29 | 0x1u << 26 | 0x6u << 23 | 0x3u << 19 | 0xCu << 15 | 0x5u << 11 | 0x0Au << 6 |
            0x13u << 1 | 1u,
        0xAu << 28 | 0x7Fu << 21 | 0x44u << 14 | 0x22u << 7 | 0x11u,
        0xCu << 28 | 0x1555u << 14 | 0x2AAAu,
        0x3u << 28 | 0x0001u << 14 | 0x3FFFu,
        1u << 31 | 0x4000001u << 4 | 0x1u,
        0u << 31 | 0x0ABCDEFu << 4 | 0x2u,
        1u << 31 | 0x7FFFFFFu << 4 | 0xEu,
        0u << 31 | 0x1234567u << 4 | 0xFu,
    };
    uint8_t expected[kBlockBytes];
    for (int w = 0; w < 8; ++w) {
        for (int b = 0; b < 4; ++b) {
            expected[w * 4 + b] = static_cast<uint8_t>(words[w] >> (8 * b));
        }
    }
    uint8_t block[kBlockBytes];
    PackFrame(f, block);
    EXPECT_EQ(0, std::memcmp(block, expected, kBlockBytes));
    EXPECT_EQ(UnpackFrame(block), f);

    // Values wider than their fields do not spill into their neighbours.
    Frame wide = f;
    wide.pitch[0] = 0xFF;
    wide.amplitudes[0] = 0xFFFF;
    wide.positions[0] = 0xFFFFFFFF;
    PackFrame(wide, block);
    const Frame back = UnpackFrame(block);
    EXPECT_EQ(back.pitch[0], 0x7F);
    EXPECT_EQ(back.pitch[1], f.pitch[1]);
    EXPECT_EQ(back.amplitudes[0], 0x3FFF);
    EXPECT_EQ(back.amplitudes[1], f.amplitudes[1]);
    EXPECT_EQ(back.positions[0], 0x7FFFFFFu);
    EXPECT_EQ(back.gain[0], f.gain[0]);
    EXPECT_EQ(back.lagBase, f.lagBase);
}

// Every choice of pulse positions gets a code of its own that fits its field.
TEST(TrueSpeechBits, PositionCodesCoverEveryChoice) {
    std::vector<bool> seen3(1 << 12), seen4(1 << 15);
    int p[4];
    for (p[0] = 0; p[0] < 30; ++p[0]) {
        for (p[1] = p[0] + 1; p[1] < 30; ++p[1]) {
            for (p[2] = p[1] + 1; p[2] < 30; ++p[2]) {
                const uint32_t code = EncodePositions(p, 3);
                ASSERT_LT(code, 1u << 12);
                EXPECT_FALSE(seen3[code]);
                seen3[code] = true;
                int back[3];
                DecodePositions(code, 3, back);
                ASSERT_TRUE(std::equal(back, back + 3, p));
                for (p[3] = p[2] + 1; p[3] < 30; ++p[3]) {
                    const uint32_t code4 = EncodePositions(p, 4);
                    ASSERT_LT(code4, 1u << 15);
                    EXPECT_FALSE(seen4[code4]);
                    seen4[code4] = true;
                    int back4[4];
                    DecodePositions(code4, 4, back4);
                    ASSERT_TRUE(std::equal(back4, back4 + 4, p));
                }
            }
        }
    }
    EXPECT_EQ(std::count(seen3.begin(), seen3.end(), true), 4060);
    EXPECT_EQ(std::count(seen4.begin(), seen4.end(), true), 27405);

    // A hand-built subframe: pulses at 0, 14, 29 and 30, 31, 45, 59, codes +1, +3, -1,
    // -3, +1, +3, -1 of gain level 2 (unit 6).
    const int first[3] = {0, 14, 29}, second[4] = {0, 1, 15, 29};
    int16_t pulses[kSubframeSamples];
    PlacePulses(2, EncodePositions(first, 3) << 15 | EncodePositions(second, 4),
                0b00'01'10'11'00'01'10, pulses);
    int16_t expected[kSubframeSamples] = {};
    expected[0] = 6, expected[14] = 18, expected[29] = -6, expected[30] = -18;
    expected[31] = 6, expected[45] = 18, expected[59] = -6;
    EXPECT_EQ(0, std::memcmp(pulses, expected, sizeof(pulses)));
}

// The synthesis the encoder runs is the player's to the last bit, whatever the blocks.
TEST(TrueSpeechSynth, MatchesLibavcodecOnArbitraryBlocks) {
    std::mt19937 random(18);
    std::vector<uint8_t> blocks(kBlockBytes * 300);
    for (auto& byte : blocks) {
        byte = static_cast<uint8_t>(random());
    }
    const std::vector<int16_t> reference = ReferenceDecode(blocks);
    ASSERT_EQ(reference.size(), 300u * kBlockSamples);
    Synth synth;
    std::vector<int16_t> local(reference.size());
    for (size_t b = 0; b < 300; ++b) {
        synth.Decode(UnpackFrame(blocks.data() + b * kBlockBytes), local.data() + b * 240);
    }
    EXPECT_EQ(local, reference);
}

// Measured 13.3 dB overall and 12.4 dB segmental on this sample; a search that goes
// wrong anywhere (pitch, pulses, filter, interpolation) falls well below.
TEST(TrueSpeechEncoder, SpeechDecodesWithinSnrFloor) {
    const std::vector<int16_t> speech = SpeechFixture();
    ASSERT_GT(speech.size(), 8000u);
    std::vector<int16_t> local;
    const std::vector<uint8_t> blocks = EncodeWithLocal(speech, local);
    const std::vector<int16_t> decoded = ReferenceDecode(blocks);
    ASSERT_EQ(decoded.size(), speech.size() / kBlockSamples * kBlockSamples);
    EXPECT_EQ(decoded, local);  // encoder and player stay in step to the end

    const std::vector<int16_t> covered(speech.begin(), speech.begin() + decoded.size());
    EXPECT_GT(SnrDb(covered, decoded), 11.5);
    EXPECT_GT(SegmentalSnrDb(covered, decoded), 11.0);

    std::vector<uint8_t> whole;
    EncodeTrueSpeech(speech.data(), decoded.size(), whole);
    EXPECT_EQ(whole, blocks);
}

TEST(TrueSpeechEncoder, ResetStartsAfresh) {
    const std::vector<int16_t> speech = SpeechFixture();
    ASSERT_GE(speech.size(), 2400u);
    TrueSpeechEncoder fresh, used;
    uint8_t a[kBlockBytes], b[kBlockBytes];
    for (int i = 0; i < 5; ++i) {
        used.EncodeBlock(speech.data() + 1200 + i * 240, b);
    }
    used.Reset();
    for (int i = 0; i < 4; ++i) {
        fresh.EncodeBlock(speech.data() + i * 240, a);
        used.EncodeBlock(speech.data() + i * 240, b);
        EXPECT_EQ(0, std::memcmp(a, b, kBlockBytes)) << "block " << i;
    }
}

TEST(TrueSpeechEncoder, SilenceStaysNearSilent) {
    const std::vector<int16_t> silence(240 * 20, 0);
    std::vector<int16_t> local;
    const std::vector<int16_t> decoded = ReferenceDecode(EncodeWithLocal(silence, local));
    ASSERT_EQ(decoded.size(), silence.size());
    EXPECT_EQ(decoded, local);
    for (int16_t s : decoded) {
        ASSERT_LE(std::abs(s), 16);
    }
}

// Full-scale square waves drive every sum to its limits; nothing may wrap around, which
// would show as sign flips far from the input and a collapsed SNR.
TEST(TrueSpeechEncoder, FullScaleSquareWavesDoNotOverflow) {
    for (int period : {2, 8, 32, 80, 200}) {
        std::vector<int16_t> square(240 * 40);
        for (size_t i = 0; i < square.size(); ++i) {
            square[i] = (i / (period / 2)) % 2 ? int16_t(-32768) : int16_t(32767);
        }
        std::vector<int16_t> local;
        const std::vector<uint8_t> blocks = EncodeWithLocal(square, local);
        const std::vector<int16_t> decoded = ReferenceDecode(blocks);
        ASSERT_EQ(decoded.size(), square.size());
        EXPECT_EQ(decoded, local) << "period " << period;
        for (size_t b = 0; b < blocks.size(); b += kBlockBytes) {
            Synth probe;
            probe.BeginBlock(UnpackFrame(blocks.data() + b).lpc, false);
            EXPECT_FALSE(probe.FilterOverflowed()) << "period " << period << " block " << b;
        }
        // Past the first blocks, where the encoder settles in.
        const std::vector<int16_t> steady(square.begin() + 2400, square.end());
        const std::vector<int16_t> heard(decoded.begin() + 2400, decoded.end());
        EXPECT_GT(SnrDb(steady, heard), 3.0) << "period " << period;
    }
}

TEST(TrueSpeechEncoder, FileLengthsRoundUpToWholeBlocks) {
    const std::vector<int16_t> speech = SpeechFixture();
    ASSERT_GE(speech.size(), 2000u);
    const int16_t* from = speech.data() + 1500;
    std::vector<uint8_t> blocks{1, 2, 3};
    EncodeTrueSpeech(from, 0, blocks);
    EXPECT_TRUE(blocks.empty());

    for (size_t count : {1, 239, 240, 241}) {
        EncodeTrueSpeech(from, count, blocks);
        const size_t blockCount = (count + 239) / 240;
        ASSERT_EQ(blocks.size(), blockCount * kBlockBytes) << count;
        // The last block is the samples followed by silence.
        std::vector<int16_t> padded(from, from + count);
        padded.resize(blockCount * 240, 0);
        std::vector<int16_t> local;
        EXPECT_EQ(EncodeWithLocal(padded, local), blocks) << count;
    }
}

// Pieces of any size, each offered again with what it left over, give the blocks the
// whole input gives.
TEST(TrueSpeechEncoder, StreamedPiecesGiveTheSameBlocks) {
    const std::vector<int16_t> speech = SpeechFixture();
    ASSERT_GE(speech.size(), 5000u);
    const size_t count = 4801;  // 20 blocks and one sample
    std::vector<uint8_t> whole;
    EncodeTrueSpeech(speech.data(), count, whole);
    ASSERT_EQ(whole.size(), 21u * kBlockBytes);

    TrueSpeechEncoder encoder;
    std::vector<uint8_t> streamed;
    size_t next = 0, offered = 0;
    for (size_t piece : {100, 239, 1, 481, 2000, 1000}) {
        offered = std::min(count, offered + piece);
        const size_t used =
            EncodeTrueSpeechBlocks(encoder, speech.data() + next, offered - next, false, streamed);
        EXPECT_EQ(used % kBlockSamples, 0u);
        EXPECT_LT(offered - next - used, size_t(kBlockSamples));
        next += used;
    }
    EXPECT_EQ(streamed.size(), next / kBlockSamples * kBlockBytes);
    const size_t rest = count - next;
    EXPECT_EQ(EncodeTrueSpeechBlocks(encoder, speech.data() + next, rest, true, streamed), rest);
    EXPECT_EQ(streamed, whole);

    // Nothing left at the end adds no block.
    EXPECT_EQ(EncodeTrueSpeechBlocks(encoder, speech.data(), 0, true, streamed), 0u);
    EXPECT_EQ(streamed.size(), whole.size());
}

}  // namespace
