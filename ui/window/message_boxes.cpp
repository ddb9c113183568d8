#include "ui/window/message_boxes.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace sphyra {

namespace {

void Show(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, MessageBoxes::Title(), text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace

QString MessageBoxes::Title() {
    // Qt falls back to the executable's base name when the name was never set.
    return QCoreApplication::applicationName();
}

void MessageBoxes::ShowPlain(QWidget* owner, const QString& text) {
    Show(owner, QMessageBox::NoIcon, text);
}

void MessageBoxes::ShowStop(QWidget* owner, const QString& text) {
    Show(owner, QMessageBox::Critical, text);
}

}  // namespace sphyra
