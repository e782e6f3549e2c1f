// The post-install registration behind the installation run (install/RegisterInstallation.h),
// with what the window shows of it.

#include "install/RegisterInstallation.h"
#include "install/UntMain.h"

bool TFrmCommInst::DoAfterInstall() {
    if (FbSilent)
        btnExit->SetCaption(L"安装完成");
    const bool complete = RegisterInstallation(*this, FTargetDir, FbSilent, FPayloadBytes);
    if (!FNetID.empty()) {
        std::wstring userName, password;
        SplitNetID(FNetID, userName, password);
        lblNetID->SetCaption(userName);
    }
    return complete;
}
