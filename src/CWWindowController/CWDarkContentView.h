// The main window's content: the dark background under every control. It
// tells its owner about every size change so that the controls follow.
#pragma once

#include <QColor>
#include <QWidget>

#include <functional>

class CWDarkContentView : public QWidget {
public:
    using ResizeHandler = std::function<void(const QSize& size)>;

    explicit CWDarkContentView(QWidget* parent = nullptr);

    void setResizeHandler(ResizeHandler handler);

    static QColor backgroundColor();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    ResizeHandler resizeHandler_;
};
