#include "ui/window/monitor_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>

#include "ui/window/app_icon.h"
#include "ui/window/dialog_units.h"
#include "ui/window/port_combo.h"

namespace sphyra {

namespace {

using K = ControlKind;

// Captions are looked up in the translation at creation; the marks let lupdate find them.
// clang-format off
constexpr ControlSpec kControls[] = {
    {1017, K::Button,       QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "开始采样"), 148, 288, 40, 18, kDisabled},
    {1018, K::Button,       QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "停止采样"), 198, 288, 40, 18, kDisabled},
    {1016, K::Button,       QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "退 出"),    489, 333, 50, 18},
    {1024, K::GrayFrame,    "",          4,  81, 553, 176},
    {1039, K::GroupBox,     QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "采样波形"),   2,  67, 557, 192},
    {1049, K::Text,         QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "提示信息1"),  7, 261, 245, 10, 0, 0x0000FF},
    {1050, K::Text,         QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "测试要领："), 221, 343, 215, 12, kHidden, 0xFF0000},
    {1002, K::Button,       QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "打开"),      98, 288, 40, 18},
    {1003, K::PortList,     "",          41, 290, 50, 126},
    {kNoId, K::Text,        QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "放大倍数:"), 351, 292, 35, 8},
    {kNoId, K::Text,        QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "电池电量:"), 351, 310, 35, 8},
    {1004, K::ReadOnlyEdit, "",         388, 290, 35, 14},
    {1006, K::ReadOnlyEdit, "",         388, 308, 35, 14},
    {1008, K::Button,       QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "读设备地址"), 501, 306, 46, 15, kHidden},
    {1009, K::ReadOnlyEdit, "",         297, 290, 40, 14},
    {1010, K::SerialControl, "",        189, 333, 22, 23, kHidden},
    {1012, K::CheckBox,     QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "自动停止"),  148, 312, 44, 9, kHidden},
    {kNoId, K::GroupBox,    QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "通信控制"),   2, 274, 245, 52},
    {1020, K::CheckBox,     QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "自动调整"),  198, 312, 44, 10, kHidden},
    {kNoId, K::Picture,     "",           4, 330, 151, 25},
    {kNoId, K::Text,        QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "波特率:"),   10, 310, 30, 8},
    {1001, K::BaudCombo,    "",          41, 308, 50, 158, kDisabled},
    {1021, K::CheckBox,     QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "软件滤波"),   98, 312, 46, 8, kDisabled},
    {kNoId, K::GroupBox,    QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "设备信息"),  252, 274, 306, 52},
    {kNoId, K::Text,        QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "端  口:"),   10, 292, 28, 8},
    {kNoId, K::Text,        QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "设备地址:"), 260, 292, 35, 8},
    {3002, K::ListView,     "",           4,   4, 553, 55},
    {kNoId, K::Text,        QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "数据间隔:"), 260, 310, 35, 8},
    {1011, K::ReadOnlyEdit, "",         297, 308, 40, 14},
    {1023, K::CheckBox,     QT_TRANSLATE_NOOP("sphyra::MonitorLayout", "自动清除不在线设备"), 478, 59, 83, 10},
};
// clang-format on

constexpr const char* kBaudRates[] = {"9600", "19200", "38400", "57600", "115200"};

// Combo boxes take their height from the font; the template height is that of the open list.
void SetDropDownGeometry(QComboBox* combo, const QRect& rect) {
    const int boxHeight = combo->sizeHint().height();
    combo->setGeometry(rect.x(), rect.y(), rect.width(), boxHeight);
    const int itemHeight = std::max(1, combo->fontMetrics().height());
    combo->setMaxVisibleItems(std::max(1, (rect.height() - boxHeight) / itemHeight));
}

