#include "ui/window/monitor_layout.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "acquisition/tick_clock.h"
#include "ui/common/cjk_font.h"
#include "ui/window/dialog_units.h"
#include "ui/window/port_combo.h"
#include "ui/window/sensor_monitor_dlg.h"

namespace sphyra {
namespace {

TEST(DialogUnitsTest, MulDivRoundsHalvesAwayFromZero) {
    EXPECT_EQ(DialogUnits::MulDiv(5, 3, 2), 8);     // 7.5
    EXPECT_EQ(DialogUnits::MulDiv(-5, 3, 2), -8);   // -7.5
    EXPECT_EQ(DialogUnits::MulDiv(41, 7, 4), 72);   // 71.75
    EXPECT_EQ(DialogUnits::MulDiv(50, 7, 4), 88);   // 87.5
    EXPECT_EQ(DialogUnits::MulDiv(9, 7, 4), 16);    // 15.75
    EXPECT_EQ(DialogUnits::MulDiv(10, 13, 8), 16);  // 16.25
    EXPECT_EQ(DialogUnits::MulDiv(1, 1, 0), -1);
}

TEST(DialogUnitsTest, MapsEachCoordinateOnItsOwn) {
    const DialogUnits units(7, 16);
    EXPECT_EQ(units.Rect(41, 290, 50, 126), QRect(72, 580, 88, 252));
    EXPECT_EQ(units.Size(562, 356), QSize(984, 712));
}

TEST(DialogUnitsTest, BaseUnitsComeFromTheLettersAndHeightOfTheFont) {
    const QFont font = CjkFont::Font(CjkFont::kDialogPointSize);
    const QFontMetrics metrics(font);
    const DialogUnits units(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(units.BaseX(), (letters / 26 + 1) / 2);
    EXPECT_EQ(units.BaseY(), metrics.height());
    EXPECT_EQ(units.X(4), units.BaseX());
    EXPECT_EQ(units.Y(8), units.BaseY());
}

TEST(CjkFontTest, FindsAnInstalledFontThatDrawsTheCaptions) {
    const QString family = CjkFont::Family();
    ASSERT_FALSE(family.isEmpty()) << "this machine needs a CJK font for the window tests";
    EXPECT_TRUE(CjkFont::RendersChinese(family));
    EXPECT_FALSE(CjkFont::RendersChinese(QStringLiteral("No Such Family 12345")));
    EXPECT_FALSE(CjkFont::RendersChinese(QStringLiteral("DejaVu Sans")));
    EXPECT_EQ(QApplication::font().family(), family);
}

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_window = std::make_unique<CSensorMonitorDlg>(
            m_dir.filePath(QStringLiteral("s.ini")).toStdString(), &m_clock);
    }
    QWidget* Control(int id) const {
        return m_window->findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
    }
    static QString Caption(const QWidget* widget) {
        if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
        if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
        if (auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
        return {};
    }

    QTemporaryDir m_dir;
    ManualTickClock m_clock;
    std::unique_ptr<CSensorMonitorDlg> m_window;
};

TEST_F(LayoutTest, WindowIsAFixedSizeMinimisableTopLevelWindow) {
    const DialogUnits units(m_window->font());
    EXPECT_EQ(m_window->size(), units.Size(562, 356));
    EXPECT_EQ(m_window->minimumSize(), m_window->maximumSize());
    const Qt::WindowFlags flags = m_window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window);
    EXPECT_FALSE(m_window->windowIcon().isNull());
}

TEST_F(LayoutTest, EveryControlSitsWhereTheTableSaysInItsInitialState) {
    const DialogUnits units(m_window->font());
    for (const ControlSpec& entry : MonitorLayout::Controls()) {
        if (entry.id == kNoId || entry.kind == ControlKind::SerialControl) continue;
        SCOPED_TRACE(entry.id);
        QWidget* widget = Control(entry.id);
        ASSERT_NE(widget, nullptr);
        const QRect rect = units.Rect(entry.x, entry.y, entry.width, entry.height);
        if (qobject_cast<QComboBox*>(widget) != nullptr) {
            EXPECT_EQ(widget->geometry().topLeft(), rect.topLeft());  // height from the font
        } else {
            EXPECT_EQ(widget->geometry(), rect);
        }
        if (entry.caption[0] != '\0' && entry.id != 1049) {  // 1049 is emptied at start
            EXPECT_EQ(Caption(widget), QString::fromUtf8(entry.caption));
        }
        EXPECT_EQ(widget->isEnabled(), (entry.flags & kDisabled) == 0);
        EXPECT_EQ(widget->isHidden(), (entry.flags & kHidden) != 0);
    }
    // The serial control has no widget of its own.
    EXPECT_EQ(Control(1010), nullptr);
    // Six plain texts, 1049, 1050 and the picture.
    EXPECT_EQ(m_window->findChildren<QLabel*>(Qt::FindDirectChildrenOnly).size(), 9);
    EXPECT_FALSE(m_window->Controls().autoPurge->isChecked());
}

TEST_F(LayoutTest, ControlsHaveTheirKindAndLook) {
    const MonitorControls& c = m_window->Controls();
    EXPECT_FALSE(c.port->isEditable());
    EXPECT_EQ(c.port->count(), 16);
    EXPECT_TRUE(c.baud->isEditable());
    QStringList rates;
    for (int i = 0; i < c.baud->count(); ++i) rates << c.baud->itemText(i);
    EXPECT_EQ(rates, (QStringList{"9600", "19200", "38400", "57600", "115200"}));
    for (QLineEdit* edit : {c.gain, c.battery, c.address, c.interval})
        EXPECT_TRUE(edit->isReadOnly());
    EXPECT_EQ(c.prompt->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(c.hints->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(c.list->viewMode(), QListView::IconMode);
    EXPECT_EQ(c.list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(c.list->flow(), QListView::LeftToRight);
}

TEST_F(LayoutTest, TabOrderFollowsTheTable) {
    std::vector<QWidget*> expected;
    for (const ControlSpec& entry : MonitorLayout::Controls()) {
        QWidget* widget = entry.id == kNoId ? nullptr : Control(entry.id);
        if (widget != nullptr && widget->focusPolicy() != Qt::NoFocus) expected.push_back(widget);
    }
    ASSERT_GE(expected.size(), 15U);
    for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
        // Skip what cannot take focus and the inner widgets a control brings along (the baud
        // combo's edit field).
        QWidget* next = expected[i]->nextInFocusChain();
        while (next->parentWidget() != m_window.get() || next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        EXPECT_EQ(next, expected[i + 1]) << expected[i]->objectName().toStdString();
    }
}

TEST_F(LayoutTest, CaptionsFitTheirControls) {
    for (const QLabel* label : m_window->findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width())
            << label->text().toStdString();
        EXPECT_LE(metrics.height(), label->height() + 1) << label->text().toStdString();
    }
    for (const QPushButton* button : m_window->findChildren<QPushButton*>()) {
        const QFontMetrics metrics(button->font());
        EXPECT_LE(metrics.horizontalAdvance(button->text()) + 8, button->width())
            << button->text().toStdString();
    }
    for (const QCheckBox* box : m_window->findChildren<QCheckBox*>()) {
        const QStyle* style = box->style();
        const int needed = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                           style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box) +
                           QFontMetrics(box->font()).horizontalAdvance(box->text());
        EXPECT_LE(needed, box->width()) << box->text().toStdString();
    }
}

}  // namespace
}  // namespace sphyra
