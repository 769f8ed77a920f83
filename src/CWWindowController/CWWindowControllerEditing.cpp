// What happens while the operator types: call-sign fields and the TX text
// turn upper case as they are typed, the QSO fields claim the pick target,
// a double-clicked word of the received text goes to it, and the transmit
// keys do what the Send, Stop and macro buttons do.
#include "CWWindowController.h"

#include "CWDecodedTextView.h"
#include "CWQSOTextField.h"
#include "CWTxTextView.h"
#include "cw_field_editing.h"
#include "cw_macro_buttons.h"
#include "cw_word_pick.h"

#include <QKeySequence>
#include <QLineEdit>
#include <QMainWindow>
#include <QShortcut>
#include <QTextCursor>

void CWWindowController::installEditingRules()
{
    const CW_SETTINGS_WIDGETS& s = widgets_.settings;
    for (QLineEdit* field :
         {s.host, s.port, s.pitch, s.bandwidth, s.minWpm, s.maxWpm, s.qomSearch, s.lockHold, s.autoGtmRearm,
          static_cast<QLineEdit*>(widgets_.partnerCall), static_cast<QLineEdit*>(widgets_.partnerName),
          widgets_.transmit.rst, widgets_.transmit.prst, s.txWpm, s.squelch}) {
        QObject::connect(field, &QLineEdit::editingFinished, field, [this, field] { controlTextDidEndEditing(field); });
    }
    for (CWQSOTextField* field : {widgets_.partnerCall, widgets_.partnerName}) {
        const auto claim = [this, field] { decodePickTarget_ = field->pickTarget(); };
        field->setPickTargetRequest([this](int target) { decodePickTarget_ = target; });
        QObject::connect(field, &QLineEdit::textEdited, field, claim);
        QObject::connect(field, &QLineEdit::textChanged, field,
                         [this, field] { uppercaseTextFieldPreservingSelection(field); });
    }
    QObject::connect(widgets_.transmit.txText, &QPlainTextEdit::textChanged, widgets_.transmit.txText,
                     [this] { uppercaseTxTextPreservingSelection(); });
    widgets_.decodedText->setDoubleClickPick(
        [this](const QString& word, double eventTime) { decodedTextViewDidDoubleClickPickedString(word, eventTime); });
}

void CWWindowController::installKeys()
{
    widgets_.transmit.txText->setSend([this] { transmitter_->sendTx(); });
    // Window-wide, so the keys work whichever control has the focus; the
    // dialogs are windows of their own and keep Escape for closing.
    new QShortcut(
        QKeySequence(Qt::Key_Escape), window_.get(), [this] { stopTransmitting(); }, Qt::WindowShortcut);
    for (size_t i = 0; i < kCWMacroButtonCount; ++i) {
        const QKeySequence key = QKeySequence::fromString(QString::fromStdString(cw_macro_key_name(i)));
        new QShortcut(
            key, window_.get(), [this, i] { transmitter_->sendMacro(i); }, Qt::WindowShortcut);
    }
}

void CWWindowController::decodedTextViewDidDoubleClickPickedString(const QString& word, double eventTime)
{
    const CW_DECODE_PICK pick =
        cw_decode_pick({decodePickTarget_, lastDecodePickTimestamp_, eventTime, word.toStdU16String()});
    lastDecodePickTimestamp_ = pick.lastTimestamp;
    decodePickTarget_ = pick.target;
    CWQSOTextField* const fields[] = {nullptr, widgets_.partnerCall, widgets_.partnerName};
    const auto field = [&fields](int64_t which) { return which == 1 || which == 2 ? fields[which] : nullptr; };
    if (CWQSOTextField* filled = field(pick.fillField))
        filled->setText(QString::fromStdString(pick.text));
    if (CWQSOTextField* focused = field(pick.focusField))
        focused->setFocus();
}

void CWWindowController::uppercaseTextFieldPreservingSelection(QLineEdit* field)
{
    const QString text = field->text();
    const QString upper = text.toUpper();
    if (upper == text)
        return;
    const bool selected = field->hasSelectedText();
    const CW_TEXT_SELECTION before{static_cast<size_t>(selected ? field->selectionStart() : field->cursorPosition()),
                                   static_cast<size_t>(selected ? field->selectionLength() : 0)};
    field->setText(upper);
    const auto after = cw_selection_after_upper_case(before, static_cast<size_t>(upper.size()));
    if (after && after->length > 0)
        field->setSelection(static_cast<int>(after->start), static_cast<int>(after->length));
    else if (after)
        field->setCursorPosition(static_cast<int>(after->start));
}

void CWWindowController::uppercaseTxTextPreservingSelection()
{
    const QString text = widgets_.transmit.txText->toPlainText();
    const QString upper = text.toUpper();
    if (upper == text)
        return;
    const QTextCursor cursor = widgets_.transmit.txText->textCursor();
    const CW_TEXT_SELECTION before{static_cast<size_t>(cursor.selectionStart()),
                                   static_cast<size_t>(cursor.selectionEnd() - cursor.selectionStart())};
    widgets_.transmit.txText->setPlainText(upper);
    const auto after = cw_selection_after_upper_case(before, static_cast<size_t>(upper.size()));
    if (!after)
        return;
    QTextCursor restored = widgets_.transmit.txText->textCursor();
    restored.setPosition(static_cast<int>(after->start));
    restored.setPosition(static_cast<int>(after->start + after->length), QTextCursor::KeepAnchor);
    widgets_.transmit.txText->setTextCursor(restored);
}
