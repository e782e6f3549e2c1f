#pragma once
// The installer's main window: its controls (the layout's), the product settings, and the
// workflow that runs in its handlers.

#include "install/Arguments.h"
#include "settings/InstallerSettings.h"
#include "ui/MainLayout.h"
#include "sys/Win32Handle.h"
#include "ui/Obj_CommLangForm.h"

#include <string>

class TFrmCommInst : public TCommLangForm, public TMainWindowControls, public TInstallerSettings {
public:
    // Builds the layout and runs FormCreate, as creating the window does.
    explicit TFrmCommInst(TComponent* owner);
    std::wstring ClassName() const override { return L"TFrmCommInst"; }

    // Creation handler: reads the settings, decides the role from the executable's name, ends
    // running copies of the main program and prepares the window for the role.
    void FormCreate(TObject* sender);

    // Opens or closes the custom-install area below the window's normal bottom edge.
    void ToggleCustomInstall(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
    // Closes the window, which ends the program.
    void imgbtnCloseClick(TObject* sender);

    // The installation run: archive, target folder, free space, extraction, registration,
    // while the progress page runs; also started by the silent timer with no sender.
    void btnInstallClick(TObject* sender);
    // Lets the user pick the parent folder of the target directory.
    void btnChangeInstallClick(TObject* sender);
    // Turns the extracted tree into an installed product: shortcuts, uninstaller, settings
    // copy, credentials file, URL protocol, COM server, uninstall entry, post-install scripts.
    // False when the uninstaller or the uninstall entry could not be written.
    bool DoAfterInstall();
    // The finish button: starts the main program and opens the web page (not in silent
    // mode), then closes the window.
    void btnExitClick(TObject* sender);
    // The silent installation: fires once, runs the installation, closes the window.
    void tmrHiddenAutoInstTimer(TObject* sender);

    // The uninstall button: ends the main program, removes the shortcuts, empties the data and
    // installation folders and removes the registration, while the progress page runs; ends on
    // the uninstall finish page. The close button is disabled meanwhile.
    void btnUninstallClick(TObject* sender);
    // The removal itself, in this order: main program ended,
    // shortcuts, COM server unregistered (waited for), the data folder and the installation
    // folder emptied unless protected (install/ProtectedFolders.h), then the uninstall entry,
    // the "Uninstall" shortcut, the empty Programs sub-folder and this installation's URL
    // protocol. Sets the exit code: success only when nothing but dot-named entries and the
    // running uninstaller itself is left of what it was to remove.
    void DoUninstall();
    // The uninstall finish page's exit button: opens the web page ("[Version]" replaced),
    // closes the window and has the running uninstaller deleted once it has exited.
    void btnUninExitClick(TObject* sender);
    // "unin.exe /silent": DoUninstall without a window or web page, then the self-deletion;
    // closes the window, which ends the program.
    void SilentUninstall();

    // The process exit code for this run so far (see install/ExitCodes.h).
    int ExitCode() const { return FExitCode; }

    // FTargetDir + "\" + FMainProgPath + FMainProg, joined as they stand.
    std::wstring GetMainProgFullPath() const;
    // See the free function of the same name: splits the network ID at its first "-".
    bool SplitNetID(const std::wstring& netId, std::wstring& userName,
                    std::wstring& password) const;

    bool FImgDown = false;
    std::wstring FTargetDir;
    bool FbSilent = false;
    // Bytes the archive reader wrote during the installation run: the payload's size.
    unsigned long long FPayloadBytes = 0;

private:
    int FExitCode;
    // The product's mutex, held for the program's whole life (see SingleInstance.h).
    THandle FProductLock;

    // Start-up's steps, in FormCreate's order. The mouse and keyboard handlers of the arrow,
    // dragging by the background, the window's normal height.
    void WireControls();
    // "/log=": opens the run log and notes the command line and the program.
    void StartRunLog(const TArguments& arguments);
    // "/silent": no window, no message boxes where nobody can answer, no pauses.
    void PrepareSilentRun();
    // The install page with the target folder ("/dir=" or the default); false when start-up
    // has ended (an unsupported system, a refused "/dir=" in a silent run).
    bool PrepareInstallPage(const TArguments& arguments);
    // The product's title, texts and network ID in the window.
    void ShowProductTexts();
    // Reads and applies the settings; false when start-up has ended (after its message).
    bool LoadSettings();
    // Ends start-up: the message loop stops as soon as it starts.
    void EndStartup(bool showMainForm);
    // Takes the product's mutex; false, with start-up ended (1618), when another run holds it.
    bool TakeProductLock();
    // True when the executable is named "unin.exe" (exactly): the uninstall role.
    bool IsUninstallRole() const;
    // The product's branding pictures (each with its "@2x" version when there is one) into
    // the header, the logo and the big buttons; throws when one cannot be decoded.
    void LoadBrandingPictures();
    // Fits the header's texts into the window: the description and the title end with "..."
    // where too long, and the version follows the title.
    void PlaceHeaderTexts();

protected:
    void DpiChanged() override;
};

// The program's one main window, once created.
extern TFrmCommInst* FrmCommInst;
