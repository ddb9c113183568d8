#include "ui/list/sensor_list.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "acquisition/sensor_frame.h"
#include "ui/list/sensor_image_strip.h"
#include "ui/list/sensor_row_label.h"
#include "ui/view/wave_view.h"

namespace sphyra {
namespace {

// Stands in for the main window: hands the view its samples and the list its rows,
// and counts how often a sensor was put on display.
class ForwardingDisplay final : public SensorDisplay {
public:
    CWaveView* view = nullptr;
    SensorList* list = nullptr;
    int selections = 0;

    void AddSample(std::uint16_t value) override { view->AddSample(value); }
    void AddSensorRow(const SensorRecord& record) override { list->AddSensorRow(record); }
    void UpdateSensorRow(const SensorRecord& record) override { list->UpdateSensorRow(record); }
    void SelectSensor(const SensorRecord& record) override {
        ++selections;
        list->SelectSensor(record);
    }
};

class SensorListTest : public ::testing::Test {
protected:
    SensorListTest() : m_acquisition(m_clock, m_display) {
        m_window.resize(640, 320);
        m_list = new QListWidget(&m_window);
        m_list->setGeometry(4, 4, 600, 90);
        m_view = new CWaveView(&m_window);
        m_view->setGeometry(4, 110, 600, 200);
        m_readouts = {new QLineEdit(&m_window), new QLineEdit(&m_window), new QLineEdit(&m_window),
                      new QLineEdit(&m_window),
                      new QGroupBox(QStringLiteral("采样波形"), &m_window)};
        m_sensors =
            std::make_unique<SensorList>(m_list, m_view, m_readouts, m_acquisition, m_clock);
        m_display.view = m_view;
        m_display.list = m_sensors.get();
        m_window.show();
    }

    // Sends one well-formed frame through the whole receive path.
    void Hear(std::uint8_t address, std::uint8_t battery = 90, int samples = 4,
              std::uint8_t gain = 3) {
        std::vector<std::uint8_t> frame = {
            kSync1, kSync2, address, gain, battery, 0, static_cast<std::uint8_t>(samples)};
        for (int i = 0; i < samples; ++i) frame.push_back(static_cast<std::uint8_t>(i + address));
        frame.push_back(Checksum8(frame.data(), static_cast<int>(frame.size())));
        m_acquisition.Receive(frame.data(), frame.size());
    }

    std::optional<std::uint8_t> Selected() const {
        return m_acquisition.Applier().SelectedAddress();
    }
    int Highlighted() const {
        const QList<QListWidgetItem*> items = m_list->selectedItems();
        return items.isEmpty() ? -1 : m_list->row(items.first());
    }
    QString Text(int row) const { return m_list->item(row)->text(); }
    QPoint CentreOf(int row) const { return m_list->visualItemRect(m_list->item(row)).center(); }
    // The list acts on a click once the click's own handling is over; let it.
    void Click(QPoint at) {
        QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, at);
        QCoreApplication::processEvents();
    }
    void Key(Qt::Key key) { QTest::keyClick(m_list, key); }

