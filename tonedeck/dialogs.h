// The small dialogs of start-up: the splash, the welcome at the first start, and the
// notice that no mail system was found.
#pragma once

#include <QDialog>

#include <functional>

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

// Opens a file of the installation's root directory with the desktop's handler for it;
// nothing happens when the root directory is unknown.
void OpenRootDirectoryFile(const QString& name);
// Opens the bar's help pages (F1 everywhere).
void OpenHelpFile();
// Puts the help pages the program carries into the help directory, replacing pages
// that differ; false when the directory is unknown or cannot be written.
bool InstallHelpPages();
