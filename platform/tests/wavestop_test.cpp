#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>

#include <thread>

#include "platform/audiobackend.h"
#include "platform/wave.h"

namespace {

int argc = 1;
char arg0[] = "platform_tests";
char* argv[] = {arg0, nullptr};

// Stopping input hands back the buffer the device was filling, with the bytes it holds.
TEST(WaveInputStop, APartlyFilledBufferComesBackWithItsBytes) {
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    QTemporaryDir dir;
    qputenv("TONEDECK_REGISTRY_DIR", dir.path().toLocal8Bit());
    ForceAudioBackend(AudioBackend::Virtual);
    SetVirtualSpeed(1);  // real time: a ten-second buffer fills slowly
    VirtualInput tone;
    tone.kind = VirtualInput::Kind::Tone;
    SetVirtualInput(tone);

    const WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
    HWAVEIN device = nullptr;
    ASSERT_EQ(waveInOpen(&device, WAVE_MAPPER, &f, {}, 0), MMSYSERR_NOERROR);
    QByteArray data(80000, '\0');
    WAVEHDR header{};
    header.lpData = data.data();
    header.dwBufferLength = 80000;
    ASSERT_EQ(waveInPrepareHeader(device, &header, sizeof header), 0u);
    ASSERT_EQ(waveInAddBuffer(device, &header, sizeof header), 0u);
    ASSERT_EQ(waveInStart(device), 0u);
    MMTIME time{};
    QDeadlineTimer deadline(10000);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        time.wType = TIME_SAMPLES;
        ASSERT_EQ(waveInGetPosition(device, &time, sizeof time), 0u);
    } while (time.value == 0 && !deadline.hasExpired());
    ASSERT_GT(time.value, 0u);
    ASSERT_EQ(waveInStop(device), 0u);
    EXPECT_TRUE(header.dwFlags & WHDR_DONE);
    EXPECT_FALSE(header.dwFlags & WHDR_INQUEUE);
    EXPECT_GE(header.dwBytesRecorded, time.value);
    EXPECT_LT(header.dwBytesRecorded, 80000u);
    // The tone's bytes are there, not the zeros the buffer started with.
    EXPECT_NE(QByteArray(header.lpData, 100), QByteArray(100, '\0'));
    waveInReset(device);
    waveInUnprepareHeader(device, &header, sizeof header);
    waveInClose(device);

    SetVirtualSpeed(0);
    SetVirtualInput({});
    ForceAudioBackend(std::nullopt);
    qunsetenv("TONEDECK_REGISTRY_DIR");
}

}  // namespace
