#include "iplist/ui/ListEntryDialog.h"

namespace sondrel {

ListEntryDialog::ListEntryDialog(DialogExchange& exchange, IPrompter& prompter, QWidget* parent)
    : QDialog(parent), exchange_(exchange), prompter_(prompter) {
  setModal(true);
}

void ListEntryDialog::Command2_Click() { reject(); }

void ListEntryDialog::reject() {
  result_.leave();
  QDialog::reject();
}

}  // namespace sondrel
