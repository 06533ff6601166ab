#include "app/Lamp.h"

#include <QPainter>
#include <qdrawutil.h>

Lamp::Lamp(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // the fill covers every pixel
}

void Lamp::SetColour(const QColor &colour)
{
    if (colour == colour_)
        return;
    colour_ = colour;
    update();
}

void Lamp::paintEvent(QPaintEvent * /*event*/)
{
    QPainter painter(this);
    const QBrush fill(colour_);
    qDrawPlainRect(&painter, rect(), palette().color(QPalette::WindowText), 1, &fill);
}
