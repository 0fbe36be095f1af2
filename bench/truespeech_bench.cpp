// TrueSpeech encoder: quality and speed.
//
// Quality: speech from espeak-ng (a male and a female voice), resampled to 8000 Hz with
// sox, is encoded by our encoder and decoded by libavcodec's TrueSpeech decoder, and,
// for comparison, encoded and decoded as GSM 6.10 (libgsm through libavcodec) at its own
// rate of 1650 bytes a second. Printed: overall SNR and segmental SNR (mean over the
// 20 ms frames with sound of each frame's SNR, limited to -10..35 dB).
//
// Speed: CPU time of encoding, as times real time (target at least 50x), measured as
// process CPU time so other load on the machine does not count against it.
//
// Run: build/bin/truespeech_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/codecmodule/truespeech_encoder.h"

namespace {

const char* const kText =
    "The birch canoe slid on the smooth planks. Glue the sheet to the dark blue background. "
    "It is easy to tell the depth of a well. These days a chicken leg is a rare dish. Rice "
    "is often served in round bowls. The juice of lemons makes fine punch.";

struct Voice {
    const char* name;
    const char* espeak;
};
const Voice kVoices[] = {{"male (en-us)", "en-us"}, {"female (en-us+f3)", "en-us+f3"}};

std::vector<int16_t> Speak(const char* voice) {
    const std::string command = std::string("espeak-ng -v ") + voice + " --stdout \"" + kText +
                                "\" | sox -t wav - -r 8000 -t raw -e signed -b 16 -L -";
    std::vector<int16_t> samples;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        uint8_t bytes[2];
        while (fread(bytes, 1, 2, pipe) == 2) {
            samples.push_back(static_cast<int16_t>(bytes[0] | bytes[1] << 8));
        }
        pclose(pipe);
    }
    return samples;
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Decodes packets of `packetBytes` with the named libavcodec decoder.
std::vector<int16_t> Decode(const char* decoder, const std::vector<uint8_t>& data,
                            int packetBytes) {
    std::vector<int16_t> out;
    const AVCodec* codec = avcodec_find_decoder_by_name(decoder);
    if (!codec) {
        return out;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = 8000;
    av_channel_layout_default(&context->ch_layout, 1);
    context->block_align = packetBytes;
    if (avcodec_open2(context, codec, nullptr) == 0) {
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        for (size_t i = 0; i + packetBytes <= data.size(); i += packetBytes) {
            av_new_packet(packet, packetBytes);
            std::memcpy(packet->data, data.data() + i, packetBytes);
            avcodec_send_packet(context, packet);
            av_packet_unref(packet);
            while (avcodec_receive_frame(context, frame) == 0) {
                const auto* s = reinterpret_cast<const int16_t*>(frame->data[0]);
                out.insert(out.end(), s, s + frame->nb_samples);
            }
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&context);
    return out;
}

// GSM 6.10 through libgsm: 160 samples to 33 bytes.
std::vector<uint8_t> EncodeGsm(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    const AVCodec* codec = avcodec_find_encoder_by_name("libgsm");
    if (!codec) {
        return out;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = 8000;
    av_channel_layout_default(&context->ch_layout, 1);
    context->sample_fmt = AV_SAMPLE_FMT_S16;
    if (avcodec_open2(context, codec, nullptr) == 0) {
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        frame->nb_samples = 160;
        frame->format = AV_SAMPLE_FMT_S16;
        av_channel_layout_default(&frame->ch_layout, 1);
        av_frame_get_buffer(frame, 0);
        for (size_t i = 0; i + 160 <= samples.size(); i += 160) {
            av_frame_make_writable(frame);
            std::memcpy(frame->data[0], samples.data() + i, 160 * sizeof(int16_t));
            avcodec_send_frame(context, frame);
            while (avcodec_receive_packet(context, packet) == 0) {
                out.insert(out.end(), packet->data, packet->data + packet->size);
                av_packet_unref(packet);
            }
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&context);
    return out;
}

struct Quality {
    double snr = 0;
    double segmental = 0;
};

Quality Measure(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded) {
    const size_t n = std::min(reference.size(), decoded.size()) / 160 * 160;
    double signal = 0, noise = 0, sum = 0;
    int frames = 0;
    for (size_t start = 0; start < n; start += 160) {
        double s = 0, e = 0;
        for (size_t i = start; i < start + 160; ++i) {
            const double d = reference[i] - decoded[i];
            s += double(reference[i]) * reference[i];
            e += d * d;
        }
        signal += s;
        noise += e;
        if (s >= 160.0 * 100 * 100) {
            sum += std::clamp(10 * std::log10(s / (e + 1)), -10.0, 35.0);
            ++frames;
        }
    }
    return {10 * std::log10(signal / (noise + 1)), frames ? sum / frames : 0};
}

std::vector<int16_t> gSpeech;

void BM_EncodeTrueSpeech(benchmark::State& state) {
    std::vector<uint8_t> blocks;
    double cpu = 0;
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        EncodeTrueSpeech(gSpeech.data(), gSpeech.size(), blocks);
        cpu += ProcessCpuSeconds() - start;
        benchmark::DoNotOptimize(blocks.data());
    }
    const double audioSeconds = gSpeech.size() / 8000.0 * state.iterations();
    state.counters["x_realtime_cpu"] = audioSeconds / cpu;
}
BENCHMARK(BM_EncodeTrueSpeech)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    std::printf("%-20s %8s | %-24s | %-24s | %s\n", "voice", "seconds", "TrueSpeech 1067 B/s",
                "GSM 6.10 1650 B/s", "TrueSpeech encoding");
    std::printf("%-20s %8s | %11s %12s | %11s %12s | %s\n", "", "", "SNR dB", "segSNR dB", "SNR dB",
                "segSNR dB", "x real time (CPU)");
    for (const Voice& voice : kVoices) {
        const std::vector<int16_t> speech = Speak(voice.espeak);
        if (speech.empty()) {
            std::fprintf(stderr, "espeak-ng or sox did not give speech for %s\n", voice.name);
            return 1;
        }
        gSpeech.insert(gSpeech.end(), speech.begin(), speech.end());
        std::vector<uint8_t> blocks;
        const double start = ProcessCpuSeconds();
        EncodeTrueSpeech(speech.data(), speech.size(), blocks);
        const double cpu = ProcessCpuSeconds() - start;
        const Quality ts = Measure(speech, Decode("truespeech", blocks, 32));
        const Quality gsm = Measure(speech, Decode("gsm", EncodeGsm(speech), 33));
        std::printf("%-20s %8.2f | %11.2f %12.2f | %11.2f %12.2f | %.1f\n", voice.name,
                    speech.size() / 8000.0, ts.snr, ts.segmental, gsm.snr, gsm.segmental,
                    speech.size() / 8000.0 / cpu);
    }
    std::fflush(stdout);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
