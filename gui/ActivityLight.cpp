#include "gui/ActivityLight.h"

#include <QPainter>

ActivityLight::ActivityLight(QWidget* parent)
    : QWidget(parent) {
    setFixedSize(sizeHint());
}

void ActivityLight::setColor(const QColor& color) {
    if (color_ == color)
        return;
    color_ = color;
    update();
}

void ActivityLight::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::darkGray, 1));
    painter.setBrush(color_);
    painter.drawEllipse(rect().adjusted(1, 1, -1, -1));
}
