#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>

#include <sys/stat.h>

#include "tdkit/ui/clipboard.h"

namespace {

int argc = 1;
char arg0[] = "tdkit_ui_tests";
char* argv[] = {arg0, nullptr};

class ClipboardDrop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QApplication::instance())
            new QApplication(argc, argv);
        ASSERT_TRUE(dir_.isValid());
        wav_ = Make("song.WAV", "RIFF....WAVE");
        text_ = Make("notes.txt", "hello");
        midi_ = Make("tune.mid", "MThd");
    }
    QString Make(const char* name, const char* content) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }
    static QMimeData* Urls(const QStringList& paths) {
        auto* m = new QMimeData;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        m->setUrls(urls);
        return m;
    }
    QTemporaryDir dir_;
    QString wav_, text_, midi_;
};

TEST_F(ClipboardDrop, TheDataObjectCarriesTheFileAsFileManagersExpect) {
    QMimeData data;
    ASSERT_EQ(CClipboard::CacheFilename(&data, QStringList{wav_}, QStringList{"song.WAV"}, {}), 1);
    EXPECT_EQ(data.urls(), QList<QUrl>{QUrl::fromLocalFile(wav_)});
    EXPECT_EQ(data.data(CClipboard::kCopiedFilesFormat),
              "copy\n" + QUrl::fromLocalFile(wav_).toEncoded());
    EXPECT_EQ(data.data(CClipboard::kFileNameFormat),
              QFile::encodeName(wav_) + QByteArray(2, '\0'));
    EXPECT_EQ(data.data(CClipboard::kFileNameMapFormat),
              QByteArray("song.WAV") + QByteArray(2, '\0'));
    EXPECT_EQ(data.data(CClipboard::kWavFormat), QByteArray("RIFF....WAVE"));
    EXPECT_EQ(CClipboard::CacheFilename(&data, QStringList{}, QStringList{}, {}), 0);

    // Found again in each of the lists, whichever one an object carries.
    QString found;
    ASSERT_EQ(CClipboard::IsWAVFileInObject(&data, &found), 1);
    EXPECT_EQ(found, wav_);
    QMimeData copied;
    copied.setData(CClipboard::kCopiedFilesFormat,
                   "copy\n" + QUrl::fromLocalFile(text_).toEncoded() + "\n" +
                       QUrl::fromLocalFile(wav_).toEncoded() + "\n");
    ASSERT_EQ(CClipboard::IsWAVFileInObject(&copied, &found), 1);
    EXPECT_EQ(found, wav_);
    QMimeData ours;
    ours.setData(CClipboard::kFileNameFormat, QFile::encodeName(wav_) + QByteArray(2, '\0'));
    EXPECT_EQ(CClipboard::IsWAVFileInObject(&ours, nullptr), 1);
    EXPECT_EQ(CClipboard::IsWAVFileInObject(nullptr, nullptr), 0);

    // Copy leaves it on the application's clipboard.
    CClipboard clipboard;
    ASSERT_EQ(clipboard.Copy(wav_, "song.WAV", {}), 1);
    found.clear();
    EXPECT_EQ(clipboard.IsWAVFileInClipboard(&found), 1);
    EXPECT_EQ(found, wav_);
}

TEST_F(ClipboardDrop, OnlyReadableRegularWavFilesCount) {
    std::unique_ptr<QMimeData> m(Urls({midi_, text_}));
    EXPECT_EQ(CClipboard::IsWAVFileInObject(m.get(), nullptr), 0);
    // A FIFO or a folder named like a sound is never opened.
    const QString fifo = dir_.filePath("pipe.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = dir_.filePath("dir.wav");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString gone = dir_.filePath("gone.wav");
    m.reset(Urls({fifo, folder, gone, wav_}));
    QString found;
    EXPECT_EQ(CClipboard::IsWAVFileInObject(m.get(), &found), 1);
    EXPECT_EQ(found, wav_);
    m.reset(Urls({fifo, folder, gone}));
    EXPECT_EQ(CClipboard::IsWAVFileInObject(m.get(), nullptr), 0);
    // ".wav" must be the extension of the name, not of a folder on the way.
    EXPECT_FALSE(CClipboard::IsReadableWavFile(dir_.filePath("x.wav/song")));
    if (::geteuid() != 0) {
        ::chmod(QFile::encodeName(wav_).constData(), 0);
        EXPECT_FALSE(CClipboard::IsReadableWavFile(wav_));
        ::chmod(QFile::encodeName(wav_).constData(), 0600);
    }
}

TEST_F(ClipboardDrop, TheDropTargetTakesCopiesOfWavFilesOnly) {
    QWidget window;
    CClipboard clipboard;
    CDrop drop;
    QStringList delivered;
    int calls = 0;
    drop.RegisterWnd(&window, &clipboard, [&](QWidget* w, const QMimeData* data, ulong) {
        ++calls;
        EXPECT_EQ(w, &window);
        QString path;
        if (CClipboard::IsWAVFileInObject(data, &path))
            delivered << path;
        return 1;
    });
    EXPECT_TRUE(drop.IsRegistered());
    EXPECT_TRUE(window.acceptDrops());
    drop.RegisterWnd(&window, &clipboard, nullptr);  // a second registration does nothing

    // A text file and a WAV file: the copy effect, and the drop delivers the WAV file.
    std::unique_ptr<QMimeData> both(Urls({text_, wav_}));
    EXPECT_EQ(drop.OnDragEnter(&window, both.get(), Qt::NoModifier, {5, 5}), Qt::CopyAction);
    EXPECT_EQ(drop.OnDragOver(&window, both.get(), Qt::ControlModifier, {6, 6}), Qt::CopyAction);
    EXPECT_EQ(drop.OnDragOver(&window, both.get(), Qt::ShiftModifier | Qt::ControlModifier, {6, 6}),
              Qt::IgnoreAction);
    EXPECT_EQ(drop.OnDrop(&window, both.get(), Qt::CopyAction, {6, 6}), 1);
    EXPECT_EQ(delivered, QStringList{wav_});

    // Only a MIDI file: refused, and a drop of it reaches nobody.
    std::unique_ptr<QMimeData> midi(Urls({midi_}));
    EXPECT_EQ(drop.OnDragEnter(&window, midi.get(), Qt::NoModifier, {}), Qt::IgnoreAction);
    EXPECT_EQ(drop.OnDragOver(&window, midi.get(), Qt::NoModifier, {}), Qt::IgnoreAction);
    EXPECT_EQ(drop.OnDrop(&window, midi.get(), Qt::CopyAction, {}), 0);
    // A drag that left forgets its WAV file.
    EXPECT_EQ(drop.OnDragEnter(&window, both.get(), Qt::NoModifier, {}), Qt::CopyAction);
    drop.OnDragLeave(&window);
    EXPECT_EQ(drop.OnDrop(&window, both.get(), Qt::CopyAction, {}), 0);
    EXPECT_EQ(calls, 1);

    drop.UnregisterWnd();
    EXPECT_FALSE(drop.IsRegistered());
    EXPECT_FALSE(window.acceptDrops());
}

}  // namespace
