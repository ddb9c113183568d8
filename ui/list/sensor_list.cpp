#include "ui/list/sensor_list.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <algorithm>
#include <array>

#include "ui/list/sensor_image_strip.h"
#include "ui/list/sensor_list_keys.h"
#include "ui/list/sensor_row_label.h"
#include "ui/view/wave_view.h"

namespace sphyra {

namespace {

// Room around each icon and its two-line label inside a grid cell.
constexpr int kCellMarginX = 12;
constexpr int kCellMarginY = 10;

// Keys the window keeps for itself (focus moves, default and cancel buttons):
// they leave the list without choosing a sensor.
bool IsWindowKey(int key) {
    switch (key) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            return true;
        default:
            return false;
    }
}

// Keys that only choose a sensor; the list must not act on them as well.
bool IsNavigationKey(int key) {
    switch (key) {
        case Qt::Key_PageUp:
        case Qt::Key_Home:
        case Qt::Key_PageDown:
        case Qt::Key_End:
        case Qt::Key_Left:
        case Qt::Key_Up:
        case Qt::Key_Right:
        case Qt::Key_Down:
            return true;
        default:
            return false;
    }
}

}  // namespace

SensorList::SensorList(QListWidget* list, CWaveView* view, Readouts readouts,
                       SensorAcquisition& acquisition, const TickClock& clock, QObject* parent)
    : QObject(parent),
      m_list(list),
      m_view(view),
      m_readouts(readouts),
      m_acquisition(acquisition),
      m_clock(clock) {
    for (const QPixmap& image : LoadSensorImageStrip()) m_images.emplace_back(image);
    ConfigureList();
}

void SensorList::ConfigureList() {
    m_list->clear();
    m_list->setViewMode(QListView::IconMode);
    m_list->setFlow(QListView::LeftToRight);
    m_list->setWrapping(true);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setMovement(QListView::Static);
    m_list->setDragEnabled(false);
    m_list->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_list->setAcceptDrops(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setIconSize(QSize(kSensorImageWidth, kSensorImageHeight));
    m_list->setUniformItemSizes(true);
    m_list->setTextElideMode(Qt::ElideNone);
    m_list->setFocusPolicy(Qt::StrongFocus);

    // The chosen sensor stays visibly highlighted while the operator works elsewhere.
    QPalette palette = m_list->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    m_list->setPalette(palette);

    UpdateGrid();
    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
}

void SensorList::UpdateGrid() {
    const QFontMetrics metrics = m_list->fontMetrics();
    const int textWidth = std::max(metrics.horizontalAdvance(QStringLiteral("传感器_888")),
                                   metrics.horizontalAdvance(QStringLiteral("[100%] 888")));
    const int width = std::max(kSensorImageWidth, textWidth) + kCellMarginX;
    const int height = kSensorImageHeight + 2 * metrics.lineSpacing() + kCellMarginY;
    m_list->setGridSize(QSize(width, height));
}

void SensorList::AddSensorRow(const SensorRecord& record) {
    auto* item = new QListWidgetItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setData(Qt::UserRole, static_cast<int>(record.address));
    ApplyLabel(item, record);
    m_list->addItem(item);
}

void SensorList::UpdateSensorRow(const SensorRecord& record) {
    for (int row = 0; row < m_list->count(); ++row) {
        if (RowAddress(row) == record.address) {
            ApplyLabel(m_list->item(row), record);
            break;
        }
    }
    if (m_acquisition.Applier().SelectedAddress() == record.address) ShowReadouts(record);
}

void SensorList::SelectSensor(const SensorRecord& record) {
    if (m_view != nullptr) m_view->ClearSamples();
    if (m_readouts.waveGroup != nullptr)
        m_readouts.waveGroup->setTitle(QStringLiteral("采样波形[传感器_%1]").arg(record.address));

    std::array<std::uint16_t, SampleRing::kCapacity> history{};
    const std::size_t count = record.history ? record.history->SnapshotHistory(history) : 0;
    if (m_view != nullptr) m_view->SetSamples(history.data(), static_cast<int>(count));

    ShowReadouts(record);
}

void SensorList::PurgeOfflineSensors() {
    const Tick now = m_clock.NowTick();
    SensorTable& table = m_acquisition.Table();
    int row = 0;
    while (row < m_list->count()) {
        const std::optional<std::uint8_t> address = RowAddress(row);
        const SensorRecord* record = address ? table.FindSensor(*address) : nullptr;
        if (record == nullptr || record->lastTick == 0 ||
            !TickElapsedMoreThan(now, record->lastTick, kOfflineMs)) {
            ++row;
            continue;
        }
        table.RemoveSensor(*address);
        // Taking away the current row would make the list highlight its
        // neighbour, a sensor nobody chose; let the highlight vanish instead.
        if (m_list->currentRow() == row)
            m_list->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        delete m_list->takeItem(row);
    }
}

bool SensorList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (!IsWindowKey(key) && OnListKey(key)) return true;
        } else if (event->type() == QEvent::FontChange) {
            UpdateGrid();
        }
    } else if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonRelease) {
        // A click anywhere in the list counts, over a row or not, and with any
        // button, since any button moves the list's highlight. Act once the
        // list has finished with the release: a click on empty space clears
        // the highlight only then.
        QMetaObject::invokeMethod(this, &SensorList::OnListClicked, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void SensorList::OnListClicked() {
    const std::optional<std::uint8_t> address = RowAddress(SelectedRow());
    if (address) m_acquisition.Applier().SelectSensor(*address);
}

bool SensorList::OnListKey(int key) {
    const int selected = SelectedRow();
    const int target = SensorListKeyTarget(key, selected, m_list->count());
    const std::optional<std::uint8_t> address = RowAddress(target);
    if (!address) return false;
    m_acquisition.Applier().SelectSensor(*address);
    // The highlight goes to the row just chosen rather than wherever the
    // list's grid navigation would take it (in a single row of icons it
    // ignores Up, Down, Page Up and Page Down), so it marks the sensor on display.
    if (target != selected) {
        m_list->setCurrentRow(target, QItemSelectionModel::ClearAndSelect);
        m_list->scrollToItem(m_list->item(target));
    }
    return IsNavigationKey(key);
}

void SensorList::ApplyLabel(QListWidgetItem* item, const SensorRecord& record) {
    const SensorRowText label = SensorRowLabel(record, m_clock.NowTick());
    item->setText(label.text);
    if (label.image >= 0 && static_cast<std::size_t>(label.image) < m_images.size())
        item->setIcon(m_images[static_cast<std::size_t>(label.image)]);
}

void SensorList::ShowReadouts(const SensorRecord& record) {
    const auto set = [](QLineEdit* edit, const QString& text) {
        if (edit != nullptr) edit->setText(text);
    };
    set(m_readouts.address, QString::number(record.address));
    set(m_readouts.interval, QString::number(record.interval));
    set(m_readouts.gain, QString::number(record.gain));
    set(m_readouts.battery, QStringLiteral("%1%").arg(record.battery));
}

int SensorList::SelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
        if (first < 0 || index.row() < first) first = index.row();
    return first;
}

std::optional<std::uint8_t> SensorList::RowAddress(int row) const {
    const QListWidgetItem* item = row >= 0 ? m_list->item(row) : nullptr;
    if (item == nullptr) return std::nullopt;
    bool ok = false;
    const int address = item->data(Qt::UserRole).toInt(&ok);
    if (!ok || address < 0 || address > 255) return std::nullopt;
    return static_cast<std::uint8_t>(address);
}

}  // namespace sphyra
