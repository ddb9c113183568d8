#include "ui/list/sensor_list.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <algorithm>
#include <array>

#include "acquisition/sensor_pulse.h"
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
    m_rows.fill(nullptr);
    m_list->setViewMode(QListView::IconMode);
    // One row of icons that scrolls sideways, however many sensors there are: a second
    // row would not fit the list's height and would be cut off.
    m_list->setFlow(QListView::LeftToRight);
    m_list->setWrapping(false);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
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
    // The widest label there can be, in the interface's language, sets the cell width; its
    // lines, the cell height.
    SensorRecord widest;
    widest.address = 255;
    widest.battery = 255;
    const QStringList lines = SensorRowLabel(widest, 0).text.split(QLatin1Char('\n'));
    const QFontMetrics metrics = m_list->fontMetrics();
    int textWidth = 0;
    for (const QString& line : lines)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
    // The widest record has no rate yet; a three-digit rate takes the place of its "--".
    textWidth = std::max(textWidth, metrics.horizontalAdvance(lines.back() + QStringLiteral("8")));
    const int width = std::max(kSensorImageWidth, textWidth) + kCellMarginX;
    const int textHeight = static_cast<int>(lines.size()) * metrics.lineSpacing();
    // The row shares the list's height with the sideways scroll bar, and a cell taller than
    // what is left would be cut off: the margin gives way first.
    const int room = m_list->height() - 2 * m_list->frameWidth() -
                     m_list->horizontalScrollBar()->sizeHint().height();
    const int height = std::max(kSensorImageHeight + textHeight,
                                std::min(kSensorImageHeight + textHeight + kCellMarginY, room));
    m_list->setGridSize(QSize(width, height));
}

void SensorList::AddSensorRow(const SensorRecord& record) {
    auto* item = new QListWidgetItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setData(Qt::UserRole, static_cast<int>(record.address));
    m_rowImages[record.address] = kNoImage;
    ApplyLabel(item, record, m_clock.NowTick());
    m_list->addItem(item);
    m_rows[record.address] = item;
    // The displayed sensor comes back after a purge: it is no longer silent.
    if (m_acquisition.Applier().SelectedAddress() == record.address) ShowReadouts(record);
}

void SensorList::UpdateSensorRow(const SensorRecord& record) {
    if (QListWidgetItem* item = m_rows[record.address]) ApplyLabel(item, record, m_clock.NowTick());
    if (m_acquisition.Applier().SelectedAddress() == record.address) ShowReadouts(record);
}

void SensorList::SelectSensor(const SensorRecord& record) {
    std::array<std::uint16_t, SampleRing::kCapacity> history{};
    const std::size_t count = record.history ? record.history->SnapshotHistory(history) : 0;
    if (m_view != nullptr) {
        m_view->ClearSamples();
        const bool silent = SensorIsSilent(record, m_clock.NowTick());
        const std::size_t shown = HistoryToShow(count, record.samples, m_view->Capacity(), silent);
        m_view->SetSamples(history.data() + (count - shown), static_cast<int>(shown));
    }
    ShowReadouts(record);
    if (QListWidgetItem* item = m_rows[record.address]) ScrollIntoView(item);
}

void SensorList::ScrollIntoView(QListWidgetItem* item) {
    // The list's own scrolling stops a pixel short of the right edge, leaving the last row
    // clipped; bring the whole cell in, margins and all.
    const QRect rect = m_list->visualItemRect(item);
    const int margin = std::max(0, (m_list->gridSize().width() - rect.width()) / 2);
    const QRect cell = rect.adjusted(-margin, 0, margin, 0);
    const QRect area = m_list->viewport()->rect();
    QScrollBar* bar = m_list->horizontalScrollBar();
    if (cell.left() < area.left())
        bar->setValue(bar->value() + cell.left() - area.left());
    else if (cell.right() > area.right())
        bar->setValue(bar->value() +
                      std::min(cell.right() - area.right(), cell.left() - area.left()));
}

