// The Fixit Guide's dialog: the controls of the guide's screen, laid out as one fixed
// page, and the drawings of its pictures and icons.
#include "tdmend/ui/fixitguidedlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>

#include "tdkit/settings/paths.h"
#include "tdmend/guidedevices.h"
#include "tdmend/guideengine.h"

namespace {

// The page's geometry.
constexpr QRect kTitleRect(7, 7, 626, 43);
constexpr int kBodyLeft = 195, kBodyTop = 58, kBodyWidth = 435;
constexpr int kTopicTop = 250, kTopicStep = 28, kTopicHeight = 26;
constexpr int kQuestionTop = 398;
constexpr int kVisitedMarkOffset = 20;
constexpr int kTickMs = 100;

const char* const kTopicCaptions[5] = {"1.  Common Problems / Solutions", "2.  Wave File Playback",
                                       "3.  MIDI File Playback", "4.  Audio CD Playback",
                                       "5.  Microphone Recording"};

// Colours and glyph of each frame picture.
struct PictureStyle {
    QColor colour;
    enum Glyph {
        Speaker,
        Note,
        Disc,
        Microphone,
        Chip,
        Check,
        Question,
        Plug,
        Gear,
        Lock,
        Book,
        Wave,
        Server
    } glyph;
};

PictureStyle StyleOf(int n) {
    switch (n) {
        case 1:
            return {QColor(0x2e, 0x6f, 0xb5), PictureStyle::Speaker};
        case 2:
            return {QColor(0xb5, 0x4a, 0x2e), PictureStyle::Chip};
        case 3:
            return {QColor(0x6a, 0x3d, 0x9a), PictureStyle::Note};
        case 4:
            return {QColor(0x1f, 0x8a, 0x8a), PictureStyle::Disc};
        case 5:
            return {QColor(0xa0, 0x52, 0x2d), PictureStyle::Wave};
        case 6:
            return {QColor(0x3b, 0x7d, 0x3b), PictureStyle::Question};
        case 7:
            return {QColor(0x2e, 0x8b, 0x57), PictureStyle::Check};
        case 8:
            return {QColor(0x4a, 0x6f, 0x8a), PictureStyle::Question};
        case 9:
            return {QColor(0x55, 0x55, 0x99), PictureStyle::Server};
        case 10:
            return {QColor(0x5a, 0x6b, 0x7c), PictureStyle::Gear};
        case 11:
            return {QColor(0xb0, 0x30, 0x60), PictureStyle::Microphone};
        case 12:
            return {QColor(0x8a, 0x6d, 0x1f), PictureStyle::Plug};
        case 13:
            return {QColor(0x2e, 0x5f, 0x95), PictureStyle::Speaker};
        case 14:
            return {QColor(0x7a, 0x4d, 0x9a), PictureStyle::Note};
        case 15:
            return {QColor(0x1f, 0x7a, 0x6a), PictureStyle::Disc};
        case 16:
            return {QColor(0x80, 0x60, 0x20), PictureStyle::Lock};
        case 17:
            return {QColor(0x60, 0x60, 0x60), PictureStyle::Chip};
        case 18:
            return {QColor(0x2e, 0x7f, 0xc5), PictureStyle::Wave};
        default:
            return {QColor(0x50, 0x50, 0x70), PictureStyle::Book};
    }
}

void DrawGlyph(QPainter& p, PictureStyle::Glyph glyph, const QRectF& r, int waves = 3) {
    const qreal s = qMin(r.width(), r.height());
    const QPointF c = r.center();
    p.save();
    p.translate(c);
    p.scale(s / 100.0, s / 100.0);
    QPen pen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::white);
    switch (glyph) {
        case PictureStyle::Speaker: {
            QPainterPath path;
            path.moveTo(-35, -12);
            path.lineTo(-20, -12);
            path.lineTo(0, -30);
            path.lineTo(0, 30);
            path.lineTo(-20, 12);
            path.lineTo(-35, 12);
            path.closeSubpath();
            p.drawPath(path);
            p.setBrush(Qt::NoBrush);
            for (int i = 0; i < waves; ++i)
                p.drawArc(QRectF(-10 - 12 * i, -20 - 10 * i, 40 + 24 * i, 40 + 20 * i), -45 * 16,
                          90 * 16);
            break;
        }
        case PictureStyle::Note:
            p.drawEllipse(QRectF(-30, 12, 22, 16));
            p.drawEllipse(QRectF(8, 4, 22, 16));
            p.drawLine(QPointF(-9, 20), QPointF(-9, -30));
            p.drawLine(QPointF(29, 12), QPointF(29, -38));
            p.drawLine(QPointF(-9, -30), QPointF(29, -38));
            break;
        case PictureStyle::Disc:
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(-35, -35, 70, 70));
            p.drawEllipse(QRectF(-8, -8, 16, 16));
            p.drawArc(QRectF(-24, -24, 48, 48), 30 * 16, 60 * 16);
            break;
        case PictureStyle::Microphone: {
            p.drawRoundedRect(QRectF(-12, -38, 24, 44), 12, 12);
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(-24, -20, 48, 40), 180 * 16, 180 * 16);
            p.drawLine(QPointF(0, 20), QPointF(0, 34));
            p.drawLine(QPointF(-14, 34), QPointF(14, 34));
            for (int i = 0; i < waves; ++i)
                p.drawArc(QRectF(26 + 8 * i, -30 - 4 * i, 10, 40 + 8 * i), -60 * 16, 120 * 16);
            break;
        }
        case PictureStyle::Chip:
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(-25, -25, 50, 50));
            for (int i = -15; i <= 15; i += 15) {
                p.drawLine(QPointF(i, -25), QPointF(i, -38));
                p.drawLine(QPointF(i, 25), QPointF(i, 38));
                p.drawLine(QPointF(-25, i), QPointF(-38, i));
                p.drawLine(QPointF(25, i), QPointF(38, i));
            }
            break;
        case PictureStyle::Check:
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(Qt::white, 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPolyline(QPolygonF({QPointF(-30, 0), QPointF(-8, 24), QPointF(32, -26)}));
            break;
        case PictureStyle::Question: {
            QFont f = p.font();
            f.setPixelSize(80);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRectF(-50, -50, 100, 100), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
        case PictureStyle::Plug:
            p.drawRoundedRect(QRectF(-18, -20, 36, 30), 6, 6);
            p.drawLine(QPointF(-8, -20), QPointF(-8, -38));
            p.drawLine(QPointF(8, -20), QPointF(8, -38));
            p.setBrush(Qt::NoBrush);
            p.drawLine(QPointF(0, 10), QPointF(0, 24));
            p.drawArc(QRectF(0, 14, 40, 28), 90 * 16, 90 * 16);
            break;
        case PictureStyle::Gear:
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(-22, -22, 44, 44));
            p.drawEllipse(QRectF(-8, -8, 16, 16));
            for (int a = 0; a < 360; a += 45) {
                p.save();
                p.rotate(a);
                p.drawLine(QPointF(0, -22), QPointF(0, -34));
                p.restore();
            }
            break;
        case PictureStyle::Lock:
            p.drawRoundedRect(QRectF(-26, -6, 52, 40), 6, 6);
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(-18, -36, 36, 60), 0, 180 * 16);
            break;
        case PictureStyle::Book:
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(-32, -28, 30, 56));
            p.drawRect(QRectF(2, -28, 30, 56));
            for (int y = -16; y <= 16; y += 10) {
                p.drawLine(QPointF(-26, y), QPointF(-8, y));
                p.drawLine(QPointF(8, y), QPointF(26, y));
            }
            break;
        case PictureStyle::Wave: {
            p.setBrush(Qt::NoBrush);
            QPainterPath path;
            path.moveTo(-40, 0);
            for (int x = -40; x <= 40; ++x)
                path.lineTo(x, 25 * std::sin(x / 6.0) * (1 - std::abs(x) / 48.0));
            p.drawPath(path);
            break;
        }
        case PictureStyle::Server:
            p.setBrush(Qt::NoBrush);
            for (int y = -30; y <= 10; y += 20) {
                p.drawRoundedRect(QRectF(-30, y, 60, 16), 4, 4);
                p.drawPoint(QPointF(20, y + 8));
            }
            break;
    }
    p.restore();
}

}  // namespace

