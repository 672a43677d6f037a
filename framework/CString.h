// A small ANSI string with the few operations the dialogs use.
#ifndef VELTMOR_FRAMEWORK_CSTRING_H
#define VELTMOR_FRAMEWORK_CSTRING_H

#include <windows.h>

#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text ? text : "") {}

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    operator const char*() const { return m_text.c_str(); }

    CString& operator=(const char* text);
    CString& operator+=(const char* text);
    bool operator==(const char* text) const { return m_text == (text ? text : ""); }

    // A writable buffer of at least minLength characters plus the terminator;
    // ReleaseBuffer() takes the text back up to its terminator.
    char* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

    // Loads a string-table entry from the program's module; FALSE (and an
    // empty string) when there is none.
    BOOL LoadString(UINT id);

private:
    std::string m_text;
};

#endif
