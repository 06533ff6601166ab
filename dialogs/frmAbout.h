#pragma once

#include <QWidget>

// "About": the logo, the publisher, the version and the folder the program runs from. Shown
// modeless; Close or the close box deletes it, so the next showing reads the folder afresh.
class frmAbout final : public QWidget
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);
};