QPixmap CFixitGuideDlg::FramePicture(int n, QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const PictureStyle style = StyleOf(n);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, style.colour.lighter(130));
    g.setColorAt(1, style.colour.darker(120));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)).adjusted(1, 1, -1, -1), 10, 10);
    DrawGlyph(p, style.glyph, QRectF(QPointF(0, 0), QSizeF(size)).adjusted(15, 15, -15, -15));
    return pixmap;
}

QPixmap CFixitGuideDlg::Icon(int id, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0, 0, size, size);
    auto disc = [&](QColor c) {
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(r.adjusted(1, 1, -1, -1));
    };
    // Speaker phases 136, 161, 162, 163 (0..3 waves) and the rest icon 144; microphone
    // phases 164, 165, 142, 143.
    const int speakerWaves[] = {136, 161, 162, 163};
    const int microphoneWaves[] = {164, 165, 142, 143};
    for (int i = 0; i < 4; ++i) {
        if (id == speakerWaves[i]) {
            disc(QColor(0x2e, 0x6f, 0xb5));
            DrawGlyph(p, PictureStyle::Speaker, r.adjusted(4, 4, -4, -4), i);
            return pixmap;
        }
        if (id == microphoneWaves[i]) {
            disc(QColor(0xb0, 0x30, 0x60));
            DrawGlyph(p, PictureStyle::Microphone, r.adjusted(4, 4, -4, -4), i);
            return pixmap;
        }
    }
    switch (id) {
        case 144:  // at rest
            disc(QColor(0x80, 0x80, 0x80));
            DrawGlyph(p, PictureStyle::Speaker, r.adjusted(4, 4, -4, -4), 0);
            break;
        case 152:  // the visited mark
            p.setPen(QPen(QColor(0x00, 0x80, 0x00), size / 6.0, Qt::SolidLine, Qt::RoundCap));
            p.drawPolyline(
                QPolygonF({QPointF(size * 0.15, size * 0.55), QPointF(size * 0.4, size * 0.8),
                           QPointF(size * 0.85, size * 0.2)}));
            break;
        case 148:  // Play
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x20, 0x90, 0x20));
            p.drawPolygon(
                QPolygonF({QPointF(size * 0.2, size * 0.15), QPointF(size * 0.85, size * 0.5),
                           QPointF(size * 0.2, size * 0.85)}));
            break;
        case 354:  // Record
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xd0, 0x20, 0x20));
            p.drawEllipse(r.adjusted(size * 0.2, size * 0.2, -size * 0.2, -size * 0.2));
            break;
        case 129:  // beside the question
            disc(QColor(0x2e, 0x6f, 0xb5));
            DrawGlyph(p, PictureStyle::Question, r.adjusted(2, 2, -2, -2));
            break;
        default:
            break;
    }
    return pixmap;
}

