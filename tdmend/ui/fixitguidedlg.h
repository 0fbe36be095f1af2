// CFixitGuideDlg: the Fixit Guide, a modal dialog that walks the user through the guide's
// frames: questions, sound tests, the mixer's abilities and repairs of volume and mute.
// What it does lives in CGuideEngine; the dialog lays out the controls, forwards their
// input and the 100 ms timer, and draws what the engine's screen holds.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>

#include <array>
#include <memory>

class CMixMgr;
class CGuideEngine;
class CGuideDevices;
class CFixitGuideDatabase;
class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;

class CFixitGuideDlg : public QDialog {
    Q_OBJECT
public:
    // mixer may be null: the guide then makes a mixer manager of its own.
    explicit CFixitGuideDlg(CMixMgr* mixer, QWidget* parent = nullptr);
    ~CFixitGuideDlg() override;

    // -1 without showing anything when the guide could not start (no name for the
    // temporary recording could be had).
    int exec() override;

    CGuideEngine* engine() const { return engine_.get(); }
    // The picture of frame picture n (1..19) and the icons by their resource numbers.
    static QPixmap FramePicture(int n, QSize size);
    static QPixmap Icon(int id, int size = 32);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;  // Escape and Exit

private:
    void Refresh();
    void Run(void (CGuideEngine::*handler)());
    void OpenHelp(const QString& file, const QString& keyword);

    std::unique_ptr<CFixitGuideDatabase> db_;
    std::unique_ptr<CGuideDevices> devices_;
    std::unique_ptr<CGuideEngine> engine_;
    QString recordingPath_;
    bool startFailed_ = false;
    bool refreshing_ = false;

    std::array<QPushButton*, 5> topics_{};
    QPushButton *yes_, *no_, *next_, *back_, *exit_, *help_, *play_, *record_;
    QSlider* slider_;
    QSpinBox* upDown_;
    QCheckBox* mute_;
    QLabel *volumeLabel_, *body_, *question_, *picture_, *status_, *smallPicture_, *frameNumber_;
    QTimer* timer_;
    int shownPicture_ = -1;
    int shownIcon_ = -1;
};
