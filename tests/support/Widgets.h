#pragma once

// Driving windows the way the tests do: finding a control by its object name, clicking it, and
// catching the message box a click opens.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

// The child of `window` named `name`; a missing one fails the calling test.
template <class T> T *Find(const QWidget &window, const QString &name)
{
    T *widget = window.findChild<T *>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
}

inline void Click(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

struct SeenMessage {
    QString title;
    QString text;
};

// Clicks `button`; when that opens a modal message box, notes it, runs `whileShown` and presses
// its OK button.
inline std::optional<SeenMessage> ClickAndCatchMessage(QAbstractButton *button,
                                                       std::function<void()> whileShown = {})
{
    std::optional<SeenMessage> seen;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        watch.stop();
        seen = SeenMessage{box->windowTitle(), box->text()};
        if (whileShown)
            whileShown();
        box->button(QMessageBox::Ok)->click();
    });
    watch.start(10);
    Click(button);
    return seen;
}
