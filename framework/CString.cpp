#include "CString.h"

#include <cstring>

#include "CWinApp.h"

CString& CString::operator=(const char* text)
{
    m_text = text ? text : "";
    return *this;
}

CString& CString::operator+=(const char* text)
{
    if (text)
        m_text += text;
    return *this;
}

char* CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_text.resize(static_cast<std::size_t>(minLength));
    return &m_text[0];
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        newLength = static_cast<int>(strnlen(m_text.c_str(), m_text.size()));
    m_text.resize(static_cast<std::size_t>(newLength));
}

BOOL CString::LoadString(UINT id)
{
    // LoadStringA copies at most the buffer; string-table entries are short.
    char buffer[512];
    const int n = ::LoadStringA(AfxGetResourceHandle(), id, buffer, sizeof buffer);
    m_text.assign(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    return n > 0;
}