std::size_t SensorList::HistoryToShow(std::size_t count, std::uint64_t received, int capacity,
                                      bool silent) {
    if (capacity <= 0) return 0;
    const auto fits = static_cast<std::size_t>(capacity);
    // Nothing more will follow a silent sensor's samples: show as much as fits.
    if (silent || received == 0) return std::min(count, fits);
    // A live trace goes on from here, so lay the samples out where a view that had shown
    // this sensor all along would hold them; the next frame then extends the trace
    // instead of finding the view full and wiping it.
    const auto sweep = static_cast<std::size_t>((received - 1) % fits) + 1;
    return std::min(count, sweep);
}

void SensorList::RefreshRows() {
    LabelRows(true);
}

void SensorList::RelabelRows() {
    LabelRows(false);
}

void SensorList::LabelRows(bool onlyAcrossSilence) {
    const Tick now = m_clock.NowTick();
    const SensorTable& table = m_acquisition.Table();
    for (std::size_t i = 0; i < table.Size(); ++i) {
        const SensorRecord& record = table.At(i);
        // Between frames only the passing of the silence mark changes a row (a new rate comes
        // as a row update of its own), so rows on the right side of it are not labelled again.
        const bool showsSilent = m_rowImages[record.address] == kSensorImageSilent;
        if (onlyAcrossSilence && SensorIsSilent(record, now) == showsSilent) continue;
        if (QListWidgetItem* item = m_rows[record.address]) ApplyLabel(item, record, now);
    }
    const std::optional<std::uint8_t> selected = m_acquisition.Applier().SelectedAddress();
    if (!selected) return;
    if (const SensorRecord* record = table.FindSensor(*selected)) ShowReadouts(*record);
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
        m_rows[*address] = nullptr;
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
        } else if (event->type() == QEvent::FontChange || event->type() == QEvent::Resize) {
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
        ScrollIntoView(m_list->item(target));
    }
    return IsNavigationKey(key);
}

void SensorList::ApplyLabel(QListWidgetItem* item, const SensorRecord& record, Tick now) {
    // Every change makes the list lay its rows out and draw them again, and most frames
    // change nothing a row shows (the interval is not on it): leave such rows alone.
    // Setting the same picture again would count as a change, hence the record of it. The label
    // is made from a few values only, and comparing those is cheaper than making it.
    const bool silent = SensorIsSilent(record, now);
    const std::array<int, 3> inputs{silent ? 1 : 0, record.battery,
                                    silent ? -1 : ShownPulseRate(record).value_or(-1)};
    int& shownImage = m_rowImages[record.address];
    if (shownImage != kNoImage && inputs == m_rowInputs[record.address]) return;
    m_rowInputs[record.address] = inputs;
    const SensorRowText label = SensorRowLabel(record, now);
    bool changed = false;
    if (item->text() != label.text) {
        item->setText(label.text);
        changed = true;
    }
    if (label.image != shownImage && label.image >= 0 &&
        static_cast<std::size_t>(label.image) < m_images.size()) {
        item->setIcon(m_images[static_cast<std::size_t>(label.image)]);
        shownImage = label.image;
        changed = true;
    }
    if (changed) ++m_relabels;
}

void SensorList::ShowReadouts(const SensorRecord& record) {
    // Written only when they read differently, so a steady stream costs no redraws here.
    const auto set = [](QLineEdit* edit, const QString& text) {
        if (edit != nullptr && edit->text() != text) edit->setText(text);
    };
    const bool silent = SensorIsSilent(record, m_clock.NowTick());
    set(m_readouts.address, QString::number(record.address));
    set(m_readouts.interval, QString::number(record.interval));
    set(m_readouts.gain, QString::number(record.gain));
    set(m_readouts.battery,
        silent ? QStringLiteral("--") : QStringLiteral("%1%").arg(record.battery));
    if (m_readouts.waveGroup != nullptr) {
        const QString title = silent ? tr("采样波形[传感器_%1][不在线]").arg(record.address)
                                     : tr("采样波形[传感器_%1]").arg(record.address);
        if (m_readouts.waveGroup->title() != title) m_readouts.waveGroup->setTitle(title);
    }
    if (m_view != nullptr) m_view->SetSilent(silent);
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
