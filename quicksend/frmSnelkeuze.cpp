#include "quicksend/frmSnelkeuze.h"

frmSnelkeuze::frmSnelkeuze(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Dialog), session_(session)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void frmSnelkeuze::VariabelenNaarVelden() {}
void frmSnelkeuze::InvoerNaarVariabelen() {}
void frmSnelkeuze::UnLockInvoer() {}
void frmSnelkeuze::LockInvoer() {}
bool frmSnelkeuze::eventFilter(QObject *watched, QEvent *event)
{
    return QWidget::eventFilter(watched, event);
}
