#include "ui/MainLayout.h"

#include "ui/LayoutPictures.h"

namespace {

const TFont kWindowFont(L"Microsoft YaHei UI", 12);
const COLORREF kDarkGrey = RGB(79, 79, 79);

template <typename T, typename... Args>
T* Make(TForm& form, TWinControl* parent, const wchar_t* name, int left, int top, int width,
        int height, Args&&... args) {
    T* control = new T(&form, parent, std::forward<Args>(args)...);
    control->Name = name;
    control->SetLayoutBounds(left, top, width, height);
    return control;
}

TLabel* MakeLabel(TForm& form, TWinControl* parent, const wchar_t* name, int left, int top,
                  int width, int height, const std::wstring& text, const TFont& font) {
    auto* label = Make<TLabel>(form, parent, name, left, top, width, height);
    label->SetFont(font);
    label->SetCaption(text);
    return label;
}

TTextImageButton* MakeButton(TForm& form, TWinControl* parent, const wchar_t* name, int left,
                             int top, int width, int height, const std::wstring& text,
                             const TFont& font) {
    auto* button = Make<TTextImageButton>(form, parent, name, left, top, width, height);
    button->SetFont(font);
    button->SetCaption(text);
    return button;
}

TTabSheet* MakePage(TForm& form, TPageControl* container, const wchar_t* name,
                    const std::wstring& tabCaption) {
    auto* page = new TTabSheet(&form, container);
    page->Name = name;
    page->SetCaption(tabCaption);
    return page;
}

} // namespace

