#include "tdinbox/ui/drawerinbox.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/message.h"
#include "tdinbox/ui/audiomessaging.h"

namespace {

constexpr UINT kInboxDrawerTemplate = 300;
constexpr int kPathRole = Qt::UserRole + 1;

QToolButton* Button(QWidget* parent, const QString& text, const QString& tip) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    return b;
}

}  // namespace

CDrawerInbox::CDrawerInbox(CAudioMessaging* controller, QWidget* barWindow)
    : CSlidingDrawer(kInboxDrawerTemplate, barWindow), controller_(controller) {
    m_pOwner = controller;
    setWindowTitle(QStringLiteral("Voicegram Box"));
    setFixedSize(QSize(520, 280));
}

int CDrawerInbox::Open(UINT edge, const QPoint& anchor, BOOL toolTips) {
    m_nEdge = edge;
    SetAnchorFromBar(anchor);
    EnableToolTips(toolTips);
    return Create();
}

BOOL CDrawerInbox::OnInitDialog() {
    if (!CSlidingDrawer::OnInitDialog())
        return 0;
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("Voicegram Box"), this);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    layout->addWidget(title, 0, Qt::AlignHCenter);

    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setColumnCount(5);
    list_->setHeaderLabels({QStringLiteral("From"), QStringLiteral("Subject"),
                            QStringLiteral("Received"), QStringLiteral("Length"),
                            QStringLiteral("Heard")});
    // The subject takes the room the other columns leave.
    list_->header()->setStretchLastSection(false);
    for (int c : {0, 2, 3, 4})
        list_->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    layout->addWidget(list_, 1);

    auto* row = new QHBoxLayout;
    play_ = Button(this, QStringLiteral("Play"), QStringLiteral("Play the voicegram"));
    stop_ = Button(this, QStringLiteral("Stop"), QStringLiteral("Stop playing"));
    heard_ = Button(this, QStringLiteral("Mark Heard"), QStringLiteral("Mark as heard or new"));
    delete_ = Button(this, QStringLiteral("Delete"), QStringLiteral("Move to the trash"));
    reply_ = Button(this, QStringLiteral("Reply"), QStringLiteral("Reply with a voicegram"));
    forward_ = Button(this, QStringLiteral("Forward"), QStringLiteral("Forward the voicegram"));
    auto* close = Button(this, QStringLiteral("Close"), QStringLiteral("Close Drawer"));
    for (QToolButton* b : {play_, stop_, heard_, delete_, reply_, forward_})
        row->addWidget(b);
    row->addStretch();
    row->addWidget(close);
    layout->addLayout(row);
    status_ = new QLabel(this);
    layout->addWidget(status_);

    connect(play_, &QToolButton::clicked, this, [this] { OnPlay(); });
    connect(stop_, &QToolButton::clicked, this, [this] { OnStop(); });
    connect(heard_, &QToolButton::clicked, this, [this] { OnMarkHeard(); });
    connect(delete_, &QToolButton::clicked, this, [this] { OnDelete(); });
    connect(reply_, &QToolButton::clicked, this, [this] { OnReply(); });
    connect(forward_, &QToolButton::clicked, this, [this] { OnForward(); });
    connect(close, &QToolButton::clicked, this, [this] { OnClose(); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { OnPlay(); });
    Refresh();
    return 1;
}

void CDrawerInbox::OnDestroyed() {
    if (controller_)
        controller_->StopList();
    SendMessage(controller_, WM_BAR_INBOXCLOSED);
}

void CDrawerInbox::Refresh() {
    if (!list_)
        return;
    const QString selected = SelectedPath();
    list_->clear();
    for (const VoicegramEntry& e : controller_->Voicegrams()) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, e.fromName.isEmpty() ? e.fromAddress : e.fromName);
        item->setToolTip(0, e.fromAddress);
        item->setText(1, e.subject.isEmpty() ? e.description : e.subject);
        if (!e.forwarded.isEmpty())
            item->setToolTip(1, e.forwarded);
        item->setText(2, e.received.isValid()
                             ? e.received.toString(QStringLiteral("yyyy/MM/dd HH:mm"))
                             : QString());
        item->setText(
            3, QStringLiteral("%1:%2").arg(e.seconds / 60).arg(e.seconds % 60, 2, 10, QChar(u'0')));
        item->setText(4, e.heard ? QStringLiteral("yes") : QStringLiteral("new"));
        QFont font = item->font(1);
        font.setBold(!e.heard);
        for (int c = 0; c < 5; ++c)
            item->setFont(c, font);
        item->setData(0, kPathRole, e.path);
        if (e.path == selected)
            list_->setCurrentItem(item);
    }
    UpdateButtons();
}

QString CDrawerInbox::SelectedPath() const {
    const QTreeWidgetItem* item = list_ ? list_->currentItem() : nullptr;
    return item && item->isSelected() ? item->data(0, kPathRole).toString() : QString();
}

void CDrawerInbox::Select(int row) {
    if (QTreeWidgetItem* item = list_ ? list_->topLevelItem(row) : nullptr) {
        list_->setCurrentItem(item);
        item->setSelected(true);
    }
}

void CDrawerInbox::UpdateButtons() {
    const bool any = !SelectedPath().isEmpty();
    for (QToolButton* b : {play_, heard_, delete_, reply_, forward_})
        if (b)
            b->setEnabled(any);
    if (stop_)
        stop_->setEnabled(controller_->IsSomethingPlaying());
}

void CDrawerInbox::OnPlay() {
    const QString path = SelectedPath();
    if (path.isEmpty())
        return;
    const bool playing = controller_->PlayVoicegram(path) != 0;
    status_->setText(playing ? QStringLiteral("Playing") : QStringLiteral("Could not play"));
    UpdateButtons();
    if (playing) {
        if (!playWatch_) {
            playWatch_ = new QTimer(this);
            playWatch_->setInterval(250);
            connect(playWatch_, &QTimer::timeout, this, [this] { WatchPlayback(); });
        }
        playWatch_->start();
    }
}

void CDrawerInbox::WatchPlayback() {
    if (controller_->IsSomethingPlaying())
        return;
    playWatch_->stop();
    if (status_->text() == QStringLiteral("Playing"))
        status_->clear();
    UpdateButtons();
}

void CDrawerInbox::OnStop() {
    controller_->StopList();
    if (playWatch_)
        playWatch_->stop();
    status_->clear();
    UpdateButtons();
}

void CDrawerInbox::OnMarkHeard() {
    const QString path = SelectedPath();
    if (!path.isEmpty())
        controller_->ToggleHeard(path);
}

void CDrawerInbox::OnDelete() {
    const QString path = SelectedPath();
    if (path.isEmpty())
        return;
    if (!controller_->DeleteEntry(path))
        status_->setText(QStringLiteral("The voicegram could not be deleted."));
}

void CDrawerInbox::OnReply() {
    const QString path = SelectedPath();
    if (!path.isEmpty() && !controller_->Reply(path))
        status_->setText(
            QStringLiteral("Close the Send Voicegram drawer's recording first, then reply."));
}

void CDrawerInbox::OnForward(const QString& addresses) {
    const QString path = SelectedPath();
    if (path.isEmpty())
        return;
    QString to = addresses;
    if (to.isEmpty()) {
        bool ok = false;
        BeginModal();
        to = QInputDialog::getText(this, QStringLiteral("Forward Voicegram"),
                                   QStringLiteral("Forward to (addresses separated by commas):"),
                                   QLineEdit::Normal, QString(), &ok);
        EndModal();
        if (!ok || to.trimmed().isEmpty())
            return;
    }
    status_->setText(controller_->Forward(path, to));
}
