#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "tdkit/audio/acm.h"
#include "tdkit/ui/convertdlg.h"

namespace {

int argc = 1;
char arg0[] = "tdkit_ui_tests";
char* argv[] = {arg0, nullptr};

class ConvertDlg : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QApplication::instance())
            new QApplication(argc, argv);
        ASSERT_TRUE(dir.isValid());
        speech = dir.filePath("speech.wav");
        ASSERT_EQ(QProcess::execute("sox", {"-n", "-r", "11025", "-b", "8", "-c", "1", speech,
                                            "synth", "3", "sine", "300-900"}),
                  0);
    }
    // Runs `step` on every event-loop turn until it returns true (bounded by the caller's
    // operation, which must be running an event loop of its own meanwhile).
    static void Every(QObject* context, std::function<bool()> step) {
        auto* timer = new QTimer(context);
        QObject::connect(timer, &QTimer::timeout, context, [timer, step] {
            if (step())
                timer->deleteLater();
        });
        timer->start(0);
    }

    QTemporaryDir dir;
    QString speech;
};

TEST_F(ConvertDlg, TheProgressDialogBelongsToTheWindowAndItsCancelStops) {
    QWidget window;
    window.show();
    CConvertProgressDlg* seen = nullptr;
    int lastValue = -1;
    Every(&window, [&] {
        auto dialogs = window.findChildren<CConvertProgressDlg*>();
        if (dialogs.isEmpty())
            return false;
        seen = dialogs.first();
        EXPECT_EQ(seen->windowTitle(), "Converting/Compressing Sound File");
        EXPECT_TRUE(seen->isVisible());
        EXPECT_FALSE(seen->isModal());
        lastValue = seen->Bar()->value();
        seen->CancelButton()->click();
        return true;
    });
    const WaveFormatBytes gsm = MakeCodecFormat(WAVE_FORMAT_GSM610, 1, 8000);
    CACM acm;
    EXPECT_EQ(acm.ConvertFileFormat(speech, dir.filePath("out.wav"), AsFormat(gsm), &window), 0);
    ASSERT_NE(seen, nullptr);
    EXPECT_GE(lastValue, 0);
    EXPECT_LT(lastValue, 100);
    EXPECT_TRUE(window.findChildren<CConvertProgressDlg*>().isEmpty()) << "the dialog closes";
    EXPECT_FALSE(QFile::exists(dir.filePath("out.wav")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"speech.wav"});
    // Left alone, it runs to the end.
    EXPECT_EQ(acm.ConvertFileFormat(speech, dir.filePath("out.wav"), AsFormat(gsm), &window), 1);
}

TEST_F(ConvertDlg, AnUnsupportedFormatAsksWhetherToStartTheEditor) {
    const QString ima = dir.filePath("ima.wav");
    ASSERT_EQ(QProcess::execute("sox", {speech, "-e", "ima-adpcm", ima}), 0);
    QWidget window;
    QString caption, text;
    Every(&window, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible())
                continue;
            caption = box->windowTitle();
            text = box->text();
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            EXPECT_EQ(box->parentWidget(), &window);
            box->button(QMessageBox::No)->click();
            return true;
        }
        return false;
    });
    CACM acm;
    EXPECT_EQ(acm.CompressFile(ima, dir.filePath("out.wav"), &window), 0);
    EXPECT_EQ(caption, "Format Not Supported");
    EXPECT_TRUE(text.contains("Would you like to start the Sound Recorder now?"));
    EXPECT_FALSE(QFile::exists(dir.filePath("out.wav")));
}

}  // namespace
