// zarvo: the desktop CW decoder for a TCI server.
#include "AppDelegate.h"
#include "CWQSettingsStore.h"
#include "command_line.h"
#include "cw_launch_options.h"

#include <QApplication>
#include <QEventLoop>
#include <QMainWindow>
#include <QSettings>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Qt's own options have a single dash ("-platform offscreen").
bool cw_has_qt_options(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-' && argv[i][1] != '-' && std::strcmp(argv[i], "-h") != 0)
            return true;
    return false;
}

bool cw_parse(int argc, char** argv, CW_LAUNCH_OPTIONS* options)
{
    std::string error;
    if (cw_parse_launch_options(std::vector<std::string>(argv + 1, argv + argc), options, &error))
        return true;
    std::fprintf(stderr, "zarvo: %s (see --help)\n", error.c_str());
    return false;
}

void cw_print_line(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Saves the picture, then closes the window, which ends the program.
void cw_finish_run(CWWindowController& controller, const std::string& screenshotPath, bool* screenshotFailed)
{
    if (!screenshotPath.empty() && !controller.window()->grab().save(QString::fromStdString(screenshotPath))) {
        std::fprintf(stderr, "zarvo: could not save the screenshot to %s\n", screenshotPath.c_str());
        *screenshotFailed = true;
    }
    controller.window()->close();
}

// The link's close frame follows "audio_stop:0;" after a short delay; the
// loop runs long enough for both to reach the server.
void cw_let_closes_go_out()
{
    constexpr int kCloseGraceMs = 200;
    QEventLoop loop;
    QTimer::singleShot(kCloseGraceMs, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    // Read before Qt starts where possible, so that help and mistakes are
    // told even without a display.
    CW_LAUNCH_OPTIONS options;
    const bool qtOptions = cw_has_qt_options(argc, argv);
    if (!qtOptions && !cw_parse(argc, argv, &options))
        return 2;
    if (!options.infoText.empty())
        return command_line_print("zarvo", options.infoText) ? 0 : 1;
    QApplication app(argc, argv);  // takes Qt's own options out of argv
    QCoreApplication::setOrganizationName("Zarvo");
    QCoreApplication::setApplicationName("Zarvo");
    if (qtOptions && !cw_parse(argc, argv, &options))
        return 2;
    if (!options.infoText.empty())
        return command_line_print("zarvo", options.infoText) ? 0 : 1;

    AppDelegate::applyDarkAppearance();
    QSettings settings;
    CWQSettingsStore preferences(settings);
    AppDelegate delegate(preferences);
    delegate.applicationDidFinishLaunching();
    CWWindowController& controller = *delegate.windowController();
    if (options.printLog)
        controller.setLogEcho(cw_print_line);
    if (options.connect) {
        if (!options.host.empty())
            controller.useConnectionForThisRun(options.host, options.port);
        controller.connectClicked();
    }
    bool screenshotFailed = false;
    if (options.quitAfterSeconds > 0.0) {
        const int ms = static_cast<int>(std::lround(options.quitAfterSeconds * 1000.0));
        // Tied to the window, so that it cannot fire once the window is gone.
        QTimer::singleShot(ms, controller.window(),
                           [&] { cw_finish_run(controller, options.screenshotPath, &screenshotFailed); });
    }
    const int status = app.exec();
    delegate.applicationWillTerminate();
    cw_let_closes_go_out();
    return screenshotFailed ? 1 : status;
}
