#include "install/UntMain.h"
#include "install/Package.h"
#include "install/RegisterInstallation.h"
#include "install/Pacing.h"

#include "install/Arguments.h"
#include "install/ExitCodes.h"
#include "install/ProtectedFolders.h"
#include "install/SingleInstance.h"
#include "install/StepProgress.h"
#include "sys/Error.h"
#include "sys/MessageBoxes.h"
#include "sys/MessagePump.h"
#include "sys/MyCommonFuns.h"
#include "sys/RunLog.h"

#include <shellapi.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

TFrmCommInst* FrmCommInst = nullptr;

namespace {

// The command-line arguments after the program's name, split by the system's rules.
std::vector<std::wstring> CommandLineArguments() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; args && i < count; ++i)
        arguments.emplace_back(args[i]);
    if (args)
        LocalFree(args);
    return arguments;
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
    // The window keeps answering during long steps, and pauses let a person follow the bar.
    SetPacing(
        {[] { Application->ProcessMessages(); },
         [](unsigned ms) { WaitPumping(nullptr, ms, [] { Application->ProcessMessages(); }); }});
    // Start-up never goes on without what it needs: an error anywhere in it (settings that
    // cannot be read, a picture the window cannot take) is reported in one message, where
    // messages are shown, and the program ends as with unusable settings. A silent run must
    // never be left waiting for a timer that start-up did not get to switch on.
    try {
        FormCreate(this);
    } catch (...) {
        HandleToolkitException();
        EndStartup(false);
    }
}

void TFrmCommInst::EndStartup(bool showMainForm) {
    FExitCode = exitcode::kPackageDamaged;
    if (!showMainForm)
        Application->ShowMainForm = false;
    Application->Terminate();
}

bool TFrmCommInst::TakeProductLock() {
    bool refused = false;
    FProductLock = TakeProductMutex(ProductMutexName(FShortcutName), refused);
    if (FProductLock || refused)
        return true;
    // Another setup.exe or unin.exe for this product runs: its window comes to the front, and
    // this one ends without a word.
    LogLine(L"another run for this product is under way");
    if (!FbSilent)
        BringOtherRunToFront(FTitle);
    FExitCode = exitcode::kAlreadyRunning;
    Application->ShowMainForm = false;
    Application->Terminate();
    return false;
}

bool TFrmCommInst::LoadSettings() {
    const std::wstring type = package::Wide(package::kResourceType),
                       resource = package::Wide(package::kSettingsResource);
    std::wstring text =
        ResourceExists(resource, type)
            ? LoadResourceText(resource, type)
            : ReadTextFile(GetExeDir() + package::Wide(package::kLooseSettingsFile), true);
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
    WireControls();
    const TArguments arguments = ParseArguments(CommandLineArguments());
    StartRunLog(arguments);
    if (arguments.Silent)
        PrepareSilentRun();
    LoadBrandingPictures();
    if (!LoadSettings())
        return;
    LogLine(L"product: " + FTitle + L", version " + FVersion);
    if (!TakeProductLock())
        return;
    if (IsUninstallRole())
        cnMain->SetActivePage(tbUninstall);
    else if (!PrepareInstallPage(arguments))
        return;
    KillProcessByName(FMainProg);
    ShowProductTexts();
    if (FbSilent)
        tmrHiddenAutoInst->SetEnabled(true);
}

void TFrmCommInst::WireControls() {
    FImgDown = false;
    SetbMouseDownToMoveClient(true);
    auto toggle = [this](TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
        ToggleCustomInstall(sender, button, shift, x, y);
    };
    imgDown->OnMouseDown = toggle;
    imgUp->OnMouseDown = toggle;
    // From the keyboard (a mouse press hides the arrow before its release could click).
    imgDown->OnClick = [toggle](TObject* sender) { toggle(sender, TMouseButton::mbLeft, 0, 0, 0); };
    imgUp->OnClick = imgDown->OnClick;
    SetLayoutHeight(400);
}

void TFrmCommInst::StartRunLog(const TArguments& arguments) {
    // A log that cannot be written does not stop the run.
    if (!arguments.Log || !OpenRunLog(*arguments.Log))
        return;
    LogLine(L"command line: " + std::wstring(GetCommandLineW()));
    LogLine(L"program: " + ModuleFileName() +
            (IsUninstallRole() ? L" (uninstaller)" : L" (installer)"));
    for (const std::wstring& ignored : arguments.Ignored)
        LogLine(L"ignored argument: " + ignored);
}

void TFrmCommInst::PrepareSilentRun() {
    FbSilent = true;
    Application->ShowMainForm = false;
    // Under a deployment service nobody can answer a message box, and one would hang the run
    // forever: there the exit code alone reports a failure.
    if (!WindowStationIsVisible())
        SetMessageBoxesSuppressed(true);
    // The silent-install timer is switched on only once start-up has gone through, so that it
    // can never fire inside one of start-up's message boxes. Nobody watches a silent run: it
    // starts at the timer's first chance and takes no pauses.
    tmrHiddenAutoInst->SetInterval(1);
    SetPacing({[] { Application->ProcessMessages(); }, {}});
}

