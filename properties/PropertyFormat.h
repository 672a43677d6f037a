// The two Properties values that are not shown as read: the hotkey and the
// icon location. Portable: no <windows.h>.
#ifndef VELTMOR_PROPERTIES_PROPERTYFORMAT_H
#define VELTMOR_PROPERTIES_PROPERTYFORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace properties {

// A shortcut's hotkey word: modifier flags in the high byte, the virtual-key
// code in the low byte. The modifiers always come in the order Alt, Ctrl,
// Ext, Shift, then the key code as one character of the same code. A key
// code of 0 adds nothing, so the word 0 (no hotkey) gives the empty text.
std::string FormatHotkey(std::uint16_t word);

// "path , index" into text, which holds size characters with the
// terminator; the empty text when path is empty. text may be path itself,
// so the text can be built in the buffer the path was read into. Returns
// the length written.
std::size_t FormatIconLocation(const char* path, int index, char* text, std::size_t size);

}  // namespace properties

#endif
