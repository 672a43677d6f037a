// Owns one COM interface pointer for the test helpers.
#ifndef VELTMOR_TESTS_WINE_COMOWNER_H
#define VELTMOR_TESTS_WINE_COMOWNER_H

#include <windows.h>

namespace wintest {

template <class T>
class CComOwner {
public:
    CComOwner() = default;
    ~CComOwner() { Reset(); }

    CComOwner(const CComOwner&) = delete;
    CComOwner& operator=(const CComOwner&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }

    // Releases what is held, then takes p.
    void Reset(T* p = nullptr)
    {
        if (m_p)
            m_p->Release();
        m_p = p;
    }

    // For an out-parameter: releases what is held first, so nothing leaks.
    void** Out()
    {
        Reset();
        return reinterpret_cast<void**>(&m_p);
    }

private:
    T* m_p = nullptr;
};

}  // namespace wintest

#endif
