#pragma once

#include <QString>

// Pipeline codes of an itemlist row.
namespace itemstate {
enum State { NotCollected = 0, Collected = 1, Edited = 2, Uploaded = 3 };
}

// The list label of a row: its state's label, or the abnormal label whenever itemstate is not 0.
QString statelabel(int state, int itemstate);