void BuildMainLayout(TForm& form, TMainWindowControls& c) {
    form.Name = L"FrmCommInst";
    form.SetCaption(L"FrmCommInst");
    form.Color = clWhite;
    form.SetFont(kWindowFont);
    form.SetLayoutHeight(500);

    // Window level, in the form description's order (which is the stacking order).
    c.lblPath = MakeLabel(form, &form, L"lblPath", 11, 439, 48, 15, L"安装路径", kWindowFont);
    c.btnChangeInstall = MakeButton(form, &form, L"btnChangeInstall", 502, 433, 77, 26, L"更改目录",
                                    TFont(L"Microsoft YaHei UI", 12, clGrayText));
    c.btnChangeInstall->SetAutoSize(true);
    c.img2 = Make<TImage>(form, &form, L"img2", -16, 406, 800, 4);
    c.img2->Stretch = true;
    c.Image4 = Make<TImage>(form, &form, L"Image4", -2, 250, 4, 260);
    c.Image4->Stretch = true;
    c.imgRight = Make<TImage>(form, &form, L"imgRight", 598, 240, 2, 260);
    c.imgRight->Stretch = true;
    c.img3 = Make<TImage>(form, &form, L"img3", 0, 498, 600, 2);
    c.img3->Stretch = true;
    c.img3->SetAlign(TAlign::alBottom);

    c.pnl1 = Make<TPanel>(form, &form, L"pnl1", 0, 0, 600, 253);
    c.pnl1->Color = clWhite;
    c.pnl1->SetAlign(TAlign::alTop);

    c.edtPath = Make<TEdit>(form, &form, L"edtPath", 67, 434, 421, 23, true);
    c.edtPath->SetFont(kWindowFont);

    c.cnMain = Make<TPageControl>(form, &form, L"cnMain", 11, 261, 578, 138);

    c.tmrHiddenAutoInst = new TTimer(&form);
    c.tmrHiddenAutoInst->Name = L"tmrHiddenAutoInst";
    c.tmrHiddenAutoInst->SetInterval(500);
    c.tmrHiddenAutoInst->SetEnabled(false);

    // Header panel.
    TWinControl* header = c.pnl1;
    c.imgMain = Make<TImage>(form, header, L"imgMain", 0, 0, 600, 400);
    c.imgMain->SetAlign(TAlign::alTop);
    c.imgbtnClose = Make<TImgBtn>(form, header, L"imgbtnClose", 571, -1, 30, 30);
    c.imgbtnClose->SetAutoSize(true);
    c.imgbtnClose->Supported = true;
    c.lblTitle = MakeLabel(form, header, L"lblTitle", 11, 48, 93, 17, L"lblTitle",
                           TFont(L"Microsoft YaHei UI", 13, clWhite, true));
    c.lblTitle->SetVisible(false);
    c.imgLogo = Make<TImage>(form, header, L"imgLogo", 74, 85, 96, 96);
    c.imgLogo->SetAutoSize(true);
    c.lblBigTitle = MakeLabel(form, header, L"lblBigTitle", 203, 93, 157, 40, L"lblBigTitle",
                              TFont(L"Microsoft YaHei UI", 31, clWhite));
    c.lblDescription = MakeLabel(form, header, L"lblDescription", 206, 150, 265, 20,
                                 L"lblDescription", TFont(L"Microsoft YaHei UI", 16, clWhite));
    c.lblVersion = MakeLabel(form, header, L"lblVersion", 415, 104, 41, 25, L"lblVersion",
                             TFont(L"Microsoft YaHei UI", 20, clWhite));

    // Pages: every page covers the container's whole area.
    c.tbInstall = MakePage(form, c.cnMain, L"tbInstall", L"安装");
    c.tbProcess = MakePage(form, c.cnMain, L"tbProcess", L"正在安装");
    c.tbFinish = MakePage(form, c.cnMain, L"tbFinish", L"安装完成");
    c.tbUninstall = MakePage(form, c.cnMain, L"tbUninstall", L"卸载");
    c.tbUninProcess = MakePage(form, c.cnMain, L"tbUninProcess", L"正在卸载");
    c.tbUninFinish = MakePage(form, c.cnMain, L"tbUninFinish", L"卸载完成");
    c.cnMain->SetActivePage(c.tbInstall);

    const TFont pageFont(L"Microsoft YaHei UI", 12, kDarkGrey);
    const TFont songFont(L"宋体", 12, kDarkGrey);
    const TFont installButtonFont(L"Microsoft YaHei UI", 19, clWhite);
    const TFont bigButtonFont(L"微软雅黑", 19, clWhite);

    c.lblDesOptions =
        MakeLabel(form, c.tbInstall, L"lblDesOptions", 510, 97, 60, 15, L"自定义安装", kWindowFont);
    c.btnInstall = MakeButton(form, c.tbInstall, L"btnInstall", 202, 35, 165, 45, L"一键安装",
                              installButtonFont);
    c.btnInstall->SetStretch(true);
    c.imgDown = Make<TImage>(form, c.tbInstall, L"imgDown", 492, 95, 88, 19);
    c.imgDown->Cursor = IDC_HAND;
    c.imgUp = Make<TImage>(form, c.tbInstall, L"imgUp", 492, 95, 88, 19);
    c.imgUp->Cursor = IDC_HAND;
    c.imgUp->SetVisible(false);
    c.lblNetIdDesc = MakeLabel(form, c.tbInstall, L"lblNetIdDesc", 6, 99, 18, 12, L"ID:", songFont);
    c.lblNetIdDesc->SetVisible(false);
    c.lblNetID = MakeLabel(form, c.tbInstall, L"lblNetID", 29, 99, 6, 12, L"", songFont);

    c.lblDesInstalling = MakeLabel(form, c.tbProcess, L"lblDesInstalling", 24, 22, 162, 15,
                                   L"软件正在安装，请耐心等候......", pageFont);
    c.lblDesInstalling->Transparent = false;
    c.lblDesInstalling->Color = clWindow;
    c.pbProgress = Make<TProgressBar>(form, c.tbProcess, L"pbProgress", 24, 60, 517, 12);

    c.img4 = Make<TImage>(form, c.tbFinish, L"img4", 5, 6, 36, 36);
    c.img4->SetAutoSize(true);
    c.lblDesInstallComplete = MakeLabel(form, c.tbFinish, L"lblDesInstallComplete", 56, 17, 120, 15,
                                        L"恭喜！软件已安装成功", pageFont);
    c.btnExit =
        MakeButton(form, c.tbFinish, L"btnExit", 201, 50, 175, 45, L"立即启动", bigButtonFont);
    c.btnExit->SetStretch(true);

    c.btnUninstall = MakeButton(form, c.tbUninstall, L"btnUninstall", 198, 39, 175, 45, L"卸载软件",
                                bigButtonFont);
    c.btnUninstall->SetStretch(true);

    c.lblDesUninstalling = MakeLabel(form, c.tbUninProcess, L"lblDesUninstalling", 25, 23, 162, 15,
                                     L"软件正在卸载，请耐心等候......", pageFont);
    c.lblDesUninstalling->Alignment = TAlignment::taCenter;
    c.lblDesUninstalling->Transparent = false;
    c.lblDesUninstalling->Color = clWindow;
    c.pbUninstall = Make<TProgressBar>(form, c.tbUninProcess, L"pbUninstall", 24, 60, 517, 12);

    c.Image1 = Make<TImage>(form, c.tbUninFinish, L"Image1", 12, 4, 36, 36);
    c.Image1->SetAutoSize(true);
    c.lblDesUninstallComplete =
        MakeLabel(form, c.tbUninFinish, L"lblDesUninstallComplete", 63, 15, 372, 15,
                  L"软件已经卸载完成！如果关于软件使用有任何问题欢迎再与我们联系！", pageFont);
    c.btnUninExit =
        MakeButton(form, c.tbUninFinish, L"btnUninExit", 201, 48, 175, 45, L"退出", bigButtonFont);
    c.btnUninExit->SetStretch(true);

    // The keyboard: the pages' main buttons, the arrow, the path box, "更改目录", and the close
    // button last; Enter presses a page's main button, Esc the close button.
    c.tbInstall->DefaultControl = c.btnInstall;
    c.tbFinish->DefaultControl = c.btnExit;
    c.tbUninstall->DefaultControl = c.btnUninstall;
    c.tbUninFinish->DefaultControl = c.btnUninExit;
    form.CancelControl = c.imgbtnClose;
    form.TabOrder = {c.btnInstall, c.imgDown,          c.imgUp,
                     c.btnExit,    c.btnUninstall,     c.btnUninExit,
                     c.edtPath,    c.btnChangeInstall, c.imgbtnClose};
    for (TControl* control : form.TabOrder)
        control->TabStop = true;
    // What screen readers call the controls whose caption does not say it.
    c.imgbtnClose->AccessibleName = L"关闭";
    c.imgDown->AccessibleName = c.imgUp->AccessibleName = L"自定义安装";
    c.edtPath->AccessibleName = L"安装路径";

    LoadLayoutPictures(c);
}
