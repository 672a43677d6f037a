// The application object: runs the main dialog and ends the process.
#ifndef VELTMOR_APP_SWEEPAPP_H
#define VELTMOR_APP_SWEEPAPP_H

#include "framework/Framework.h"

class CSweepApp : public CWinApp {
public:
    CSweepApp() = default;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

#endif
