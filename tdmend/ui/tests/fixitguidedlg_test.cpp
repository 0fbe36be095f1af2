#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "platform/mixer.h"
#include "platform/mixer_virtual.h"
#include "platform/mixercard.h"
#include "tdkit/audio/mixmgr.h"
#include "tdmend/guideengine.h"
#include "tdmend/ui/fixitguidedlg.h"

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "tdmend_ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class FixitGuideDlg : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(runtime.isValid());
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        qputenv("XDG_CACHE_HOME", runtime.filePath(QStringLiteral("cache")).toUtf8());
        qputenv("TONEDECK_AUDIO", "virtual");
        qputenv("TONEDECK_VIRTUAL_SPEED", "0");
        InstallMixerCard(MakeVirtualMixerCard(VirtualCardLayoutPlan(VirtualCardLayout::Full)),
                         MixerBackend::Virtual);
        ASSERT_EQ(mixer.Start(&parent), 1);
    }
    void TearDown() override { ResetMixerDevices(); }
    template <typename T = QPushButton>
    T* Find(CFixitGuideDlg& dlg, const char* name) {
        T* w = dlg.findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString Body(CFixitGuideDlg& dlg) { return Find<QLabel>(dlg, "body")->text(); }

    QTemporaryDir runtime;
    QObject parent;
    CMixMgr mixer;
};

TEST_F(FixitGuideDlg, ButtonsFollowTheFramesAndBackReturns) {
    CFixitGuideDlg dlg(&mixer);
    dlg.show();
    ASSERT_NE(dlg.engine(), nullptr);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Fixit Guide"));
    EXPECT_EQ(dlg.engine()->Screen().title, QStringLiteral("Welcome to the Fixit Guide"));
    EXPECT_FALSE(Find(dlg, "back")->isEnabled());
    EXPECT_FALSE(Find(dlg, "yes")->isVisible());
    EXPECT_FALSE(Find(dlg, "topic1")->isVisible());
    EXPECT_TRUE(Body(dlg).startsWith(QStringLiteral("The Fixit Guide helps you")));

    Find(dlg, "next")->click();  // through the mixer test to 105
    EXPECT_EQ(dlg.engine()->CurrentFrame()->identifier, 105);
    EXPECT_TRUE(Find(dlg, "topic1")->isVisible());
    EXPECT_TRUE(Find(dlg, "back")->isEnabled());
    Find(dlg, "next")->click();  // 10, the capability report
    EXPECT_TRUE(Body(dlg).contains(QStringLiteral("Tonedeck Virtual Mixer")));
    Find(dlg, "next")->click();  // 14
    EXPECT_EQ(dlg.engine()->CurrentFrame()->identifier, 14);
    Find(dlg, "back")->click();
    Find(dlg, "back")->click();
    EXPECT_EQ(dlg.engine()->CurrentFrame()->identifier, 105);

    // The wave topic: the volume group drives the wave-out level.
    Find(dlg, "topic2")->click();
    EXPECT_EQ(dlg.engine()->CurrentFrame()->identifier, 40);
    EXPECT_TRUE(dlg.engine()->Screen().topicVisited[1]);
    EXPECT_FALSE(Find<QSlider>(dlg, "slider")->isVisible()) << "not on this frame";
    EXPECT_EQ(Find(dlg, "play")->text(), QStringLiteral("Test"));
    EXPECT_FALSE(Find(dlg, "no")->isEnabled());
    Find(dlg, "play")->click();  // the test sound: the answers open
    EXPECT_EQ(Find(dlg, "play")->text(), QStringLiteral("Stop"));
    ASSERT_TRUE(Find(dlg, "no")->isEnabled());
    Find(dlg, "no")->click();  // 140, the volume test with the volume group
    EXPECT_EQ(dlg.engine()->CurrentFrame()->identifier, 140);
    EXPECT_EQ(Find(dlg, "play")->text(), QStringLiteral("Test")) << "the test stopped";
    QSlider* slider = Find<QSlider>(dlg, "slider");
    EXPECT_TRUE(slider->isVisible());
    ASSERT_EQ(mixer.SetWaveOutPlaybackVolumeLevel(20000, 20000), 0u);
    // The dialog's timer reads the level back (bounded wait for its next tick).
    QDeadlineTimer deadline(10000);
    while (slider->value() != 65535 - 20000 && !deadline.hasExpired()) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
    EXPECT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->value(), 65535 - 20000);
    slider->setValue(65535 - 40000);  // as the user drags it
    DWORD l = 0, r = 0;
    ASSERT_EQ(mixer.GetWaveOutPlaybackVolumeLevel(l, r), 0u);
    EXPECT_EQ(l, 40000u);
    EXPECT_EQ(r, 40000u);
    Find<QCheckBox>(dlg, "mute")->click();
    EXPECT_EQ(mixer.GetWaveOutPlaybackMute(), 1);
}

TEST_F(FixitGuideDlg, ExitEndsTheGuideAndRemovesTheRecording) {
    QString recording;
    {
        CFixitGuideDlg dlg(&mixer);
        QTimer::singleShot(0, &dlg, [&] {
            recording = QDir(runtime.filePath(QStringLiteral("tonedeck/tmp")))
                            .entryList({QStringLiteral("~dw*")})
                            .value(0);
            Find(dlg, "exit")->click();
        });
        EXPECT_EQ(dlg.exec(), QDialog::Accepted);
        EXPECT_TRUE(dlg.engine()->HasQuit());
    }
    EXPECT_FALSE(recording.isEmpty());
    EXPECT_TRUE(QDir(runtime.filePath(QStringLiteral("tonedeck/tmp")))
                    .entryList({QStringLiteral("~dw*")})
                    .isEmpty());
}

TEST_F(FixitGuideDlg, WithoutAPrivateFolderTheGuideDoesNotStart) {
    // A runtime directory of someone else's mode is refused, and so is the fallback.
    qputenv("XDG_RUNTIME_DIR", "relative/path");
    qputenv("TMPDIR", runtime.filePath(QStringLiteral("missing/deeper")).toUtf8());
    CFixitGuideDlg dlg(&mixer);
    EXPECT_EQ(dlg.engine(), nullptr);
    EXPECT_EQ(dlg.exec(), -1);
    qunsetenv("TMPDIR");
}

TEST_F(FixitGuideDlg, PicturesAndIconsAreDrawn) {
    for (int n = 1; n <= 19; ++n) {
        const QImage image = CFixitGuideDlg::FramePicture(n, QSize(100, 80)).toImage();
        EXPECT_NE(image.pixelColor(50, 5), QColor(Qt::transparent)) << n;
    }
    const QImage a = CFixitGuideDlg::Icon(136).toImage();
    const QImage b = CFixitGuideDlg::Icon(163).toImage();
    EXPECT_NE(a, b) << "the animation phases differ";
    EXPECT_NE(CFixitGuideDlg::Icon(164).toImage(), CFixitGuideDlg::Icon(143).toImage());
}

}  // namespace