bool TFrmCommInst::PrepareInstallPage(const TArguments& arguments) {
    if (!FXPSupported && !IsVistaOrLater()) {
        Application->ShowMessage(L"Only supports Win7 and above, XP is not compatible!");
        EndStartup(false);
        return false;
    }
    cnMain->SetActivePage(tbInstall);
    std::wstring target = GetProgramFilesDir() + L"\\" + FProgramDirName;
    // "/dir=": the installation folder itself. One that is not absolute, or that the
    // uninstaller would refuse to empty, is refused before anything is written: a silent run
    // ends (1639), an interactive one keeps the default in the path box.
    if (arguments.Dir) {
        if (IsUsableDirArgument(*arguments.Dir) && !IsProtectedSystemFolder(*arguments.Dir)) {
            target = WithoutTrailingSeparators(*arguments.Dir);
        } else if (FbSilent) {
            LogLine(L"refused: /dir=" + *arguments.Dir);
            FExitCode = exitcode::kInvalidCommandLine;
            Application->Terminate();
            return false;
        }
    }
    edtPath->SetText(target);
    LogLine(L"target: " + target);
    CreateDirectoryTree(edtPath->Text()); // the extraction creates what is still missing
    return true;
}

void TFrmCommInst::ShowProductTexts() {
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
    PlaceHeaderTexts();
    for (TTabSheet* page : cnMain->Pages())
        page->SetCaption(L"");
}

void TFrmCommInst::PlaceHeaderTexts() {
    // Inside the window, 10 pixels from its right edge; the version follows the title's drawn
    // width, and a title too long for both ends with "...".
    const int right = Scaled(600 - 10), gap = Scaled(10);
    lblDescription->SetMaxWidth(right - lblDescription->Left());
    lblVersion->SetMaxWidth(Scaled(150));
    lblBigTitle->SetMaxWidth(
        std::max(gap, right - lblBigTitle->Left() - gap - lblVersion->Width()));
    lblVersion->SetLeft(lblBigTitle->Left() + lblBigTitle->Width() + gap);
}

void TFrmCommInst::DpiChanged() {
    PlaceHeaderTexts();
}

void TFrmCommInst::LoadBrandingPictures() {
    TTextImageButton* const bigButtons[] = {btnInstall, btnExit, btnUninstall, btnUninExit};
    // Where each picture goes, in the package's order of the pictures: the header, the logo,
    // then into the big buttons' holders (as the layout's own pictures are) their faces.
    const std::function<void(const TPicture&)> places[] = {
        [this](const TPicture& p) { imgMain->SetPicture(p); },
        [this](const TPicture& p) { imgLogo->SetPicture(p); },
        [&](const TPicture& p) {
            for (auto* b : bigButtons)
                b->Bitmap() = p;
        },
        [&](const TPicture& p) {
            for (auto* b : bigButtons)
                b->BitmapOver() = p;
        },
        [&](const TPicture& p) {
            for (auto* b : bigButtons)
                b->BitmapDown() = p;
        },
    };
    static_assert(std::size(places) == std::size(package::kPictureNames));
    const std::wstring type = package::Wide(package::kResourceType);
    for (std::size_t i = 0; i < std::size(places); ++i) {
        const std::wstring name = package::Wide(package::kPictureNames[i]);
        if (!ResourceExists(name, type))
            continue;
        TPicture picture;
        LoadPngResource(picture, name, type);
        // Its version at twice the resolution, for scaled screens, when the product has one.
        const std::wstring doubled = name + package::Wide(package::kDoubleResolutionSuffix);
        if (ResourceExists(doubled, type)) {
            const std::string_view png = ResourceData(doubled, type);
            picture.LoadDoubleResolutionPng(png.data(), png.size());
        }
        places[i](picture);
    }
}

bool TFrmCommInst::IsUninstallRole() const {
    return GetExeFileName() == package::Wide(package::kUninstallerFile);
}

void TFrmCommInst::ToggleCustomInstall(TObject*, TMouseButton, TShiftState, int, int) {
    FImgDown = !FImgDown;
    const bool arrowFocused = imgDown->Focused() || imgUp->Focused();
    imgDown->SetVisible(!imgDown->Visible());
    imgUp->SetVisible(!imgUp->Visible());
    SetLayoutHeight(FImgDown ? 500 : 400);
    // The focus stays on the arrow, now the other picture.
    if (arrowFocused)
        FocusControl(imgDown->Visible() ? imgDown : imgUp, false);
}

void TFrmCommInst::imgbtnCloseClick(TObject*) {
    Close();
}

std::wstring TFrmCommInst::GetMainProgFullPath() const {
    return MainProgramPath(*this, FTargetDir);
}

bool TFrmCommInst::SplitNetID(const std::wstring& netId, std::wstring& userName,
                              std::wstring& password) const {
    return ::SplitNetID(netId, userName, password);
}
