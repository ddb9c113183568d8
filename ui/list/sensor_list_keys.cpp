#include "ui/list/sensor_list_keys.h"

#include <Qt>

namespace sphyra {

int SensorListKeyTarget(int key, int selectedRow, int rowCount) {
    if (rowCount <= 0) return -1;
    int target = selectedRow;
    switch (key) {
        case Qt::Key_PageUp:
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_PageDown:
        case Qt::Key_End:
            target = rowCount - 1;
            break;
        case Qt::Key_Left:
        case Qt::Key_Up:
            target = selectedRow - 1;
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            target = selectedRow + 1;
            break;
        default:
            break;
    }
    if (target < 0) return 0;
    if (target >= rowCount) return rowCount - 1;
    return target;
}

}  // namespace sphyra
