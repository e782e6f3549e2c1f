#include "ui/LayoutPictures.h"

#include <windows.h>

namespace {

// The picture named `name` among the running program's "PNG" resources; empty when absent.
TPicture LayoutPicture(const wchar_t* name) {
    TPicture picture;
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, name, L"PNG");
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return picture;
    try {
        picture.LoadPngFromMemory(bytes, SizeofResource(module, found));
    } catch (...) {
        picture.Clear(); // the window is usable without its decoration
    }
    return picture;
}

} // namespace

void LoadLayoutPictures(TMainWindowControls& c) {
    const TPicture buttonNormal = LayoutPicture(L"BUTTON_NORMAL");
    const TPicture buttonHover = LayoutPicture(L"BUTTON_HOVER");
    const TPicture buttonDown = LayoutPicture(L"BUTTON_DOWN");
    // Into the holders, as pictures stored with the layout: the buttons keep their layout
    // sizes (the large ones stretch their pictures), and branding replaces the holders later.
    for (TTextImageButton* button : {c.btnInstall, c.btnExit, c.btnUninstall, c.btnUninExit}) {
        button->Bitmap() = buttonNormal;
        button->BitmapOver() = buttonHover;
        button->BitmapDown() = buttonDown;
    }
    c.btnChangeInstall->Bitmap() = LayoutPicture(L"CHANGE_NORMAL");
    c.btnChangeInstall->BitmapOver() = LayoutPicture(L"CHANGE_HOVER");
    c.btnChangeInstall->BitmapDown() = LayoutPicture(L"CHANGE_DOWN");

    TImgBtn& close = *c.imgbtnClose;
    close.Pic() = LayoutPicture(L"CLOSE");
    close.PicUp() = LayoutPicture(L"CLOSE_UP");
    close.PicDown() = LayoutPicture(L"CLOSE_DOWN");
    close.PicDisabled() = LayoutPicture(L"CLOSE_DISABLED");
    close.SetPicture(close.Pic());

    c.imgMain->SetPicture(LayoutPicture(L"BACKGROUND"));
    c.imgDown->SetPicture(LayoutPicture(L"ARROW_DOWN"));
    c.imgUp->SetPicture(LayoutPicture(L"ARROW_UP"));
    const TPicture check = LayoutPicture(L"CHECK");
    c.img4->SetPicture(check);
    c.Image1->SetPicture(check);
    c.img2->SetPicture(LayoutPicture(L"SHADOW"));
    const TPicture vertical = LayoutPicture(L"LINE_VERTICAL");
    c.Image4->SetPicture(vertical);
    c.imgRight->SetPicture(vertical);
    c.img3->SetPicture(LayoutPicture(L"LINE_HORIZONTAL"));
}
