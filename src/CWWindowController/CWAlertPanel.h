// A modal panel in the manner of a system alert: a bold message, an
// informative text, an accessory area with fixed frames and a row of
// buttons, the first of them the default. Used by the Log QSO and the
// Macro Setup dialogs.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class QLineEdit;
class QPushButton;

class CWAlertPanel : public QDialog {
public:
    CWAlertPanel(const QString& message, const QString& informativeText, QSize accessorySize,
                 const QStringList& buttonTitles, QWidget* parent = nullptr);

    // Children placed with frames whose y is measured up from its bottom.
    QWidget* accessory() const { return accessory_; }
    QPushButton* button(int index) const;
    // Index of the button that closed the panel; -1 for none (Escape).
    int chosenButton() const { return chosen_; }
    // Closes the panel as that button would.
    void choose(int index);

    // fieldChanged runs after every change of an accessory field,
    // fieldEdited whenever editing ends in one.
    void setFieldHandlers(std::function<void(QLineEdit*)> fieldChanged, std::function<void(QLineEdit*)> fieldEdited);

protected:
    // A frame in the accessory area, y measured up from its bottom.
    QRect accessoryFrame(int x, int y, int width, int height) const;
    void addCaption(const QString& text, QRect frame);
    QLineEdit* addField(const QString& name, const std::string& value, QRect frame);

private:
    QWidget* accessory_;
    std::function<void(QLineEdit*)> fieldChanged_;
    std::function<void(QLineEdit*)> fieldEdited_;
    QList<QPushButton*> buttons_;
    int chosen_ = -1;
};
