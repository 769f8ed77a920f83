#include "CWAlertPanel.h"

#include "CWWindowAppearance.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CWAlertPanel::CWAlertPanel(const QString& message, const QString& informativeText, QSize accessorySize,
                           const QStringList& buttonTitles, QWidget* parent)
    : QDialog(parent), accessory_(new QWidget(this))
{
    setWindowTitle(message);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    QLabel* title = new QLabel(message, this);
    QFont bold = cw_system_font(14);
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    QLabel* informative = new QLabel(informativeText, this);
    informative->setWordWrap(true);
    informative->setFont(cw_system_font(kCWCaptionPoints));
    informative->setMaximumWidth(accessorySize.width());
    layout->addWidget(informative);
    accessory_->setFixedSize(accessorySize);
    layout->addWidget(accessory_);
    auto* row = new QHBoxLayout;
    row->addStretch();
    // The first title is the default button and sits rightmost, as in
    // system alerts.
    for (int i = buttonTitles.size() - 1; i >= 0; --i) {
        QPushButton* button = new QPushButton(buttonTitles[i], this);
        button->setDefault(i == 0);
        button->setAutoDefault(i == 0);
        QObject::connect(button, &QPushButton::clicked, this, [this, i] { choose(i); });
        row->addWidget(button);
        buttons_.prepend(button);
    }
    layout->addLayout(row);
}

QPushButton* CWAlertPanel::button(int index) const
{
    return index >= 0 && index < buttons_.size() ? buttons_[index] : nullptr;
}

void CWAlertPanel::choose(int index)
{
    chosen_ = index;
    done(index == 0 ? QDialog::Accepted : QDialog::Rejected);
}

void CWAlertPanel::setFieldHandlers(std::function<void(QLineEdit*)> fieldChanged,
                                    std::function<void(QLineEdit*)> fieldEdited)
{
    fieldChanged_ = std::move(fieldChanged);
    fieldEdited_ = std::move(fieldEdited);
}

QRect CWAlertPanel::accessoryFrame(int x, int y, int width, int height) const
{
    return cw_frame(accessory_->height(), x, y, width, height);
}

void CWAlertPanel::addCaption(const QString& text, QRect frame)
{
    cw_label(text, accessory_)->setGeometry(frame);
}

QLineEdit* CWAlertPanel::addField(const QString& name, const std::string& value, QRect frame)
{
    QLineEdit* field = cw_dark_text_field(QString::fromStdString(value), accessory_);
    field->setObjectName(name);
    field->setGeometry(frame);
    QObject::connect(field, &QLineEdit::textChanged, this, [this, field] {
        if (fieldChanged_)
            fieldChanged_(field);
    });
    QObject::connect(field, &QLineEdit::editingFinished, this, [this, field] {
        if (fieldEdited_)
            fieldEdited_(field);
    });
    return field;
}