QWidget* CreateControl(const ControlSpec& entry, QWidget* dialog, const QRect& rect) {
    const QString caption = QCoreApplication::translate("sphyra::MonitorLayout", entry.caption);
    switch (entry.kind) {
        case K::Button:
            return new QPushButton(caption, dialog);
        case K::GrayFrame: {
            auto* frame = new QFrame(dialog);
            frame->setFrameStyle(QFrame::Box | QFrame::Plain);
            QPalette palette = frame->palette();
            palette.setColor(QPalette::WindowText, palette.color(QPalette::Dark));
            frame->setPalette(palette);
            return frame;
        }
        case K::GroupBox:
            return new QGroupBox(caption, dialog);
        case K::Text:
            return new QLabel(caption, dialog);
        case K::PortList:
            return new PortCombo(dialog);
        case K::BaudCombo: {
            auto* combo = new QComboBox(dialog);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            for (const char* rate : kBaudRates) combo->addItem(QString::fromLatin1(rate));
            return combo;
        }
        case K::ReadOnlyEdit: {
            auto* edit = new QLineEdit(dialog);
            edit->setReadOnly(true);
            QPalette palette = edit->palette();
            palette.setColor(QPalette::Base, palette.color(QPalette::Window));
            edit->setPalette(palette);
            // Their texts are digits, a per cent sign or dashes, which look the same unshaped;
            // Qt then lays a new text out in about half the time.
            QFont unshaped;
            unshaped.setStyleStrategy(QFont::PreferNoShaping);
            edit->setFont(unshaped);
            return edit;
        }
        case K::SerialControl:
            return nullptr;
        case K::CheckBox:
            return new QCheckBox(caption, dialog);
        case K::Picture: {
            auto* picture = new QLabel(dialog);
            const qreal ratio = dialog->devicePixelRatioF();
            QPixmap logo = AppIcon::Logo().scaled(rect.size() * ratio, Qt::KeepAspectRatio,
                                                  Qt::SmoothTransformation);
            logo.setDevicePixelRatio(ratio);
            picture->setPixmap(logo);
            picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return picture;
        }
        case K::ListView: {
            auto* list = new QListWidget(dialog);
            list->setViewMode(QListView::IconMode);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setFlow(QListView::LeftToRight);
            list->setWrapping(false);
            list->setMovement(QListView::Static);
            list->setResizeMode(QListView::Adjust);
            list->setFocusPolicy(Qt::StrongFocus);
            return list;
        }
    }
    return nullptr;
}

template <typename T>
T* Find(QWidget* dialog, int id) {
    return dialog->findChild<T*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

}  // namespace

QString MonitorLayout::Title() {
    return QCoreApplication::translate("sphyra::MonitorLayout", kTitle);
}

std::span<const ControlSpec> MonitorLayout::Controls() {
    return kControls;
}

MonitorControls MonitorLayout::Build(QWidget* dialog, const DialogUnits& units) {
    QWidget* previousFocusable = nullptr;
    for (const ControlSpec& entry : kControls) {
        const QRect rect = units.Rect(entry.x, entry.y, entry.width, entry.height);
        QWidget* widget = CreateControl(entry, dialog, rect);
        if (widget == nullptr) continue;
        if (entry.id != kNoId) widget->setObjectName(QString::number(entry.id));
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            SetDropDownGeometry(combo, rect);
        else
            widget->setGeometry(rect);
        if (entry.textRgb >= 0) {
            QPalette palette = widget->palette();
            palette.setColor(QPalette::WindowText, QColor::fromRgb(QRgb(entry.textRgb)));
            widget->setPalette(palette);
        }
        if ((entry.flags & kDisabled) != 0) widget->setEnabled(false);
        if ((entry.flags & kHidden) != 0) widget->setVisible(false);

        if (entry.kind == K::GroupBox || entry.kind == K::GrayFrame || entry.kind == K::Picture) {
            // Drawn behind the controls they surround and never in the way of a click.
            widget->setAttribute(Qt::WA_TransparentForMouseEvents);
            widget->setFocusPolicy(Qt::NoFocus);
            widget->lower();
        }
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previousFocusable != nullptr) QWidget::setTabOrder(previousFocusable, widget);
            previousFocusable = widget;
        }
    }

    MonitorControls controls;
    controls.list = Find<QListWidget>(dialog, 3002);
    controls.softFilter = Find<QCheckBox>(dialog, 1021);
    controls.baud = Find<QComboBox>(dialog, 1001);
    controls.port = Find<PortCombo>(dialog, 1003);
    controls.openClose = Find<QPushButton>(dialog, 1002);
    controls.exit = Find<QPushButton>(dialog, 1016);
    controls.startSampling = Find<QPushButton>(dialog, 1017);
    controls.stopSampling = Find<QPushButton>(dialog, 1018);
    controls.readAddress = Find<QPushButton>(dialog, 1008);
    controls.autoStop = Find<QCheckBox>(dialog, 1012);
    controls.autoAdjust = Find<QCheckBox>(dialog, 1020);
    controls.autoPurge = Find<QCheckBox>(dialog, 1023);
    controls.prompt = Find<QLabel>(dialog, 1049);
    controls.hints = Find<QLabel>(dialog, 1050);
    controls.waveFrame = Find<QFrame>(dialog, 1024);
    controls.waveGroup = Find<QGroupBox>(dialog, 1039);
    controls.gain = Find<QLineEdit>(dialog, 1004);
    controls.battery = Find<QLineEdit>(dialog, 1006);
    controls.address = Find<QLineEdit>(dialog, 1009);
    controls.interval = Find<QLineEdit>(dialog, 1011);
    return controls;
}

}  // namespace sphyra
