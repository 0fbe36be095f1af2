// The small dialogs of start-up: the splash, the welcome at the first start, and the
// notice that no mail system was found.
#pragma once

#include <QDialog>

#include <functional>

#include <QString>

class QCheckBox;

// Shown for a moment while the bar starts; centred on the screen.
class CSplashDlg : public QDialog {
public:
    CSplashDlg();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// "Welcome to Tonedeck": release notes, the tutorial and the Fixit Guide.
class CWelcomeDlg : public QDialog {
public:
    // runFixitGuide runs the guide modally; when it is empty the button is disabled.
    explicit CWelcomeDlg(std::function<void()> runFixitGuide, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void()> runFixitGuide_;
};

// "No Mail System Detected", with "Don't display this message again."
class CNoMailDlg : public QDialog {
public:
    explicit CNoMailDlg(QWidget* parent = nullptr);
    bool dontShowAgain() const;
    void setDontShowAgain(bool value);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QCheckBox* check_;
};

// "About Quorvane Tonedeck": the picture, the version and Close.
class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    static QString VersionText();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The bar's dialogs (the notices, the welcome, the error messages) are fixed in size,
// carry a title and a close button only, and stand in the middle of the screen the bar is
// on rather than against the bar.
void PrepareBarDialog(QDialog* dialog, const QWidget* bar);
// A message box prepared so; returns when it is closed.
void ShowBarMessage(const QWidget* bar, int icon, const QString& caption, const QString& text);

// The help pages the program carries, and the ones the welcome offers.
inline constexpr const char* kHelpPages[] = {"Tonedeck.html", "wizard.html", "tutorial.html",
                                             "Release_Notes.html"};
inline constexpr const char* kTutorialPage = "tutorial.html";
inline constexpr const char* kReleaseNotesPage = "Release_Notes.html";

// Opens a page of the help directory in the desktop's browser. When the directory is
// unknown, the page is missing or no browser opens it, the user is told where the page is
// (or that it is missing) instead; false then.
// A topic opens the page at its anchor ("#topic-N"); the opener then gets the path with
// the anchor appended.
bool OpenHelpPage(const QString& name, const QWidget* parent = nullptr, unsigned topic = 0);
// Opens the bar's help pages (F1 everywhere).
void OpenHelpFile(const QWidget* parent = nullptr);
// What the user is told when no browser could open a page: where it is.
QString HelpPageNotOpenedText(const QString& path);
// For tests: how pages are opened (true when a browser took the page) and how the user is
// told of a page that was not; null restores the desktop's own ways.
void SetHelpPageOpener(std::function<bool(const QString& path)> open);
void SetHelpPageNotice(std::function<void(const QString& text)> tell);
// Puts the help pages the program carries into the help directory, replacing pages
// that differ; false when the directory is unknown or cannot be written.
bool InstallHelpPages();
