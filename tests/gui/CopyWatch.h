// Watches the rows' path copies: how often each one is freed. A program that
// uses it has its array allocations counted (operator new[] / delete[]).
#ifndef VELTMOR_TESTS_GUI_COPYWATCH_H
#define VELTMOR_TESTS_GUI_COPYWATCH_H

#include <vector>

#include "GuiHarness.h"

namespace gui {

// Starts counting the frees of each row's item data (from zero).
void WatchCopies(const std::vector<Row>& rows);
// How often the copy was freed since it was watched; -1 when it is not
// watched (or was handed out again by new[] after its free).
int TimesFreed(const Row& row);
void ForgetCopies();

}  // namespace gui

#endif
