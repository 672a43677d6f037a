// Base of everything that handles messages or commands.
#ifndef VELTMOR_FRAMEWORK_CCMDTARGET_H
#define VELTMOR_FRAMEWORK_CCMDTARGET_H

#include "MessageMap.h"

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // The first entry for this message, command or notification, searched
    // from this class's table to its bases'; null when there is none.
    const AFX_MSGMAP_ENTRY* FindEntry(UINT message, UINT code, UINT id) const;

    // Routes a command (WM_COMMAND with no window, or a control's
    // notification code) to this target's map; FALSE when nothing took it.
    virtual BOOL OnCmdMsg(UINT id, UINT code);

    // Wait cursor, counted by the application object.
    void BeginWaitCursor();
    void EndWaitCursor();

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

#endif
