// The one string the scan engine asks of its program's string table: the
// pattern of the shortcut files it searches each folder for. Plain defines,
// so the resource script reads them too (through res/resource.h).
#ifndef VELTMOR_SCAN_SCANRESOURCES_H
#define VELTMOR_SCAN_SCANRESOURCES_H

#define IDS_LINK_PATTERN                104

#endif