    QWidget m_window;
    ManualTickClock m_clock{1000};
    ForwardingDisplay m_display;
    SensorAcquisition m_acquisition;
    QListWidget* m_list = nullptr;
    CWaveView* m_view = nullptr;
    SensorList::Readouts m_readouts;
    std::unique_ptr<SensorList> m_sensors;
};

TEST_F(SensorListTest, FirstSensorGetsARowAndIsShownWithoutHighlight) {
    Hear(5, 90, 6);
    ASSERT_EQ(m_list->count(), 1);
    EXPECT_EQ(Text(0), QStringLiteral("传感器_5\n[90%] --"));
    EXPECT_EQ(m_list->item(0)->data(Qt::UserRole).toInt(), 5);
    EXPECT_EQ(Highlighted(), -1);
    EXPECT_EQ(Selected(), 5);
    EXPECT_EQ(m_view->Count(), 6);
    EXPECT_EQ(m_readouts.waveGroup->title(), QStringLiteral("采样波形[传感器_5]"));
    EXPECT_EQ(m_readouts.address->text(), "5");
    EXPECT_EQ(m_readouts.interval->text(), "0");
    EXPECT_EQ(m_readouts.gain->text(), "3");
    EXPECT_EQ(m_readouts.battery->text(), "90%");

    // A second sensor only joins the list.
    Hear(8, 70);
    ASSERT_EQ(m_list->count(), 2);
    EXPECT_EQ(Text(1), QStringLiteral("传感器_8\n[70%] --"));
    EXPECT_EQ(Selected(), 5);
    EXPECT_EQ(m_display.selections, 1);
}

TEST_F(SensorListTest, ChangesRefreshTheRowAndOnlyTheSelectedSensorsReadouts) {
    Hear(5, 90);
    Hear(8, 70);
    m_clock.Advance(40);
    Hear(8, 65, 4, 9);
    EXPECT_EQ(Text(1), QStringLiteral("传感器_8\n[65%] --"));
    EXPECT_EQ(m_readouts.battery->text(), "90%");
    EXPECT_EQ(m_readouts.gain->text(), "3");

    Hear(5, 88);
    EXPECT_EQ(Text(0), QStringLiteral("传感器_5\n[88%] --"));
    EXPECT_EQ(m_readouts.battery->text(), "88%");
    EXPECT_EQ(m_readouts.interval->text(), "40");
}

TEST_F(SensorListTest, AFrameThatChangesNothingATileShowsLeavesTheTileAlone) {
    Hear(5, 90);
    Hear(8, 70);
    int rowChanges = 0;
    QObject::connect(m_list->model(), &QAbstractItemModel::dataChanged, [&] { ++rowChanges; });
    const int relabels = m_sensors->RelabelCount();

    // New intervals and samples, same battery: the rows are asked to update and stay put.
    for (int i = 0; i < 5; ++i) {
        m_clock.Advance(20 + i);
        Hear(5, 90);
        Hear(8, 70);
    }
    m_sensors->RefreshRows();
    EXPECT_EQ(rowChanges, 0);
    EXPECT_EQ(m_sensors->RelabelCount(), relabels);
    EXPECT_EQ(m_readouts.interval->text(), "24");

    // A new battery level is something the tile shows.
    Hear(8, 69);
    EXPECT_EQ(Text(1), QStringLiteral("传感器_8\n[69%] --"));
    EXPECT_EQ(m_sensors->RelabelCount(), relabels + 1);
    EXPECT_GT(rowChanges, 0);
}

TEST_F(SensorListTest, SilentRowIsRelabelledWhenUpdated) {
    Hear(5);
    m_clock.Advance(10001);
    m_sensors->UpdateSensorRow(*m_acquisition.Table().FindSensor(5));
    EXPECT_EQ(Text(0), QStringLiteral("传感器_5\n[--]"));
    const QSize size(kSensorImageWidth, kSensorImageHeight);
    const QImage shown = m_list->item(0)->icon().pixmap(size).toImage();
    const QImage silent = LoadSensorImageStrip()[kSensorImageSilent].toImage();
    EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32),
              silent.convertToFormat(QImage::Format_ARGB32));
}

TEST_F(SensorListTest, ClickingARowShowsItsRecentHistory) {
    Hear(5);
    for (int i = 0; i < 30; ++i) Hear(8, 70, kMaxFrameSamples);  // more than the ring holds
    Click(CentreOf(1));
    EXPECT_EQ(Selected(), 8);
    EXPECT_EQ(Highlighted(), 1);
    EXPECT_EQ(m_readouts.waveGroup->title(), QStringLiteral("采样波形[传感器_8]"));
    EXPECT_EQ(m_readouts.address->text(), "8");
    EXPECT_EQ(m_readouts.battery->text(), "70%");
    // A live sensor: the newest samples, as far back as its current sweep would reach.
    const int sent = 30 * kMaxFrameSamples;
    const int capacity = m_view->Capacity();
    const int sweep = (sent - 1) % capacity + 1;
    ASSERT_EQ(m_view->Count(), sweep);
    const auto sentValue = [](int n) { return n % kMaxFrameSamples + 8; };
    EXPECT_EQ(m_view->Sample(sweep - 1), sentValue(sent - 1));
    EXPECT_EQ(m_view->Sample(0), sentValue(sent - sweep));

    // A silent one has no sweep to continue: as many of its newest samples as fit.
    m_clock.Advance(10001);
    Click(CentreOf(1));
    const int fits = std::min<int>(capacity, static_cast<int>(SampleRing::kMaxSamples));
    ASSERT_EQ(m_view->Count(), fits);
    EXPECT_EQ(m_view->Sample(0), sentValue(sent - fits));
    EXPECT_TRUE(m_view->IsSilent());

    // Another sensor's samples stay out of the view.
    const int before = m_view->Count();
    Hear(5);
    EXPECT_EQ(m_view->Count(), before);

    // Any button moves the highlight, so any button chooses.
    QTest::mouseClick(m_list->viewport(), Qt::RightButton, {}, CentreOf(0));
    QCoreApplication::processEvents();
    EXPECT_EQ(Highlighted(), 0);
    EXPECT_EQ(Selected(), 5);
}

