#include "tdkit/ui/clipboard.h"

#include <QClipboard>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "platform/trace.h"

namespace {

QByteArray NulList(const QStringList& items) {
    QByteArray block;
    for (const QString& s : items) {
        block += QFile::encodeName(s);
        block += '\0';
    }
    block += '\0';
    return block;
}

QStringList FromNulList(const QByteArray& block) {
    QStringList items;
    for (const QByteArray& part : block.split('\0'))
        if (!part.isEmpty())
            items << QFile::decodeName(part);
    return items;
}

QStringList LocalFiles(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& u : urls)
        if (u.isLocalFile())
            paths << u.toLocalFile();
    return paths;
}

}  // namespace

int CClipboard::CacheFilename(QMimeData* data, const QStringList& paths, const QStringList& names,
                              const QPoint&) {
    if (!data || paths.isEmpty())
        return 0;
    QList<QUrl> urls;
    QByteArray copied("copy");
    for (const QString& p : paths) {
        const QUrl url = QUrl::fromLocalFile(QFileInfo(p).absoluteFilePath());
        urls << url;
        copied += '\n';
        copied += url.toEncoded();
    }
    data->setUrls(urls);
    data->setData(QLatin1String(kCopiedFilesFormat), copied);
    data->setData(QLatin1String(kFileNameMapFormat), NulList(names.isEmpty() ? paths : names));
    data->setData(QLatin1String(kFileNameFormat), NulList(paths));
    if (paths.size() == 1 && IsReadableWavFile(paths.first()) &&
        QFileInfo(paths.first()).size() <= kMaxInlineWavBytes) {
        QFile f(paths.first());
        if (f.open(QIODevice::ReadOnly))
            data->setData(QLatin1String(kWavFormat), f.readAll());
    }
    return data->hasFormat(QLatin1String(kFileNameMapFormat)) ? 1 : 0;
}

int CClipboard::Copy(const QStringList& paths, const QStringList& names, const QPoint& point) {
    auto* data = new QMimeData;
    if (!CacheFilename(data, paths, names, point)) {
        delete data;
        return 0;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        delete data;
        return 0;
    }
    clipboard->setMimeData(data);  // the clipboard owns it from here
    return 1;
}

int CClipboard::DragCopy(QWidget* source, const QStringList& paths, const QStringList& names,
                         const QPoint& point) {
    if (!source)
        return 0;
    auto* data = new QMimeData;
    if (!CacheFilename(data, paths, names, point)) {
        delete data;
        return 0;
    }
    auto* drag = new QDrag(source);
    drag->setMimeData(data);
    const Qt::DropAction done = drag->exec(Qt::CopyAction, Qt::CopyAction);
    return done == Qt::CopyAction ? 1 : 0;
}

int CClipboard::IsWAVFileInClipboard(QString* path) const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? IsWAVFileInObject(clipboard->mimeData(), path) : 0;
}

QStringList CClipboard::PathsInObject(const QMimeData* data) {
    if (!data)
        return {};
    if (data->hasUrls())
        return LocalFiles(data->urls());
    if (data->hasFormat(QLatin1String(kCopiedFilesFormat))) {
        QList<QUrl> urls;
        const QList<QByteArray> lines = data->data(QLatin1String(kCopiedFilesFormat)).split('\n');
        for (int i = 1; i < lines.size(); ++i)  // the first line is the operation
            if (!lines[i].trimmed().isEmpty())
                urls << QUrl::fromEncoded(lines[i].trimmed());
        return LocalFiles(urls);
    }
    if (data->hasFormat(QLatin1String(kFileNameFormat)))
        return FromNulList(data->data(QLatin1String(kFileNameFormat)));
    return {};
}

bool CClipboard::IsReadableWavFile(const QString& path) {
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash || path.mid(dot).compare(QLatin1String(".wav"), Qt::CaseInsensitive) != 0)
        return false;
    const QFileInfo info(path);
    if (!info.isFile())  // follows links; FIFOs, devices and folders are not files
        return false;
    QFile f(path);
    return f.open(QIODevice::ReadOnly);
}

