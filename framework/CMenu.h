// A menu handle. Does not own the menu: the system menu belongs to its window.
#ifndef VELTMOR_FRAMEWORK_CMENU_H
#define VELTMOR_FRAMEWORK_CMENU_H

#include <windows.h>

class CMenu {
public:
    explicit CMenu(HMENU menu = nullptr) : m_hMenu(menu) {}

    HMENU GetSafeHmenu() const { return m_hMenu; }
    BOOL AppendMenu(UINT flags, UINT_PTR idNewItem = 0, const char* newItem = nullptr)
    {
        return ::AppendMenuA(m_hMenu, flags, idNewItem, newItem);
    }

    HMENU m_hMenu;
};

#endif
