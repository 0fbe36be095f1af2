#include "tonedeck/dialogs.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "tdkit/settings/paths.h"
#include "tonedeck/artwork.h"

namespace {

// F1 opens the help file in every dialog of the bar.
bool HandleHelpKey(QKeyEvent* event, const QWidget* dialog) {
    if (event->key() != Qt::Key_F1)
        return false;
    OpenHelpFile(dialog);
    return true;
}

std::function<bool(const QString&)>& HelpPageOpener() {
    static std::function<bool(const QString&)> open;
    return open;
}

std::function<void(const QString&)>& HelpPageNotice() {
    static std::function<void(const QString&)> tell;
    return tell;
}

// Puts a dialog in the middle of the work area of the bar's screen.
void CentreOnBarScreen(QWidget* dialog, const QWidget* bar) {
    const QScreen* screen = bar ? bar->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    dialog->move(area.left() + (area.width() - dialog->width()) / 2,
                 area.top() + (area.height() - dialog->height()) / 2);
}

// Keeps a dialog where it was put as it is shown. A window manager busy as the dialog maps
// may still place it by a rule of its own (it has been seen in the screen's corner); the
// dialog is then put back, looked at twice in its first half second.
class PlacementKeeper : public QObject {
public:
    explicit PlacementKeeper(QWidget* dialog) : QObject(dialog), dialog_(dialog) {
        setObjectName(QStringLiteral("placementKeeper"));
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == dialog_ && event->type() == QEvent::Show) {
            const QRect where = dialog_->geometry();
            for (int ms : {100, 400}) {
                QTimer::singleShot(ms, this, [this, where] {
                    if (dialog_->isVisible() && dialog_->geometry().topLeft() != where.topLeft())
                        dialog_->setGeometry(QRect(where.topLeft(), dialog_->size()));
                });
            }
        }
        return false;
    }

private:
    QWidget* dialog_;
};

// A message box of the bar: text, icon and OK, its text selectable.
class BarMessageBox : public QMessageBox {
public:
    BarMessageBox(QMessageBox::Icon icon, const QString& caption, const QString& text)
        : QMessageBox(icon, caption, text, QMessageBox::Ok) {
        setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
};

// A message box settles its size only as it is shown. A twin of it is shown off the screen
// first for that size, so that the box itself is placed once, at its final size, before
// the window manager sees it.
QSize ShownSize(QMessageBox::Icon icon, const QString& caption, const QString& text) {
    BarMessageBox twin(icon, caption, text);
    twin.setAttribute(Qt::WA_DontShowOnScreen);
    twin.show();
    const QSize size = twin.size();
    twin.hide();
    return size;
}

}  // namespace

void PrepareBarDialog(QDialog* dialog, const QWidget* bar) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
    if (dialog->layout())
        dialog->layout()->setSizeConstraint(QLayout::SetFixedSize);
    dialog->adjustSize();
    dialog->setFixedSize(dialog->size());
    CentreOnBarScreen(dialog, bar);
    if (!dialog->findChild<QObject*>(QStringLiteral("placementKeeper"), Qt::FindDirectChildrenOnly))
        new PlacementKeeper(dialog);
}

void ShowBarMessage(const QWidget* bar, int icon, const QString& caption, const QString& text) {
    const auto kind = static_cast<QMessageBox::Icon>(icon);
    BarMessageBox box(kind, caption, text);
    PrepareBarDialog(&box, bar);
    box.setFixedSize(ShownSize(kind, caption, text));
    CentreOnBarScreen(&box, bar);
    box.exec();
}

void SetHelpPageOpener(std::function<bool(const QString& path)> open) {
    HelpPageOpener() = std::move(open);
}

void SetHelpPageNotice(std::function<void(const QString& text)> tell) {
    HelpPageNotice() = std::move(tell);
}

QString HelpPageNotOpenedText(const QString& path) {
    return QStringLiteral(
               "No web browser could be started to show this help page. You can open it "
               "yourself; it is at:\n\n%1")
        .arg(QDir::toNativeSeparators(path));
}

bool OpenHelpPage(const QString& name, const QWidget* parent, unsigned topic) {
    QString dir;
    QString text;
    bool opened = false;
    if (!GetTonedeckHelpDirectory(dir)) {
        text =
            QStringLiteral("The help pages cannot be found: Tonedeck's data folder is not set up.");
    } else {
        const QString path = QDir(dir).filePath(name);
        if (!QFileInfo::exists(path))
            InstallHelpPages();
        if (!QFileInfo::exists(path)) {
            text =
                QStringLiteral("The help page %1 is missing.").arg(QDir::toNativeSeparators(path));
        } else {
            const QString anchor = topic ? QStringLiteral("topic-%1").arg(topic) : QString();
            QUrl url = QUrl::fromLocalFile(path);
            if (topic)
                url.setFragment(anchor);
            opened = HelpPageOpener() ? HelpPageOpener()(topic ? path + u'#' + anchor : path)
                                      : QDesktopServices::openUrl(url);
            if (!opened)
                text = HelpPageNotOpenedText(path);
        }
    }
    if (!opened) {
        if (HelpPageNotice())
            HelpPageNotice()(text);
        else
            ShowBarMessage(parent, QMessageBox::Information, QStringLiteral("Tonedeck Help"), text);
    }
    return opened;
}

