// The explanation's message box; its texts belong to AccessibilityAuth.
#include "views/AccessibilityExplanation.h"

#include "services/AccessibilityAuth.h"

#include <QMessageBox>
#include <QPushButton>

namespace AccessibilityExplanation {

bool ask() {
    QMessageBox box;
    box.setIcon(QMessageBox::Information);
    box.setWindowTitle(QStringLiteral("Quillbay"));
    box.setText(AccessibilityAuth::explanationMessage());
    box.setInformativeText(AccessibilityAuth::explanationText());
    QPushButton* accept = box.addButton(AccessibilityAuth::continueButton(), QMessageBox::AcceptRole);
    box.addButton(AccessibilityAuth::notNowButton(), QMessageBox::RejectRole);
    box.setDefaultButton(accept);
    // Asked from the island or the picker, which float above ordinary windows.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    return box.clickedButton() == accept;
}

} // namespace AccessibilityExplanation
