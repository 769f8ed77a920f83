#include "AppDelegate.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>

#include <functional>

#ifndef ZARVO_VERSION
#define ZARVO_VERSION ""
#endif
#ifndef ZARVO_BUILD_VERSION
#define ZARVO_BUILD_VERSION ""
#endif

namespace {

constexpr int kAboutWidth = 280;
constexpr int kAboutHeight = 300;

enum class EditCommand { Undo, Redo, Cut, Copy, Paste, Delete, SelectAll };

QColor cw_grey(double level)
{
    return QColor::fromRgbF(level, level, level);
}

// Both text view kinds share these calls but no base class that has them.
template <typename TextView>
void cw_edit_text_view(TextView* view, EditCommand command)
{
    switch (command) {
    case EditCommand::Undo: view->undo(); break;
    case EditCommand::Redo: view->redo(); break;
    case EditCommand::Cut: view->cut(); break;
    case EditCommand::Copy: view->copy(); break;
    case EditCommand::Paste: view->paste(); break;
    case EditCommand::SelectAll: view->selectAll(); break;
    case EditCommand::Delete:
        if (!view->isReadOnly())
            view->textCursor().removeSelectedText();
        break;
    }
}

void cw_edit_line(QLineEdit* field, EditCommand command)
{
    switch (command) {
    case EditCommand::Undo: field->undo(); break;
    case EditCommand::Redo: field->redo(); break;
    case EditCommand::Cut: field->cut(); break;
    case EditCommand::Copy: field->copy(); break;
    case EditCommand::Paste: field->paste(); break;
    case EditCommand::SelectAll: field->selectAll(); break;
    case EditCommand::Delete:
        if (!field->isReadOnly())
            field->del();
        break;
    }
}

// Edit commands have no fixed target: they go to whichever control has the
// keyboard focus.
void cw_send_edit_command(EditCommand command)
{
    QWidget* focus = QApplication::focusWidget();
    if (auto* field = qobject_cast<QLineEdit*>(focus))
        cw_edit_line(field, command);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(focus))
        cw_edit_text_view(plain, command);
    else if (auto* rich = qobject_cast<QTextEdit*>(focus))
        cw_edit_text_view(rich, command);
}

QAction* cw_add_item(QMenu* menu, const QString& title, const QKeySequence& key, std::function<void()> action)
{
    QAction* item = menu->addAction(title);
    item->setShortcut(key);
    QObject::connect(item, &QAction::triggered, item, [action = std::move(action)] { action(); });
    return item;
}

QLabel* cw_about_label(QWidget* panel, const QString& text, const QFont& font, int y, int height)
{
    QLabel* label = new QLabel(text, panel);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setGeometry(0, kAboutHeight - y - height, kAboutWidth, height);
    return label;
}

// Sizes in the panel's own units, which are Qt's logical pixels.
QFont cw_system_font(int points, bool bold)
{
    QFont font = QApplication::font();
    font.setPixelSize(points);
    font.setBold(bold);
    return font;
}

}  // namespace

AppDelegate::AppDelegate(CWPreferenceStore& preferences, CW_WINDOW_ENVIRONMENT environment)
    : preferences_(preferences), environment_(std::move(environment))
{
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applyDarkAppearance()
{
    QApplication::setStyle("Fusion");
    QPalette dark;
    dark.setColor(QPalette::Window, cw_grey(0.16));
    dark.setColor(QPalette::WindowText, cw_grey(0.88));
    dark.setColor(QPalette::Base, cw_grey(0.1));
    dark.setColor(QPalette::AlternateBase, cw_grey(0.14));
    dark.setColor(QPalette::ToolTipBase, cw_grey(0.2));
    dark.setColor(QPalette::ToolTipText, cw_grey(0.92));
    dark.setColor(QPalette::PlaceholderText, cw_grey(0.5));
    dark.setColor(QPalette::Text, cw_grey(0.88));
    dark.setColor(QPalette::Button, cw_grey(0.24));
    dark.setColor(QPalette::ButtonText, cw_grey(0.88));
    dark.setColor(QPalette::BrightText, QColor::fromRgbF(1.0, 0.35, 0.3));
    dark.setColor(QPalette::Light, cw_grey(0.34));
    dark.setColor(QPalette::Midlight, cw_grey(0.28));
    dark.setColor(QPalette::Mid, cw_grey(0.2));
    dark.setColor(QPalette::Dark, cw_grey(0.06));
    dark.setColor(QPalette::Shadow, cw_grey(0.0));
    dark.setColor(QPalette::Link, QColor::fromRgbF(0.3, 0.62, 1.0));
    dark.setColor(QPalette::Highlight, QColor::fromRgbF(0.2, 0.42, 0.75));
    dark.setColor(QPalette::HighlightedText, cw_grey(1.0));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, cw_grey(0.45));
    QApplication::setPalette(dark);
}

