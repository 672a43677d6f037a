// Watches the rows' path copies: how often each one is freed. A program that
// uses it has its array allocations counted (operator new[] / delete[]).
#ifndef VELTMOR_TESTS_GUI_COPYWATCH_H
#define VELTMOR_TESTS_GUI_COPYWATCH_H

#include <vector>

#include "GuiHarness.h"

namespace gui {

// Starts counting the frees of each row's item data (from zero).
void WatchCopies(const std::vector<Row>& rows);
// How often the copy was freed since it was watched, up to the moment new[]
// handed its block out again (a later free is the new owner's); -1 when it
// is not watched.
int TimesFreed(const Row& row);
void ForgetCopies();

}  // namespace gui

#endif
