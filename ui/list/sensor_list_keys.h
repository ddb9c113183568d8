#pragma once

namespace sphyra {

// The row a key press in the sensor list moves the selection to, given the
// selected row (-1 for none) and the number of rows. Navigation keys step or
// jump; any other key keeps the current row. The answer is clamped into the
// list, so with nothing selected every key lands on row 0. Returns -1 only for
// an empty list. `key` is a Qt::Key value.
int SensorListKeyTarget(int key, int selectedRow, int rowCount);

}  // namespace sphyra
