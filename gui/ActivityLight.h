#pragma once
// A small round lamp that shows a session side's activity colour.

#include <QColor>
#include <QWidget>

class ActivityLight : public QWidget {
    Q_OBJECT
public:
    explicit ActivityLight(QWidget* parent = nullptr);
    void setColor(const QColor& color);
    QColor color() const { return color_; }
    QSize sizeHint() const override { return {14, 14}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_ = Qt::green;
};