CFixitGuideDlg::CFixitGuideDlg(CMixMgr* mixer, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Fixit Guide"));
    setWindowFlag(Qt::WindowStaysOnTopHint, false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(640, 470);

    auto button = [this](const QString& text, QRect geometry, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setGeometry(geometry);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    auto label = [this](QRect geometry, const char* name) {
        auto* l = new QLabel(this);
        l->setGeometry(geometry);
        l->setObjectName(QLatin1String(name));
        return l;
    };

    picture_ = label(QRect(7, kBodyTop, 170, 150), "picture");
    status_ = label(QRect(7, 217, 32, 32), "status");
    play_ = button(QStringLiteral("Play"), QRect(45, 215, 130, 28), "play");
    play_->setIcon(QIcon(Icon(148, 16)));
    record_ = button(QStringLiteral(" Record"), QRect(45, 247, 130, 28), "record");
    record_->setIcon(QIcon(Icon(354, 16)));
    volumeLabel_ = label(QRect(7, 285, 170, 18), "volumeLabel");
    slider_ = new QSlider(Qt::Vertical, this);
    slider_->setObjectName(QStringLiteral("slider"));
    slider_->setGeometry(20, 305, 24, 110);
    slider_->setRange(0, 65535);
    slider_->setInvertedAppearance(true);  // position 0, the loudest, at the top
    slider_->setInvertedControls(true);
    upDown_ = new QSpinBox(this);
    upDown_->setObjectName(QStringLiteral("upDown"));
    upDown_->setGeometry(60, 330, 70, 26);
    upDown_->setRange(0, 32);
    mute_ = new QCheckBox(QStringLiteral("Mute"), this);
    mute_->setObjectName(QStringLiteral("mute"));
    mute_->setGeometry(60, 370, 100, 22);

    body_ = label(QRect(kBodyLeft, kBodyTop, kBodyWidth, 330), "body");
    body_->setWordWrap(true);
    body_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    body_->setTextFormat(Qt::PlainText);
    for (int i = 0; i < 5; ++i) {
        topics_[i] = button(QLatin1String(kTopicCaptions[i]),
                            QRect(kBodyLeft, kTopicTop + i * kTopicStep, 300, kTopicHeight),
                            QByteArray("topic" + QByteArray::number(i + 1)).constData());
        topics_[i]->setStyleSheet(QStringLiteral("text-align: left; padding-left: 8px;"));
    }
    smallPicture_ = label(QRect(kBodyLeft, kQuestionTop, 20, 20), "smallPicture");
    smallPicture_->setPixmap(Icon(129, 20));
    question_ = label(QRect(kBodyLeft + 25, kQuestionTop, kBodyWidth - 25, 22), "question");
    question_->setTextFormat(Qt::PlainText);
    frameNumber_ = label(QRect(7, 420, 60, 18), "frameNumber");

    help_ = button(QStringLiteral("Help"), QRect(7, 432, 80, 28), "help");
    back_ = button(QStringLiteral("<- Back"), QRect(kBodyLeft - 20, 432, 85, 28), "back");
    yes_ = button(QStringLiteral("Yes"), QRect(270, 432, 85, 28), "yes");
    no_ = button(QStringLiteral("No"), QRect(360, 432, 85, 28), "no");
    next_ = button(QStringLiteral("Next ->"), QRect(450, 432, 85, 28), "next");
    exit_ = button(QStringLiteral("Exit"), QRect(545, 432, 85, 28), "exit");

    // The engine, its devices and database.
    db_ = LoadData();
    devices_ = std::make_unique<CGuideDevices>();
    devices_->showCards = [this](const QString& report) {
        QMessageBox::information(this, QStringLiteral("Sound Cards"), report);
    };
    devices_->openHelp = [this](const QString& file, const QString& keyword) {
        OpenHelp(file, keyword);
    };
    devices_->showError = [this](const QString& caption, const QString& text) {
        QMessageBox::critical(this, caption, text);
    };
    const auto recording = GetTempRecordFilename();
    if (!recording) {
        startFailed_ = true;
        return;
    }
    recordingPath_ = *recording;
    engine_ = std::make_unique<CGuideEngine>(mixer, db_.get(), devices_.get(), recordingPath_);
    engine_->SetQuitHandler([this] {
        timer_->stop();
        done(QDialog::Accepted);
    });

    connect(yes_, &QPushButton::clicked, this, [this] { Run(&CGuideEngine::OnYesBtn); });
    connect(no_, &QPushButton::clicked, this, [this] { Run(&CGuideEngine::OnNoBtn); });
    connect(next_, &QPushButton::clicked, this, [this] { Run(&CGuideEngine::OnNextBtn); });
    connect(back_, &QPushButton::clicked, this, [this] { Run(&CGuideEngine::OnBackBtn); });
    connect(play_, &QPushButton::clicked, this, [this] { Run(&CGuideEngine::OnPlayBtn); });
    connect(record_, &QPushButton::clicked, this, [this] { Run(&CGuideEngine::OnRecordBtn); });
    connect(help_, &QPushButton::clicked, this, [this] { Run(&CGuideEngine::OnHelpBtn); });
    connect(exit_, &QPushButton::clicked, this, &CFixitGuideDlg::reject);
    for (int i = 0; i < 5; ++i)
        connect(topics_[i], &QPushButton::clicked, this, [this, i] {
            engine_->OnTopic(i + 1);
            Refresh();
        });
    connect(slider_, &QSlider::valueChanged, this, [this](int value) {
        if (refreshing_)
            return;
        engine_->OnSlider(value);
        Refresh();
    });
    connect(upDown_, &QSpinBox::valueChanged, this, [this](int value) {
        if (refreshing_)
            return;
        engine_->OnUpDown(value);
        Refresh();
    });
    connect(mute_, &QCheckBox::clicked, this, [this] { Run(&CGuideEngine::OnMuteCheck); });

    timer_ = new QTimer(this);
    timer_->setInterval(kTickMs);
    connect(timer_, &QTimer::timeout, this, [this] { Run(&CGuideEngine::OnTimer); });

    engine_->LoadFirstFrame();
    Refresh();
    timer_->start();
}

CFixitGuideDlg::~CFixitGuideDlg() {
    // The engine stops the tests first, then the devices close the players and recorder.
    engine_.reset();
    devices_.reset();
    if (!recordingPath_.isEmpty())
        QFile::remove(recordingPath_);
}

int CFixitGuideDlg::exec() {
    if (startFailed_)
        return -1;
    return QDialog::exec();
}

void CFixitGuideDlg::Run(void (CGuideEngine::*handler)()) {
    if (!engine_)
        return;
    (engine_.get()->*handler)();
    Refresh();
}

void CFixitGuideDlg::reject() {
    if (engine_ && !engine_->HasQuit())
        engine_->OnQuit();  // ends the dialog through the quit handler
    else
        QDialog::reject();
}

void CFixitGuideDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        Run(&CGuideEngine::OnHelpBtn);
        return;
    }
    QDialog::keyPressEvent(event);
}

