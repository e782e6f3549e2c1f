#pragma once
// The main window's controls and their layout: positions, sizes, fonts, colours, texts and
// stacking order. The workflow fills texts and pictures; this file only places things.

#include "ui/Forms.h"
#include "ui/ImgBtn.h"
#include "ui/StdCtrls.h"
#include "ui/TextImageButton.h"

struct TMainWindowControls {
    // Directly on the window, in stacking order.
    TLabel* lblPath = nullptr;
    TTextImageButton* btnChangeInstall = nullptr;
    TImage* img2 = nullptr;
    TImage* Image4 = nullptr;
    TImage* imgRight = nullptr;
    TImage* img3 = nullptr;
    TPanel* pnl1 = nullptr;
    TEdit* edtPath = nullptr;
    TPageControl* cnMain = nullptr;
    TTimer* tmrHiddenAutoInst = nullptr;

    // On the header panel.
    TImage* imgMain = nullptr;
    TImgBtn* imgbtnClose = nullptr;
    TLabel* lblTitle = nullptr;
    TImage* imgLogo = nullptr;
    TLabel* lblBigTitle = nullptr;
    TLabel* lblDescription = nullptr;
    TLabel* lblVersion = nullptr;

    // The pages, in index order, and their controls.
    TTabSheet* tbInstall = nullptr;
    TTabSheet* tbProcess = nullptr;
    TTabSheet* tbFinish = nullptr;
    TTabSheet* tbUninstall = nullptr;
    TTabSheet* tbUninProcess = nullptr;
    TTabSheet* tbUninFinish = nullptr;

    TLabel* lblDesOptions = nullptr;
    TTextImageButton* btnInstall = nullptr;
    TImage* imgDown = nullptr;
    TImage* imgUp = nullptr;
    TLabel* lblNetIdDesc = nullptr;
    TLabel* lblNetID = nullptr;
    TLabel* lblDesInstalling = nullptr;
    TProgressBar* pbProgress = nullptr;
    TImage* img4 = nullptr;
    TLabel* lblDesInstallComplete = nullptr;
    TTextImageButton* btnExit = nullptr;
    TTextImageButton* btnUninstall = nullptr;
    TLabel* lblDesUninstalling = nullptr;
    TProgressBar* pbUninstall = nullptr;
    TImage* Image1 = nullptr;
    TLabel* lblDesUninstallComplete = nullptr;
    TTextImageButton* btnUninExit = nullptr;
};

// Creates every control of the main window on `form` (which owns them) at the layout's place,
// with the layout's texts and look. The form is sized 600 × 500, white, captioned "FrmCommInst".
// Positions, sizes and fonts are those of a 96-DPI screen, scaled by the form's DPI.
void BuildMainLayout(TForm& form, TMainWindowControls& c);
