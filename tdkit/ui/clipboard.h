// Sound files on the clipboard and in drag-and-drop. CClipboard puts files into a data
// object the way the desktop's file managers understand (a URI list and the copied-files
// list) plus lists of their own and, for one small file, the WAV data itself; it finds a
// WAV file in the clipboard or in a dropped object. CDrop makes a window a drop target
// for WAV files and hands each drop to a callback.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

#include "platform/types.h"

class QMimeData;
class QWidget;

class CClipboard {
public:
    // The lists of our own: full paths, and display names; each entry NUL-terminated and
    // the list ended by one more NUL.
    static constexpr const char* kFileNameFormat = "application/x-tonedeck-filename";
    static constexpr const char* kFileNameMapFormat = "application/x-tonedeck-filenamemap";
    static constexpr const char* kCopiedFilesFormat = "x-special/gnome-copied-files";
    static constexpr const char* kWavFormat = "audio/x-wav";
    // The WAV data travels along for a single file up to this size.
    static constexpr qint64 kMaxInlineWavBytes = 32ll << 20;

    CClipboard() = default;
    CClipboard(const CClipboard&) = delete;
    CClipboard& operator=(const CClipboard&) = delete;

    QString GetFileNameFormat() const { return QString::fromLatin1(kFileNameFormat); }

    // Puts the files into the data object; 1 when at least the name list was stored.
    static int CacheFilename(QMimeData* data, const QStringList& paths, const QStringList& names,
                             const QPoint& point);
    int CacheFilename(QMimeData* data, const QString& path, const QString& name,
                      const QPoint& point) {
        return CacheFilename(data, QStringList{path}, QStringList{name}, point);
    }

    // A new data object with the files, made the clipboard's content; 1 on success.
    int Copy(const QString& path, const QString& name, const QPoint& point) {
        return Copy(QStringList{path}, QStringList{name}, point);
    }
    int Copy(const QStringList& paths, const QStringList& names, const QPoint& point);

    // Drags the files from source with the copy effect only; 1 when a target took a copy.
    int DragCopy(QWidget* source, const QString& path, const QString& name, const QPoint& point) {
        return DragCopy(source, QStringList{path}, QStringList{name}, point);
    }
    int DragCopy(QWidget* source, const QStringList& paths, const QStringList& names,
                 const QPoint& point);

    // 1 when the clipboard holds a WAV file that can be read; its path goes to *path.
    int IsWAVFileInClipboard(QString* path) const;
    // The same for a data object: the file list first (URI list, then the copied-files
    // list), then our own path list. The first path that ends in ".wav" (any case), is a
    // regular file and opens for reading is the answer.
    static int IsWAVFileInObject(const QMimeData* data, QString* path);
    // The object's formats to the trace output.
    static void EnumFormatsInObject(const QMimeData* data);

    // The paths a data object names, in the order IsWAVFileInObject looks at them.
    static QStringList PathsInObject(const QMimeData* data);
    // A path that names a readable regular WAV file (never opens anything else, so a
    // FIFO or device named x.wav cannot block the caller).
    static bool IsReadableWavFile(const QString& path);
};

class CDrop : public QObject {
public:
    // The callback gets the window, the dropped object and the drop effect; its result is
    // the drop's.
    using Callback = std::function<int(QWidget*, const QMimeData*, ulong)>;

    CDrop() = default;
    ~CDrop() override;

    // Registers once; a second call while registered does nothing.
    void RegisterWnd(QWidget* window, CClipboard* clipboard, Callback callback);
    void UnregisterWnd();
    bool IsRegistered() const { return m_bRegistered; }

    // The drag handlers, also called by tests. The answer is the effect offered.
    Qt::DropAction OnDragEnter(QWidget* window, const QMimeData* data, Qt::KeyboardModifiers keys,
                               const QPoint& point);
    Qt::DropAction OnDragOver(QWidget* window, const QMimeData* data, Qt::KeyboardModifiers keys,
                              const QPoint& point);
    void OnDragLeave(QWidget* window);
    int OnDrop(QWidget* window, const QMimeData* data, Qt::DropAction effect, const QPoint& point);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_pWnd;
    CClipboard* m_pClipboard = nullptr;
    Callback m_callback;
    bool m_bRegistered = false;
    bool m_bWasAccepting = false;
    bool m_bWAVFileInDrag = false;
    QPoint m_ptImage;
};
