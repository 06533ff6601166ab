#include "app/Lamp.h"

#include <QGuiApplication>
#include <QPainter>
#include <qdrawutil.h>

#include <xcb/xcb.h>

#include <cstdint>

namespace
{

// Whether the X server's first screen (as a rule its only one) shows the usual 8-bit red, green and
// blue, in which a colour's pixel value is its RGB value; on any other the lamps draw themselves.
bool RgbScreen(xcb_connection_t *connection)
{
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (screen == nullptr)
        return false;
    for (auto depth = xcb_screen_allowed_depths_iterator(screen); depth.rem;
         xcb_depth_next(&depth)) {
        for (auto visual = xcb_depth_visuals_iterator(depth.data); visual.rem;
             xcb_visualtype_next(&visual)) {
            const xcb_visualtype_t &type = *visual.data;
            if (type.visual_id == screen->root_visual)
                return type._class == XCB_VISUAL_CLASS_TRUE_COLOR && type.red_mask == 0xff0000 &&
                       type.green_mask == 0x00ff00 && type.blue_mask == 0x0000ff;
        }
    }
    return false;
}

xcb_connection_t *XConnection()
{
    const auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

} // namespace

// The inside of a lamp on X11: a window of its own whose background the X server fills. A new
// colour is two small requests and no drawing; redrawing through Qt's shared-memory backing
// store costs a round trip to the server at each change, and a busy line changes the receive
// lamp ten times a second. The server also fills it again whenever it is uncovered.
class ServerFill final : public QWidget
{
public:
    ServerFill(QWidget *lamp, xcb_connection_t *connection) : QWidget(lamp), connection_(connection)
    {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
    }

    void SetPixel(std::uint32_t pixel)
    {
        pixel_ = pixel;
        if (testAttribute(Qt::WA_WState_Created))
            Fill();
    }

    QPaintEngine *paintEngine() const override { return nullptr; }

protected:
    void showEvent(QShowEvent * /*event*/) override { Fill(); }
    void paintEvent(QPaintEvent * /*event*/) override {}

private:
    void Fill()
    {
        const auto window = static_cast<xcb_window_t>(winId());
        xcb_change_window_attributes(connection_, window, XCB_CW_BACK_PIXEL, &pixel_);
        xcb_clear_area(connection_, 0, window, 0, 0, 0, 0);
        xcb_flush(connection_);
    }

    xcb_connection_t *connection_;
    std::uint32_t pixel_ = 0;
};

Lamp::Lamp(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent); // the fill covers every pixel
    if (xcb_connection_t *connection = XConnection(); connection && RgbScreen(connection))
        fill_ = new ServerFill(this, connection);
}

void Lamp::SetColour(const QColor &colour)
{
    if (colour == colour_)
        return;
    colour_ = colour;
    if (fill_ != nullptr)
        fill_->SetPixel(colour_.rgb() & 0xffffffU);
    else
        update();
}

void Lamp::paintEvent(QPaintEvent * /*event*/)
{
    QPainter painter(this);
    const QBrush fill(colour_);
    qDrawPlainRect(&painter, rect(), palette().color(QPalette::WindowText), 1, &fill);
}

void Lamp::resizeEvent(QResizeEvent * /*event*/)
{
    if (fill_ != nullptr)
        fill_->setGeometry(rect().adjusted(1, 1, -1, -1));
}
