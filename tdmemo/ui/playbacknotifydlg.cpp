#include "tdmemo/ui/playbacknotifydlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <ctime>

#include "tdmemo/ui/echomemos.h"

CPlaybackNotifyDlg::CPlaybackNotifyDlg(const CPlaybackNotification& note, CEchoMemos* owner)
    : QDialog(nullptr), m_Note(note), m_pOwner(owner) {
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Notification: Echo Memo Played"));

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Played at:")), 0, 0);
    m_pTime = new QLabel(FormatPlayedTime(note.raised, note.b24Hour));
    m_pTime->setObjectName(QStringLiteral("playedAt"));
    fields->addWidget(m_pTime, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Description:")), 1, 0);
    m_pDescription = new QLabel(MemoListDescription(note.record));
    m_pDescription->setObjectName(QStringLiteral("description"));
    m_pDescription->setTextFormat(Qt::PlainText);
    m_pDescription->setWordWrap(true);
    fields->addWidget(m_pDescription, 1, 1);

    auto* playAgain = new QPushButton(QStringLiteral("&Play Again"));
    playAgain->setObjectName(QStringLiteral("playAgain"));
    auto* stop = new QPushButton(QStringLiteral("&Stop"));
    stop->setObjectName(QStringLiteral("stop"));
    auto* close = new QPushButton(QStringLiteral("&Close"));
    close->setObjectName(QStringLiteral("close"));
    close->setDefault(true);
    connect(playAgain, &QPushButton::clicked, this, [this] { OnPlayAgain(); });
    connect(stop, &QPushButton::clicked, this, [this] { OnStop(); });
    connect(close, &QPushButton::clicked, this, [this] { OnCloseButton(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(playAgain);
    buttons->addWidget(stop);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
}

CPlaybackNotifyDlg::~CPlaybackNotifyDlg() = default;

QString CPlaybackNotifyDlg::DescriptionText() const {
    return m_pDescription->text();
}

QString CPlaybackNotifyDlg::TimeText() const {
    return m_pTime->text();
}

QString CPlaybackNotifyDlg::FormatPlayedTime(time_t when, BOOL b24Hour) {
    tm local{};
    if (!localtime_r(&when, &local))
        return {};
    char text[64];
    const std::size_t n =
        std::strftime(text, sizeof text, b24Hour ? "%x %X" : "%x %I:%M %p", &local);
    return QString::fromLocal8Bit(text, static_cast<qsizetype>(n));
}

void CPlaybackNotifyDlg::OnPlayAgain() {
    if (!m_pOwner)
        return;
    m_pOwner->PurgePlayList();
    m_pOwner->AddToPlayList(MemoListPath(m_Note.record));
    if (!m_pOwner->IsSomethingPlaying())
        m_pOwner->PlayList(0);
}

void CPlaybackNotifyDlg::OnStop() {
    if (m_pOwner && m_pOwner->IsSomethingPlaying())
        m_pOwner->StopList();
}

void CPlaybackNotifyDlg::OnCloseButton() {
    close();
}

void CPlaybackNotifyDlg::keyPressEvent(QKeyEvent* event) {
    // There is no help for this window: the help key does nothing.
    if (event->key() == Qt::Key_F1) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CPlaybackNotifyDlg::reject() {
    // Every way of closing comes here: "&Close", the window's close button, Escape.
    OnStop();
    QDialog::reject();
}
