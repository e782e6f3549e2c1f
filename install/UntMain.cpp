#include "install/UntMain.h"

#include "install/ExitCodes.h"
#include "sys/Error.h"
#include "sys/MessageTitle.h"
#include "sys/MyCommonFuns.h"

#include <shellapi.h>
#include <shlobj.h>

TFrmCommInst* FrmCommInst = nullptr;

namespace {

// The first command-line argument, parsed by the system's rules; "" when there is none.
std::wstring FirstArgument() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring first = args && count > 1 ? std::wstring(args[1]) : std::wstring();
    if (args)
        LocalFree(args);
    return first;
}

// Creates the directory with every missing parent; the outcome is the caller's to ignore.
void CreateDirectoryTree(const std::wstring& path) {
    SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
}

} // namespace

TFrmCommInst::TFrmCommInst(TComponent* owner)
    : TCommLangForm(owner), FExitCode(exitcode::kUserCancelled) {
    BuildMainLayout(*this, *this);
    imgbtnClose->OnClick = [this](TObject* sender) { imgbtnCloseClick(sender); };
    btnInstall->OnClick = [this](TObject* sender) { btnInstallClick(sender); };
    btnChangeInstall->OnClick = [this](TObject* sender) { btnChangeInstallClick(sender); };
    btnExit->OnClick = [this](TObject* sender) { btnExitClick(sender); };
    btnUninstall->OnClick = [this](TObject* sender) { btnUninstallClick(sender); };
    btnUninExit->OnClick = [this](TObject* sender) { btnUninExitClick(sender); };
    tmrHiddenAutoInst->OnTimer = [this](TObject* sender) { tmrHiddenAutoInstTimer(sender); };
    FrmCommInst = this;
    // As for any creation handler, an error is reported and the window still comes up.
    try {
        FormCreate(this);
    } catch (...) {
        HandleToolkitException();
    }
}

void TFrmCommInst::EndStartup(bool showMainForm) {
    FExitCode = exitcode::kPackageDamaged;
    if (!showMainForm)
        Application->ShowMainForm = false;
    Application->Terminate();
}

bool TFrmCommInst::LoadSettings() {
    std::wstring text = ResourceExists(L"configfile", L"file")
                            ? LoadResourceText(L"configfile", L"file")
                            : ReadTextFile(GetExeDir() + L"config.dat", true);
    if (text.empty()) {
        Application->ShowMessage(L"config data is empty");
        EndStartup(true);
        return false;
    }
    // A document that cannot be used ends start-up with one message that names the problem;
    // the program never goes on with settings it does not have.
    try {
        ReadInstallerSettings(text, *this, TSettingsFolders{&GetAppDataDir, &GetLocalAppDataDir});
    } catch (const EInstallerError& e) {
        Application->ShowException(e.Message());
        EndStartup(false);
        return false;
    }
    return true;
}

void TFrmCommInst::FormCreate(TObject*) {
    FImgDown = false;
    SetbMouseDownToMoveClient(true);
    auto toggle = [this](TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
        ToggleCustomInstall(sender, button, shift, x, y);
    };
    imgDown->OnMouseDown = toggle;
    imgUp->OnMouseDown = toggle;
    SetClientHeight(400);

    FbSilent = false;
    if (FirstArgument() == L"/silent") {
        FbSilent = true;
        Application->ShowMainForm = false;
        // Under a deployment service nobody can answer a message box, and one would hang the
        // run forever: there the exit code alone reports a failure.
        if (!WindowStationIsVisible()) {
            Application->SuppressMessageBoxes = true;
            SetMessageBoxesSuppressed(true);
        }
        // The silent-install timer is switched on only once start-up has gone through, so
        // that it can never fire inside one of start-up's message boxes.
    }

    if (ResourceExists(L"bgpic", L"file"))
        LoadPngResourceToImage(*imgMain, L"bgpic", L"file");
    if (ResourceExists(L"logo", L"file"))
        LoadPngResourceToImage(*imgLogo, L"logo", L"file");
    TTextImageButton* bigButtons[] = {btnInstall, btnExit, btnUninstall, btnUninExit};
    if (ResourceExists(L"btninst01", L"file"))
        for (TTextImageButton* b : bigButtons)
            LoadPngResourceToPicture(b->Bitmap(), L"btninst01", L"file");
    if (ResourceExists(L"btninst02", L"file"))
        for (TTextImageButton* b : bigButtons)
            LoadPngResourceToPicture(b->BitmapOver(), L"btninst02", L"file");
    if (ResourceExists(L"btninst03", L"file"))
        for (TTextImageButton* b : bigButtons)
            LoadPngResourceToPicture(b->BitmapDown(), L"btninst03", L"file");

    if (!LoadSettings())
        return;

    if (!IsUninstallRole()) {
        if (!FXPSupported && !IsVistaOrLater()) {
            Application->ShowMessage(L"Only supports Win7 and above, XP is not compatible!");
            EndStartup(false);
            return;
        }
        cnMain->SetActivePage(tbInstall);
        edtPath->SetText(GetProgramFilesDir() + L"\\" + FProgramDirName);
        CreateDirectoryTree(edtPath->Text());
    } else {
        cnMain->SetActivePage(tbUninstall);
    }

    KillProcessByName(FMainProg);

    if (!FNetID.empty()) {
        std::wstring userName, password;
        SplitNetID(FNetID, userName, password);
        lblNetIdDesc->SetVisible(true);
        lblNetID->SetCaption(userName);
    }

    Application->SetTitle(FTitle);
    SetCaption(FTitle);
    lblTitle->SetCaption(FTitle);
    lblVersion->SetCaption(FVersion);
    lblDescription->SetCaption(FDescription);
    lblBigTitle->SetCaption(FBigTitle);
    lblVersion->SetLeft(lblBigTitle->Left() + lblBigTitle->Width() + 10);

    for (TTabSheet* page : cnMain->Pages()) {
        page->SetCaption(L"");
        page->TabVisible = false;
    }

    if (FbSilent)
        tmrHiddenAutoInst->SetEnabled(true);
}

bool TFrmCommInst::IsUninstallRole() const {
    return GetExeFileName() == L"unin.exe";
}

void TFrmCommInst::ToggleCustomInstall(TObject*, TMouseButton, TShiftState, int, int) {
    FImgDown = !FImgDown;
    imgDown->SetVisible(!imgDown->Visible());
    imgUp->SetVisible(!imgUp->Visible());
    SetClientHeight(FImgDown ? 500 : 400);
}

void TFrmCommInst::imgbtnCloseClick(TObject*) {
    Close();
}

std::wstring TFrmCommInst::GetMainProgFullPath() const {
    return FTargetDir + L"\\" + FMainProgPath + FMainProg;
}

bool TFrmCommInst::SplitNetID(const std::wstring& netId, std::wstring& userName,
                              std::wstring& password) const {
    return ::SplitNetID(netId, userName, password);
}
