// QuorlinApp.h: the application object, which runs the main dialog and ends with it.
#pragma once

#include "App.h"

class CQuorlinApp : public CWinApp {
public:
    CQuorlinApp();

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};
