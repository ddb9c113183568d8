#include "ui/window/port_combo.h"

#include <QAbstractItemView>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <utility>

namespace sphyra {

PortCombo::PortCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    for (int index = 0; index < kPortCount; ++index) addItem(ShortName(index));
}

void PortCombo::SetLabelSource(LabelSource source) {
    // Not asked now: finding the devices lists the system's serial ports, which costs tens of
    // milliseconds at start-up and is only needed once the operator opens the list.
    m_source = std::move(source);
}

void PortCombo::RefreshLabels() {
    const QStringList labels = m_source ? m_source() : QStringList();
    for (int index = 0; index < kPortCount; ++index)
        setItemText(index, index < labels.size() ? labels[index] : ShortName(index));
}

void PortCombo::showPopup() {
    RefreshLabels();
    // The device names make the items wider than the box.
    QAbstractItemView* list = view();
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() + 24);
    QComboBox::showPopup();
}

void PortCombo::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    if (currentIndex() >= 0) option.currentText = ShortName(currentIndex());
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

}  // namespace sphyra
