// Start-up hardening shared by the dialog program and the scanner. It uses
// only the kernel, so the scanner links it without the dialog framework.
#ifndef VELTMOR_FRAMEWORK_PROCESSHARDENING_H
#define VELTMOR_FRAMEWORK_PROCESSHARDENING_H

#include <windows.h>

// Called first thing in WinMain and main:
// - the system's critical-error and "no disk" boxes stay away, so a target
//   on an empty floppy or CD drive is just a missing target (error-mode bits
//   already set are kept);
// - later loads of a DLL by name look in the system folder only: neither the
//   program's folder nor the current folder, where anyone may drop a DLL.
//   Each call is looked up first, so systems without it still start.
void AfxHardenProcess();

// A DLL from the system folder, by its full path; null when it is not there.
HMODULE AfxLoadSystemLibrary(const char* name);

#endif
