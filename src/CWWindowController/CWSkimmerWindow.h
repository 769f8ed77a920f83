// The Skimmer window: the calls heard, newest first, refreshed about once a
// second while it is open. A double click tunes the decoder to the station
// (a single click only selects, so reading the list never retunes).
// Non-modal; it draws the rows the core makes and nothing else.
#pragma once

#include "cw_skimmer_rows.h"

#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QTableWidget;
class QTimer;

struct CW_SKIMMER_WINDOW_HOOKS {
    std::function<std::vector<CW_SKIMMER_ROW>()> rows;
    std::function<void(const CW_SKIMMER_ROW&)> tune;  // a row was double-clicked
};

constexpr int kCWSkimmerRefreshMs = 1000;

class CWSkimmerWindow : public QDialog {
public:
    CWSkimmerWindow(QWidget* parent, CW_SKIMMER_WINDOW_HOOKS hooks);
    ~CWSkimmerWindow() override;

    // Shows the rows now; the timer calls it while the window is visible.
    void refresh();
    const std::vector<CW_SKIMMER_ROW>& rows() const { return rows_; }
    // What a double click on row `index` does.
    void activateRow(int index);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    CW_SKIMMER_WINDOW_HOOKS hooks_;
    QTableWidget* table_ = nullptr;
    QLabel* summary_ = nullptr;
    QTimer* timer_ = nullptr;
    std::vector<CW_SKIMMER_ROW> rows_;
};