void CFixitGuideDlg::OpenHelp(const QString& file, const QString& keyword) {
    QString path;
    if (!GetWizardHelpFilePath(path))
        return;
    QUrl url = QUrl::fromLocalFile(path);
    // The old help targets name a topic by keyword; the page has one anchor per topic.
    if (!file.isEmpty() && !keyword.isEmpty())
        url.setFragment(keyword.simplified().toLower().replace(u' ', u'-'));
    QDesktopServices::openUrl(url);
}

void CFixitGuideDlg::Refresh() {
    if (!engine_)
        return;
    const GuideScreen& s = engine_->Screen();
    refreshing_ = true;
    auto apply = [](QPushButton* b, const GuideButton& state) {
        b->setVisible(state.visible);
        b->setEnabled(state.enabled);
        b->setText(state.caption);
    };
    apply(yes_, s.yes);
    apply(no_, s.no);
    apply(next_, s.next);
    apply(play_, s.play);
    apply(record_, s.record);
    back_->setEnabled(s.backEnabled);
    status_->setVisible(s.statusVisible);
    status_->setEnabled(s.statusEnabled);
    if (s.statusIcon != shownIcon_) {
        status_->setPixmap(Icon(s.statusIcon));
        shownIcon_ = s.statusIcon;
    }
    if (s.picture != shownPicture_ && s.picture > 0) {
        picture_->setPixmap(FramePicture(s.picture, picture_->size()));
        shownPicture_ = s.picture;
    }
    volumeLabel_->setVisible(s.volumeVisible);
    volumeLabel_->setText(s.volumeLabel);
    for (QWidget* w : {static_cast<QWidget*>(slider_), static_cast<QWidget*>(upDown_),
                       static_cast<QWidget*>(mute_)}) {
        w->setVisible(s.volumeVisible);
        w->setEnabled(s.volumeEnabled && s.sliderEnabled);
    }
    slider_->setValue(s.sliderPosition);
    upDown_->setValue(s.upDownPosition);
    mute_->setChecked(s.muteChecked);
    for (QPushButton* t : topics_) {
        t->setVisible(s.topicsVisible);
        t->setEnabled(s.topicsEnabled);
    }
    question_->setVisible(s.questionVisible);
    question_->setText(s.question.trimmed());
    smallPicture_->setVisible(s.smallPictureVisible);
    frameNumber_->setText(s.frameNumber);
    // The body reaches down past the topic buttons' place when they are not shown (1), to
    // their top when they are (2), else to just above the question line.
    int bottom = kQuestionTop - 10;
    if (s.layout == 1)
        bottom = kTopicTop + 4 * kTopicStep + kTopicHeight;
    else if (s.layout == 2)
        bottom = kTopicTop - 6;
    body_->setGeometry(kBodyLeft, kBodyTop, kBodyWidth, bottom - kBodyTop);
    body_->setText(s.body);
    refreshing_ = false;
    update(kTitleRect);
    update(QRect(kBodyLeft - kVisitedMarkOffset - 2, kTopicTop, 20, 5 * kTopicStep));
}

void CFixitGuideDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (!engine_)
        return;
    QPainter p(this);
    const GuideScreen& s = engine_->Screen();
    p.fillRect(kTitleRect, palette().color(QPalette::Button));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(28);
    font.setBold(true);
    p.setFont(font);
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(kTitleRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, s.title);
    // The visited marks beside the topic buttons on the topic menu.
    if (s.layout == 2 && s.topicsVisible) {
        const QPixmap mark = Icon(152, 16);
        for (int i = 0; i < 5; ++i)
            if (s.topicVisited[i])
                p.drawPixmap(kBodyLeft - kVisitedMarkOffset, kTopicTop + i * kTopicStep + 5, mark);
    }
}