TEST_F(SensorListTest, ClickOnEmptySpaceChangesNothing) {
    Hear(5);
    Hear(8);
    const QPoint empty(580, 20);
    ASSERT_FALSE(m_list->indexAt(empty).isValid());

    Click(empty);
    EXPECT_EQ(m_display.selections, 1);
    EXPECT_EQ(Selected(), 5);
    EXPECT_EQ(Highlighted(), -1);

    Click(CentreOf(1));
    EXPECT_EQ(m_display.selections, 2);
    EXPECT_EQ(Highlighted(), 1);
    Click(CentreOf(1));  // the same row again shows it afresh
    EXPECT_EQ(m_display.selections, 3);
    // Empty space takes the highlight away but keeps the sensor on display.
    Click(empty);
    EXPECT_EQ(m_display.selections, 3);
    EXPECT_EQ(Selected(), 8);
    EXPECT_EQ(Highlighted(), -1);
}

TEST_F(SensorListTest, KeysMoveTheChoiceAndTheHighlightTogether) {
    Key(Qt::Key_Right);  // empty list: nothing to choose
    EXPECT_EQ(m_display.selections, 0);

    for (const int address : {5, 0, 8, 3}) Hear(static_cast<std::uint8_t>(address));
    ASSERT_EQ(Selected(), 5);
    ASSERT_EQ(Highlighted(), -1);

    Key(Qt::Key_Left);  // nothing highlighted: Left also lands on the first row
    EXPECT_EQ(Highlighted(), 0);
    EXPECT_EQ(Selected(), 5);
    Key(Qt::Key_Down);
    EXPECT_EQ(Highlighted(), 1);
    EXPECT_EQ(Selected(), 0);  // address 0 is a sensor like any other
    EXPECT_EQ(m_readouts.address->text(), "0");
    Key(Qt::Key_End);
    EXPECT_EQ(Highlighted(), 3);
    EXPECT_EQ(Selected(), 3);
    Key(Qt::Key_Right);
    EXPECT_EQ(Highlighted(), 3);
    Key(Qt::Key_Up);
    EXPECT_EQ(Highlighted(), 2);
    EXPECT_EQ(Selected(), 8);
    Key(Qt::Key_Home);
    EXPECT_EQ(Highlighted(), 0);
    Key(Qt::Key_Up);
    EXPECT_EQ(Highlighted(), 0);
    EXPECT_EQ(Selected(), 5);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Selected(), 3);

    const int before = m_display.selections;
    Key(Qt::Key_A);  // any other key shows the highlighted sensor afresh
    EXPECT_EQ(m_display.selections, before + 1);
    EXPECT_EQ(Selected(), 3);
}

TEST_F(SensorListTest, WithNoHighlightAnyKeyChoosesTheFirstRow) {
    Hear(5);
    Hear(8);
    m_acquisition.Applier().SelectSensor(8);
    Key(Qt::Key_Right);
    EXPECT_EQ(Selected(), 5);
    EXPECT_EQ(Highlighted(), 0);

    m_list->clearSelection();
    m_acquisition.Applier().SelectSensor(8);
    Key(Qt::Key_Space);
    EXPECT_EQ(Selected(), 5);
    EXPECT_EQ(Highlighted(), 0);
}

