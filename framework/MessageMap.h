// Message maps: each class keeps one static table that routes window
// messages, commands and control notifications to its named handlers. A
// lookup walks from the most derived class's table to its bases'.
//
// Each entry holds a small typed thunk made from the handler's own member
// pointer, so a handler with the wrong signature does not compile.
#ifndef VELTMOR_FRAMEWORK_MESSAGEMAP_H
#define VELTMOR_FRAMEWORK_MESSAGEMAP_H

#include <windows.h>
#include <commctrl.h>

class CCmdTarget;

// The framework's help command (F1).
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

namespace afx {

using Thunk = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

template <class> struct MemberOf;
template <class C, class R, class... A> struct MemberOf<R (C::*)(A...)> { using Class = C; };
template <auto F> using ClassOf = typename MemberOf<decltype(F)>::Class;
template <auto F> ClassOf<F>* Self(CCmdTarget* target) { return static_cast<ClassOf<F>*>(target); }

// void Handler()
template <auto F> LRESULT Plain(CCmdTarget* t, WPARAM, LPARAM) { (Self<F>(t)->*F)(); return 0; }

// void OnXxx(NMxxx* record, LRESULT* result)
template <class N, class C> N* RecordOf(void (C::*)(N*, LRESULT*));
template <auto F> LRESULT Notify(CCmdTarget* t, WPARAM, LPARAM lParam)
{
    using Record = decltype(RecordOf(F));
    LRESULT result = 0;
    (Self<F>(t)->*F)(reinterpret_cast<Record>(lParam), &result);
    return result;
}

template <auto F> LRESULT SysCommand(CCmdTarget* t, WPARAM w, LPARAM l)
{
    (Self<F>(t)->*F)(static_cast<UINT>(w), l);
    return 0;
}
template <auto F> LRESULT Size(CCmdTarget* t, WPARAM w, LPARAM l)
{
    (Self<F>(t)->*F)(static_cast<UINT>(w), static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l)));
    return 0;
}
template <auto F> LRESULT MinMax(CCmdTarget* t, WPARAM, LPARAM l)
{
    (Self<F>(t)->*F)(reinterpret_cast<MINMAXINFO*>(l));
    return 0;
}
template <auto F> LRESULT Timer(CCmdTarget* t, WPARAM w, LPARAM)
{
    (Self<F>(t)->*F)(static_cast<UINT_PTR>(w));
    return 0;
}
template <auto F> LRESULT Handle(CCmdTarget* t, WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>((Self<F>(t)->*F)());
}

}  // namespace afx

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;   // window message
    UINT nCode;      // command or notification code (WM_COMMAND, WM_NOTIFY)
    UINT nID;        // control or command id; 0 for a plain window message
    afx::Thunk pfn;  // null ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                                    \
public:                                                          \
    static const AFX_MSGMAP* GetThisMessageMap();                \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                            \
    const AFX_MSGMAP* theClass::GetMessageMap() const                     \
    {                                                                     \
        return GetThisMessageMap();                                       \
    }                                                                     \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                       \
    {                                                                     \
        [[maybe_unused]] typedef theClass ThisClass;                      \
        typedef baseClass TheBaseClass;                                   \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                            \
            {0, 0, 0, nullptr}};                                                     \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap,      \
                                              &_messageEntries[0]};                  \
        return &messageMap;                                                          \
    }

#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, (id), &afx::Plain<memberFxn>},
#define ON_BN_CLICKED(id, memberFxn) {WM_COMMAND, BN_CLICKED, (id), &afx::Plain<memberFxn>},
#define ON_NOTIFY(code, id, memberFxn) {WM_NOTIFY, static_cast<UINT>(code), (id), &afx::Notify<memberFxn>},
#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, &afx::SysCommand<&ThisClass::OnSysCommand>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, &afx::Plain<&ThisClass::OnPaint>},
#define ON_WM_QUERYDRAGICON() {WM_QUERYDRAGICON, 0, 0, &afx::Handle<&ThisClass::OnQueryDragIcon>},
#define ON_WM_SIZE() {WM_SIZE, 0, 0, &afx::Size<&ThisClass::OnSize>},
#define ON_WM_GETMINMAXINFO() {WM_GETMINMAXINFO, 0, 0, &afx::MinMax<&ThisClass::OnGetMinMaxInfo>},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, &afx::Timer<&ThisClass::OnTimer>},

#endif
