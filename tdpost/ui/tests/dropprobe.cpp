// A drop target for desktop tests: a window that takes any drop, writes every format of
// the dropped data to the file named on its command line (a line "FORMAT <name>" and the
// data after it, then a line "END"), accepts the drop as a copy and ends. It stands in for
// a file manager's window under a real X server.
//   dropprobe OUTPUT [TITLE]
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QTimer>

#include <cstdio>

namespace {

class Probe : public QLabel {
public:
    explicit Probe(QString output) : output_(std::move(output)) {
        setAcceptDrops(true);
        setAlignment(Qt::AlignCenter);
        setText(QStringLiteral("Drop here"));
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
    void dropEvent(QDropEvent* event) override {
        QFile out(output_ + QStringLiteral(".part"));
        if (out.open(QIODevice::WriteOnly)) {
            for (const QString& format : event->mimeData()->formats()) {
                out.write("FORMAT " + format.toUtf8() + '\n');
                out.write(event->mimeData()->data(format));
                out.write("\nEND\n");
            }
            out.close();
            QFile::remove(output_);
            out.rename(output_);
        }
        event->setDropAction(Qt::CopyAction);
        event->accept();
        QTimer::singleShot(200, qApp, &QCoreApplication::quit);
    }

private:
    QString output_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: dropprobe OUTPUT [TITLE]\n", stderr);
        return 2;
    }
    Probe probe(QString::fromLocal8Bit(argv[1]));
    probe.setWindowTitle(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("Drop Probe"));
    probe.resize(300, 200);
    probe.move(600, 400);
    probe.show();
    return app.exec();
}