TEST_F(SensorListTest, FocusKeysLeaveTheChoiceAlone) {
    Hear(5);
    Hear(8);
    m_acquisition.Applier().SelectSensor(8);
    const int before = m_display.selections;
    Key(Qt::Key_Tab);
    Key(Qt::Key_Escape);
    Key(Qt::Key_Return);
    EXPECT_EQ(m_display.selections, before);
    EXPECT_EQ(Selected(), 8);
}

TEST_F(SensorListTest, PurgeDropsSensorsSilentForMoreThanThirtySeconds) {
    Hear(1);
    Hear(2);
    m_clock.Advance(1);
    Hear(3);
    m_clock.Advance(1);
    Hear(4);
    m_clock.Advance(30000);  // 1 and 2: 30002 ms, 3: 30001 ms, 4: exactly 30000 ms
    m_sensors->PurgeOfflineSensors();
    ASSERT_EQ(m_list->count(), 1);
    EXPECT_EQ(m_list->item(0)->data(Qt::UserRole).toInt(), 4);
    EXPECT_EQ(m_acquisition.Table().Size(), 1u);
    EXPECT_NE(m_acquisition.Table().FindSensor(4), nullptr);

    m_clock.Advance(1);
    m_sensors->PurgeOfflineSensors();
    EXPECT_EQ(m_list->count(), 0);
    EXPECT_EQ(m_acquisition.Table().Size(), 0u);
}

TEST_F(SensorListTest, PurgeKeepsSensorsHeardAcrossTheTickWrap) {
    m_clock.Set(0xFFFFFF00u);
    Hear(1);
    m_clock.Set(0x00000100u);  // 512 ms later
    m_sensors->PurgeOfflineSensors();
    EXPECT_EQ(m_list->count(), 1);
}

TEST_F(SensorListTest, PurgedSelectedSensorStaysOnDisplayAndComesBackUnselected) {
    Hear(5);
    Hear(8);
    m_clock.Advance(20000);
    Hear(9);
    Click(CentreOf(1));
    ASSERT_EQ(Selected(), 8);
    const int shown = m_view->Count();
    const int selections = m_display.selections;
    const QString caption = m_readouts.waveGroup->title();

    m_clock.Advance(10001);
    m_sensors->PurgeOfflineSensors();
    ASSERT_EQ(m_list->count(), 1);
    EXPECT_EQ(m_list->item(0)->data(Qt::UserRole).toInt(), 9);
    EXPECT_EQ(Highlighted(), -1);  // the highlight does not wander to the survivor
    EXPECT_EQ(Selected(), 8);
    EXPECT_EQ(m_view->Count(), shown);
    EXPECT_EQ(m_readouts.waveGroup->title(), caption);
    EXPECT_EQ(m_readouts.address->text(), "8");

    Hear(8, 70, 5);
    ASSERT_EQ(m_list->count(), 2);
    EXPECT_EQ(m_list->item(1)->data(Qt::UserRole).toInt(), 8);
    EXPECT_EQ(Highlighted(), -1);
    EXPECT_EQ(m_display.selections, selections);
    EXPECT_EQ(m_view->Count(), shown + 5);
}

TEST_F(SensorListTest, TwoLineLabelsFitTheirCells) {
    for (const int address : {0, 12, 128, 255}) Hear(static_cast<std::uint8_t>(address), 100);
    m_clock.Advance(10001);
    m_sensors->UpdateSensorRow(*m_acquisition.Table().FindSensor(128));
    Click(CentreOf(1));

    const QSize grid = m_list->gridSize();
    for (int row = 0; row < m_list->count(); ++row) {
        const QRect rect = m_list->visualItemRect(m_list->item(row));
        EXPECT_LE(rect.width(), grid.width()) << row;
        EXPECT_LE(rect.height(), grid.height()) << row;
        EXPECT_GE(rect.height(), kSensorImageHeight + 2 * m_list->fontMetrics().height()) << row;
    }
    // All four sit side by side in one row of the strip.
    EXPECT_EQ(m_list->visualItemRect(m_list->item(3)).top(),
              m_list->visualItemRect(m_list->item(0)).top());

    const QByteArray dir = qgetenv("SPHYRA_GRAB_DIR");
    if (!dir.isEmpty()) m_list->grab().save(QString::fromLocal8Bit(dir) + "/sensor_list.png");
}

}  // namespace
}  // namespace sphyra