void AppDelegate::applicationDidFinishLaunching()
{
    applyDarkAppearance();
    QApplication::setWindowIcon(applicationIcon());
    windowController_ = std::make_unique<CWWindowController>(preferences_, environment_);
    setupApplicationMenu();
    windowController_->showWindow();
}

void AppDelegate::applicationWillTerminate()
{
    windowController_.reset();
}

void AppDelegate::setupApplicationMenu()
{
    QMainWindow* window = windowController_->window();
    QMenuBar* bar = new QMenuBar(window);
    QMenu* app = bar->addMenu("Zarvo");
    cw_add_item(app, "About Zarvo", QKeySequence(), [this] { showAbout(); })->setMenuRole(QAction::AboutRole);
    app->addSeparator();
    cw_add_item(app, "Quit Zarvo", QKeySequence(Qt::CTRL | Qt::Key_Q), [] {
        QCoreApplication::quit();
    })->setMenuRole(QAction::QuitRole);

    QMenu* edit = bar->addMenu("Edit");
    const auto send = [](EditCommand command) { return [command] { cw_send_edit_command(command); }; };
    cw_add_item(edit, "Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), send(EditCommand::Undo));
    cw_add_item(edit, "Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), send(EditCommand::Redo));
    edit->addSeparator();
    cw_add_item(edit, "Cut", QKeySequence(Qt::CTRL | Qt::Key_X), send(EditCommand::Cut));
    cw_add_item(edit, "Copy", QKeySequence(Qt::CTRL | Qt::Key_C), send(EditCommand::Copy));
    cw_add_item(edit, "Paste", QKeySequence(Qt::CTRL | Qt::Key_V), send(EditCommand::Paste));
    cw_add_item(edit, "Delete", QKeySequence(), send(EditCommand::Delete));
    edit->addSeparator();
    cw_add_item(edit, "Select All", QKeySequence(Qt::CTRL | Qt::Key_A), send(EditCommand::SelectAll));

    // The skimmer runs whenever audio comes; the menu only shows its list.
    QMenu* windows = bar->addMenu("Window");
    cw_add_item(windows, "Skimmer", QKeySequence(Qt::CTRL | Qt::Key_K), [this] {
        windowController_->openSkimmerWindow();
    })->setObjectName("skimmerMenuItem");
    window->setMenuBar(bar);
}

void AppDelegate::showAbout()
{
    const std::unique_ptr<QDialog> panel = makeAboutPanel(windowController_ ? windowController_->window() : nullptr);
    panel->exec();
}

std::unique_ptr<QDialog> AppDelegate::makeAboutPanel(QWidget* parent) const
{
    auto panel = std::make_unique<QDialog>(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    panel->setWindowTitle("About Zarvo");
    panel->setFixedSize(kAboutWidth, kAboutHeight);
    panel->setModal(true);

    QLabel* icon = new QLabel(panel.get());
    icon->setObjectName("aboutIcon");
    icon->setPixmap(applicationIcon().pixmap(88, 88));
    icon->setAlignment(Qt::AlignCenter);
    icon->setGeometry(96, kAboutHeight - 196 - 88, 88, 88);
    cw_about_label(panel.get(), "Zarvo", cw_system_font(13, true), 156, 20);
    cw_about_label(panel.get(), "CW decoder for TCI", cw_system_font(13, false), 120, 20);
    const QString version = aboutVersionText(QString::fromUtf8(ZARVO_VERSION), QString::fromUtf8(ZARVO_BUILD_VERSION));
    cw_about_label(panel.get(), version, cw_system_font(12, false), 62, 48)->setObjectName("aboutVersion");

    QPushButton* ok = new QPushButton("OK", panel.get());
    ok->setGeometry(16, kAboutHeight - 14 - 30, 248, 30);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, panel.get(), &QDialog::accept);
    return panel;
}

QString AppDelegate::aboutVersionText(const QString& shortVersion, const QString& buildVersion)
{
    return QString("Version %1 (%2)")
        .arg(shortVersion.isEmpty() ? QString("0.0.0") : shortVersion,
             buildVersion.isEmpty() ? QString("000000") : buildVersion);
}

// A dark tile with C and W in Morse: the program's mark in the dock, the
// task bar and the About panel.
QIcon AppDelegate::applicationIcon()
{
    constexpr int kSize = 256;
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(cw_grey(0.13));
    painter.drawRoundedRect(QRectF(8, 8, kSize - 16, kSize - 16), 48, 48);
    painter.setBrush(QColor::fromRgbF(0.3, 0.62, 1.0));
    const char* rows[] = {"-.-.", ".--"};
    for (int row = 0; row < 2; ++row) {
        double x = 44.0;
        for (const char* mark = rows[row]; *mark; ++mark) {
            const double width = *mark == '-' ? 42.0 : 16.0;
            painter.drawRoundedRect(QRectF(x, 84.0 + row * 64.0, width, 16.0), 8, 8);
            x += width + 12.0;
        }
    }
    return QIcon(pixmap);
}
