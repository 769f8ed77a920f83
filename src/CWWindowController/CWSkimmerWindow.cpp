#include "CWSkimmerWindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kColumns = 5;
const char* const kTitles[kColumns] = {"Call", "kHz", "WPM", "SNR dB", "Age"};
const int kWidths[kColumns] = {96, 80, 50, 64, 60};
// Cq stations in the panorama's CQ green, so both views agree.
const QColor kCqColour(0x30, 0xD0, 0x60);

QTableWidgetItem* cw_cell(const std::string& text, bool alignRight)
{
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment((alignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return item;
}

}  // namespace

CWSkimmerWindow::CWSkimmerWindow(QWidget* parent, CW_SKIMMER_WINDOW_HOOKS hooks)
    : QDialog(parent, Qt::Window), hooks_(std::move(hooks))
{
    setObjectName("skimmerWindow");
    setWindowTitle("Skimmer");
    setModal(false);
    resize(400, 420);
    table_ = new QTableWidget(0, kColumns, this);
    table_->setObjectName("skimmerTable");
    for (int c = 0; c < kColumns; ++c)
        table_->setHorizontalHeaderItem(c, new QTableWidgetItem(kTitles[c]));
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int c = 0; c < kColumns; ++c)
        table_->setColumnWidth(c, kWidths[c]);
    // Only a click selects: a row chosen on its own when the window opens
    // would look like the operator's choice.
    table_->setFocusPolicy(Qt::ClickFocus);
    table_->setToolTip("Double-click a station to tune the decoder to it");
    summary_ = new QLabel(this);
    summary_->setObjectName("skimmerSummary");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(summary_);
    QObject::connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { activateRow(row); });
    timer_ = new QTimer(this);
    QObject::connect(timer_, &QTimer::timeout, this, [this] { refresh(); });
}

CWSkimmerWindow::~CWSkimmerWindow() = default;

void CWSkimmerWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    refresh();
    timer_->start(kCWSkimmerRefreshMs);
}

void CWSkimmerWindow::hideEvent(QHideEvent* event)
{
    timer_->stop();
    QDialog::hideEvent(event);
}

void CWSkimmerWindow::refresh()
{
    rows_ = hooks_.rows ? hooks_.rows() : std::vector<CW_SKIMMER_ROW>{};
    // The selection follows its call, not its place, as newer calls push in.
    const int selected = table_->currentRow();
    const QString selectedCall =
        selected >= 0 && table_->item(selected, 0) ? table_->item(selected, 0)->text() : QString();
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
        const CW_SKIMMER_ROW& row = rows_[static_cast<size_t>(r)];
        const std::string* cells[kColumns] = {&row.call, &row.frequency, &row.speed, &row.snr, &row.age};
        for (int c = 0; c < kColumns; ++c) {
            QTableWidgetItem* item = cw_cell(*cells[c], c > 0);
            if (row.cq && c == 0)
                item->setForeground(kCqColour);
            table_->setItem(r, c, item);
        }
        if (!selectedCall.isEmpty() && QString::fromStdString(row.call) == selectedCall)
            table_->setCurrentCell(r, 0);
    }
    summary_->setText(rows_.empty() ? QString("No calls heard yet")
                                    : QString("%1 calls; CQ in green. Double-click to tune.").arg(rows_.size()));
}

void CWSkimmerWindow::activateRow(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= rows_.size() || !hooks_.tune)
        return;
    hooks_.tune(rows_[static_cast<size_t>(index)]);
}
