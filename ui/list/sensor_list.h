#pragma once

// The sensor list as the main window sees it.

#include <QIcon>
#include <QObject>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "acquisition/sensor_acquisition.h"
#include "acquisition/tick_clock.h"

class QEvent;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace sphyra {

class CWaveView;

// The list of sensors heard (control 3002) and everything that follows from
// choosing one: the waveform view's contents, the group box caption and the
// four read-outs. Rows refer to their sensor by address only.
class SensorList : public QObject {
    Q_OBJECT
public:
    struct Readouts {
        QLineEdit* address = nullptr;    // 1009
        QLineEdit* interval = nullptr;   // 1011
        QLineEdit* gain = nullptr;       // 1004
        QLineEdit* battery = nullptr;    // 1006
        QGroupBox* waveGroup = nullptr;  // 1039
    };

    SensorList(QListWidget* list, CWaveView* view, Readouts readouts,
               SensorAcquisition& acquisition, const TickClock& clock, QObject* parent = nullptr);

    // The three row operations frame application calls through the window.
    void AddSensorRow(const SensorRecord& record);
    void UpdateSensorRow(const SensorRecord& record);
    void SelectSensor(const SensorRecord& record);

    // Run by the window's timer when automatic purging is on.
    void PurgeOfflineSensors();

    // Run by the window's timer at every tick: brings every row, and the displayed sensor's
    // caption, view and read-outs, up to date with time alone, which in practice means a
    // sensor crossing the silence mark. Rows whose label reads the same are left alone.
    void RefreshRows();

    // Labels every row, and shows the displayed sensor's read-outs, from the table as it is now:
    // what updating them frame by frame would have left.
    void RelabelRows();

    // Times a row's text or picture was actually changed, for telling how much work a
    // stream of frames causes.
    int RelabelCount() const { return m_relabels; }

    // A sensor silent for longer than this is dropped by the purge.
    static constexpr std::uint32_t kOfflineMs = 30000;

    // How many of a sensor's `count` newest samples go on a view holding `capacity`, given
    // that `received` samples have come from it in all.
    static std::size_t HistoryToShow(std::size_t count, std::uint64_t received, int capacity,
                                     bool silent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ConfigureList();
    void UpdateGrid();
    // Every row, or only those whose sensor crossed the silence mark; then the read-outs.
    void LabelRows(bool onlyAcrossSilence);
    void ApplyLabel(QListWidgetItem* item, const SensorRecord& record, Tick now);
    void ShowReadouts(const SensorRecord& record);
    void ScrollIntoView(QListWidgetItem* item);
    int SelectedRow() const;
    std::optional<std::uint8_t> RowAddress(int row) const;
    void OnListClicked();
    // True when the key has been dealt with in full and the list must not see it.
    bool OnListKey(int key);

    QListWidget* m_list;
    CWaveView* m_view;
    Readouts m_readouts;
    SensorAcquisition& m_acquisition;
    const TickClock& m_clock;
    std::vector<QIcon> m_images;
    // Each sensor's row, and the picture it shows, by address, so a frame finds its row
    // without a search.
    static constexpr int kNoImage = -1;
    std::array<QListWidgetItem*, 256> m_rows{};
    std::array<int, 256> m_rowImages{};
    // What each row's label was last made from: silent, battery, pulse rate (-1: none).
    std::array<std::array<int, 3>, 256> m_rowInputs{};
    int m_relabels = 0;
};

}  // namespace sphyra