bool InstallHelpPages() {
    QString dir;
    if (!GetTonedeckHelpDirectory(dir) || !QDir().mkpath(dir))
        return false;
    bool ok = true;
    for (const char* name : kHelpPages) {
        QFile page(QStringLiteral(":/help/") + QLatin1String(name));
        if (!page.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = page.readAll();
        const QString target = dir + u'/' + QLatin1String(name);
        QFile existing(target);
        if (existing.open(QIODevice::ReadOnly) && existing.readAll() == text)
            continue;
        QSaveFile out(target);
        ok = out.open(QIODevice::WriteOnly) && out.write(text) == text.size() && out.commit() && ok;
    }
    return ok;
}

void OpenHelpFile(const QWidget* parent) {
    QString path;
    OpenHelpPage(GetTonedeckHelpFilePath(path) ? QFileInfo(path).fileName()
                                               : QStringLiteral("Tonedeck.html"),
                 parent);
}

CSplashDlg::CSplashDlg() : QDialog(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setWindowTitle(QStringLiteral("Tonedeck"));
    auto* picture = new QLabel(this);
    picture->setPixmap(SplashPicture(360, 200));
    auto* title = new QLabel(QStringLiteral("Tonedeck"), this);
    QFont font = title->font();
    font.setPointSize(font.pointSize() * 2);
    font.setBold(true);
    title->setFont(font);
    title->setAttribute(Qt::WA_TranslucentBackground);
    title->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    title->move(190, 40);
    setFixedSize(360, 200);
    // Centre on the screen's work area.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.left() + area.width() / 2 - width() / 2,
             area.top() + area.height() / 2 - height() / 2);
    }
}

void CSplashDlg::keyPressEvent(QKeyEvent* event) {
    if (!HandleHelpKey(event, this))
        QDialog::keyPressEvent(event);
}

CWelcomeDlg::CWelcomeDlg(std::function<void()> runFixitGuide, QWidget* parent)
    : QDialog(parent), runFixitGuide_(std::move(runFixitGuide)) {
    setWindowTitle(QStringLiteral("Welcome to Tonedeck"));
    auto* grid = new QGridLayout(this);
    auto addRow = [&](int row, const QPixmap& picture, const QString& text, const QString& button,
                      int id, std::function<void()> action) {
        auto* pic = new QLabel(this);
        pic->setPixmap(picture);
        auto* label = new QLabel(text, this);
        label->setWordWrap(true);
        auto* push = new QPushButton(button, this);
        push->setObjectName(QStringLiteral("button%1").arg(id));
        connect(push, &QPushButton::clicked, this, std::move(action));
        grid->addWidget(pic, row, 0);
        grid->addWidget(label, row, 1);
        grid->addWidget(push, row, 2);
        return push;
    };
    addRow(
        0, WelcomeTutorialPicture(),
        QStringLiteral("The tutorial provides you with a quick overview on how to use Tonedeck."),
        QStringLiteral("View the Tutorial"), 1096,
        [this] { OpenHelpPage(QLatin1String(kTutorialPage), this); });
    addRow(1, QPixmap(),
           QStringLiteral(
               "The release notes have the latest information about this version of Tonedeck. "
               "The release notes are always available in the Quorvane Tonedeck folder on the "
               "Start/Programs menu."),
           QStringLiteral("Read Release Notes"), 1095,
           [this] { OpenHelpPage(QLatin1String(kReleaseNotesPage), this); });
    QPushButton* fixit = addRow(
        2, WelcomeFixitPicture(),
        QStringLiteral(
            "We suggest you run the Fixit Guide now to fix any problems with your PC's sound "
            "system.  Later, you can run the Fixit Guide from the Tonedeck popup menu."),
        QStringLiteral("Run the Fixit Guide"), 1097, [this] {
            if (runFixitGuide_)
                runFixitGuide_();
        });
    fixit->setEnabled(static_cast<bool>(runFixitGuide_));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("button2"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    grid->addWidget(close, 3, 2);
    grid->setColumnStretch(1, 1);
    setMinimumWidth(520);
    PrepareBarDialog(this, parent);
}

void CWelcomeDlg::keyPressEvent(QKeyEvent* event) {
    if (!HandleHelpKey(event, this))
        QDialog::keyPressEvent(event);
}

CNoMailDlg::CNoMailDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("No Mail System Detected"));
    auto* layout = new QVBoxLayout(this);
    auto* text =
        new QLabel(QStringLiteral("Tonedeck did not detect a mail system that is needed to operate "
                                  "Voicegram.\nAll Voicegram related functions will be disabled."),
                   this);
    layout->addWidget(text);
    check_ = new QCheckBox(QStringLiteral("Don't display this message again."), this);
    layout->addWidget(check_);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignRight);
    PrepareBarDialog(this, parent);
}

bool CNoMailDlg::dontShowAgain() const {
    return check_->isChecked();
}
void CNoMailDlg::setDontShowAgain(bool value) {
    check_->setChecked(value);
}

void CNoMailDlg::keyPressEvent(QKeyEvent* event) {
    if (!HandleHelpKey(event, this))
        QDialog::keyPressEvent(event);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Quorvane Tonedeck"));
    auto* layout = new QGridLayout(this);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture1039"));
    picture->setPixmap(SplashPicture(160, 90));
    layout->addWidget(picture, 0, 0, 2, 1);
    auto* name = new QLabel(QStringLiteral("Quorvane Tonedeck"), this);
    QFont font = name->font();
    font.setBold(true);
    name->setFont(font);
    layout->addWidget(name, 0, 1);
    layout->addWidget(new QLabel(VersionText(), this), 1, 1);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 2, 1, Qt::AlignRight);
    PrepareBarDialog(this, parent);
}

QString CAboutDlg::VersionText() {
    return QStringLiteral("Version 1.10,  November 8, 1996");
}

void CAboutDlg::keyPressEvent(QKeyEvent* event) {
    if (!HandleHelpKey(event, this))
        QDialog::keyPressEvent(event);
}
