#include "settings/frmInstellingen.h"

#include <QComboBox>

class LockableComboBox : public QComboBox
{
};

frmInstellingen::frmInstellingen(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Dialog), session_(session)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void frmInstellingen::UpdateScherm() {}
void frmInstellingen::SchermNaarVariabelen() {}
void frmInstellingen::LockInputs() {}
void frmInstellingen::UnLockInputs() {}
