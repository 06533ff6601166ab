#include "about/frmAbout.h"

frmAbout::frmAbout(QWidget *parent) : QWidget(parent, Qt::Dialog)
{
    setAttribute(Qt::WA_DeleteOnClose);
}
