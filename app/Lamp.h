#pragma once

// One of the main window's indicator lamps: a filled rectangle in a plain one-pixel box. Its
// colour is its own, not a palette's: on a busy line a lamp changes ten times a second, and a
// palette change is resolved and sent through the widget each time, which cost more than the
// drawing. On X11 the X server fills the rectangle itself (see Lamp.cpp).

#include <QColor>
#include <QWidget>

class ServerFill;

class Lamp final : public QWidget
{
public:
    explicit Lamp(QWidget *parent);

    const QColor &Colour() const { return colour_; }
    void SetColour(const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QColor colour_;
    ServerFill *fill_ = nullptr; // on X11 only
};
