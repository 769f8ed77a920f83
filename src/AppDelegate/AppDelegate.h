// The application shell: dark appearance, the menu bar, the About panel and
// the one main window controller, kept for the life of the process.
#pragma once

#include "CWWindowController.h"

#include <QIcon>
#include <QString>

#include <memory>

class QDialog;
class QWidget;

class AppDelegate {
public:
    // The store must outlive the delegate.
    explicit AppDelegate(CWPreferenceStore& preferences, CW_WINDOW_ENVIRONMENT environment = {});
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Fusion with a dark palette for the whole application.
    static void applyDarkAppearance();

    // Menus, the controller and its window, shown and in front.
    void applicationDidFinishLaunching();
    void setupApplicationMenu();
    void showAbout();
    // The controller's tear-down: the RX text log is closed and the link
    // disconnected. The close needs the event loop for a moment afterwards.
    void applicationWillTerminate();

    // The About panel, built but not shown.
    std::unique_ptr<QDialog> makeAboutPanel(QWidget* parent) const;

    // "Version 0.1 (1a2b3c4)": the project version and the commit built;
    // an empty version or build reads 0.0.0 or 000000.
    static QString aboutVersionText(const QString& shortVersion, const QString& buildVersion);

    static QIcon applicationIcon();

    CWWindowController* windowController() const { return windowController_.get(); }

private:
    CWPreferenceStore& preferences_;
    CW_WINDOW_ENVIRONMENT environment_;
    std::unique_ptr<CWWindowController> windowController_;
};
