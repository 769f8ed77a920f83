// What happens while the operator types and when an edit ends: call-sign
// fields and the TX text turn upper case as they are typed, the QSO fields
// claim the pick target, and ending any edit normalises and applies every
// setting.
#include "CWWindowController.h"

#include "CWDecodedTextView.h"
#include "CWQSOTextField.h"
#include "cw_field_editing.h"
#include "cw_word_pick.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

void CWWindowController::installEditingRules()
{
    for (QLineEdit* field : {hostField_, portField_, pitchField_, bandwidthField_, minWpmField_, maxWpmField_,
                             qomSearchField_, qomLockHoldField_, autoGtmRearmField_,
                             static_cast<QLineEdit*>(partnerCallField_), static_cast<QLineEdit*>(partnerNameField_),
                             qsoRSTField_, qsoPRSTField_, txWpmField_, squelchField_}) {
        QObject::connect(field, &QLineEdit::editingFinished, field, [this, field] { controlTextDidEndEditing(field); });
    }
    for (CWQSOTextField* field : {partnerCallField_, partnerNameField_}) {
        const auto claim = [this, field] { setDecodePickTarget(field->pickTarget()); };
        field->setPickTargetRequest([this](int target) { setDecodePickTarget(target); });
        QObject::connect(field, &QLineEdit::textEdited, field, claim);
        QObject::connect(field, &QLineEdit::textChanged, field,
                         [this, field] { uppercaseTextFieldPreservingSelection(field); });
    }
    QObject::connect(txTextView_, &QPlainTextEdit::textChanged, txTextView_,
                     [this] { uppercaseTxTextPreservingSelection(); });
    decodedTextView_->setDoubleClickPick(
        [this](const QString& word, double eventTime) { decodedTextViewDidDoubleClickPickedString(word, eventTime); });
}

void CWWindowController::decodedTextViewDidDoubleClickPickedString(const QString& word, double eventTime)
{
    const CW_DECODE_PICK pick =
        cw_decode_pick({decodePickTarget_, lastDecodePickTimestamp_, eventTime, word.toStdU16String()});
    lastDecodePickTimestamp_ = pick.lastTimestamp;
    decodePickTarget_ = pick.target;
    CWQSOTextField* const fields[] = {nullptr, partnerCallField_, partnerNameField_};
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
    const QString text = txTextView_->toPlainText();
    const QString upper = text.toUpper();
    if (upper == text)
        return;
    const QTextCursor cursor = txTextView_->textCursor();
    const CW_TEXT_SELECTION before{static_cast<size_t>(cursor.selectionStart()),
                                   static_cast<size_t>(cursor.selectionEnd() - cursor.selectionStart())};
    txTextView_->setPlainText(upper);
    const auto after = cw_selection_after_upper_case(before, static_cast<size_t>(upper.size()));
    if (!after)
        return;
    QTextCursor restored = txTextView_->textCursor();
    restored.setPosition(static_cast<int>(after->start));
    restored.setPosition(static_cast<int>(after->start + after->length), QTextCursor::KeepAnchor);
    txTextView_->setTextCursor(restored);
}

void CWWindowController::controlTextDidEndEditing(QWidget* field)
{
    const CW_SETTINGS_FORM form = cw_settings_form_after_edit(readForm());
    showForm(form);
    if (field == txWpmField_ && client_.isConnected())
        client_.sendText("cw_macros_speed:" + std::to_string(cw_tx_wpm_value(form.txWpm)) + ";");
    storeSettings();
    // Only a changed decoder setting costs the receiver its last seconds.
    if (decoderSettingsChanged())
        recreateDecoder();
}