int CClipboard::IsWAVFileInObject(const QMimeData* data, QString* path) {
    for (const QString& p : PathsInObject(data)) {
        if (IsReadableWavFile(p)) {
            if (path)
                *path = QFileInfo(p).absoluteFilePath();
            return 1;
        }
    }
    return 0;
}

void CClipboard::EnumFormatsInObject(const QMimeData* data) {
    if (!data)
        return;
    if (data->hasUrls())
        Trace("CF_HDROP format found\n");
    for (const QString& f : data->formats())
        Trace(QStringLiteral("FORMAT FOUND:") + f + QLatin1Char('\n'));
}

// ---------------------------------------------------------------------------------------

CDrop::~CDrop() {
    UnregisterWnd();
}

void CDrop::RegisterWnd(QWidget* window, CClipboard* clipboard, Callback callback) {
    if (m_bRegistered || !window)
        return;
    m_pWnd = window;
    m_pClipboard = clipboard;
    m_callback = std::move(callback);
    m_bWasAccepting = window->acceptDrops();
    window->setAcceptDrops(true);
    window->installEventFilter(this);
    m_bRegistered = true;
}

void CDrop::UnregisterWnd() {
    if (!m_bRegistered)
        return;
    m_bRegistered = false;
    m_bWAVFileInDrag = false;
    if (m_pWnd) {
        m_pWnd->removeEventFilter(this);
        m_pWnd->setAcceptDrops(m_bWasAccepting);
    }
}

Qt::DropAction CDrop::OnDragEnter(QWidget* window, const QMimeData* data,
                                  Qt::KeyboardModifiers keys, const QPoint& point) {
    m_bWAVFileInDrag = CClipboard::IsWAVFileInObject(data, nullptr) != 0;
    if (!m_bWAVFileInDrag)
        return Qt::IgnoreAction;
    return OnDragOver(window, data, keys, point);
}

Qt::DropAction CDrop::OnDragOver(QWidget*, const QMimeData*, Qt::KeyboardModifiers keys,
                                 const QPoint& point) {
    if (!m_bWAVFileInDrag)
        return Qt::IgnoreAction;
    m_ptImage = point - QPoint(32, 32);  // where an image of the drag would stand
    if ((keys & Qt::ShiftModifier) && (keys & Qt::ControlModifier))
        return Qt::IgnoreAction;
    return Qt::CopyAction;
}

void CDrop::OnDragLeave(QWidget*) {
    m_bWAVFileInDrag = false;
}

int CDrop::OnDrop(QWidget* window, const QMimeData* data, Qt::DropAction effect, const QPoint&) {
    const bool wav = m_bWAVFileInDrag;
    m_bWAVFileInDrag = false;
    if (!wav || !m_callback)
        return 0;
    return m_callback(window, data, static_cast<ulong>(effect));
}

bool CDrop::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_pWnd || !m_bRegistered)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::DragEnter: {
            auto* e = static_cast<QDragEnterEvent*>(event);
            const Qt::DropAction a =
                OnDragEnter(m_pWnd, e->mimeData(), e->modifiers(), e->position().toPoint());
            if (a == Qt::IgnoreAction && !m_bWAVFileInDrag) {
                e->ignore();
            } else {
                // Accept the enter so that moves keep coming; the move decides the effect.
                e->setDropAction(a == Qt::IgnoreAction ? Qt::CopyAction : a);
                e->accept();
            }
            return true;
        }
        case QEvent::DragMove: {
            auto* e = static_cast<QDragMoveEvent*>(event);
            const Qt::DropAction a =
                OnDragOver(m_pWnd, e->mimeData(), e->modifiers(), e->position().toPoint());
            if (a == Qt::IgnoreAction) {
                e->ignore();
            } else {
                e->setDropAction(a);
                e->accept();
            }
            return true;
        }
        case QEvent::DragLeave:
            OnDragLeave(m_pWnd);
            return true;
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            if (OnDragOver(m_pWnd, e->mimeData(), e->modifiers(), e->position().toPoint()) ==
                Qt::IgnoreAction) {
                m_bWAVFileInDrag = false;
                e->ignore();
                return true;
            }
            e->setDropAction(Qt::CopyAction);
            const int r = OnDrop(m_pWnd, e->mimeData(), Qt::CopyAction, e->position().toPoint());
            if (r)
                e->accept();
            else
                e->ignore();
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
}
