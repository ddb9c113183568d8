#pragma once

#include <QComboBox>
#include <QStringList>
#include <functional>

namespace sphyra {

// The port drop-down list: "COM1" … "COM16". Where a COM number stands for a device of another
// name (Linux), the opened list shows it too, e.g. "COM1 (ttyUSB0)", while the closed box keeps
// the short name that fits it. The labels are fetched again each time the list opens, since
// adapters come and go.
class PortCombo : public QComboBox {
    Q_OBJECT
public:
    static constexpr int kPortCount = 16;

    // Returns the labels of COM1 … COM16 in order.
    using LabelSource = std::function<QStringList()>;

    explicit PortCombo(QWidget* parent = nullptr);

    // The source is first asked when the list opens.
    void SetLabelSource(LabelSource source);
    // Relabels the items; the selection stays where it was.
    void RefreshLabels();

    void showPopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static QString ShortName(int index) { return QStringLiteral("COM%1").arg(index + 1); }

    LabelSource m_source;
};

}  // namespace sphyra
