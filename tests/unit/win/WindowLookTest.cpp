// The main window's layout on a hidden window, painted into memory: scaled by DPI (also when
// the window is told of a new DPI), drawn in the system's colours under high contrast, and
// texts drawn as they are ("&" stays) and kept inside their labels.

#include "ui/MainLayout.h"
#include "PaintSurface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

namespace {

// Every windowed container of the form painted at its place in the window: what the window
// shows, but the system's own controls (edit box, progress bar).
class TWindowSurface : public TPaintSurface {
public:
    explicit TWindowSurface(TForm& form) : TPaintSurface(form.ClientWidth(), form.ClientHeight()) {
        Paint(form, 0, 0);
    }
    // How many pixels of `area` (window coordinates) `match` accepts.
    template <typename Match> int Count(const RECT& area, Match match) const {
        int count = 0;
        for (int y = std::max(0L, area.top); y < std::min<LONG>(Height(), area.bottom); ++y)
            for (int x = std::max(0L, area.left); x < std::min<LONG>(Width(), area.right); ++x)
                count += match(At(x, y)) ? 1 : 0;
        return count;
    }

private:
    void Paint(TWinControl& container, int x, int y) {
        PaintContainer(container, x, y);
        for (TControl* child : container.Children())
            if (child->IsWindowed() && child->Visible() && child->ClassName() != L"TEdit" &&
                child->ClassName() != L"TProgressBar")
                Paint(*static_cast<TWinControl*>(child), x + child->Left(), y + child->Top());
    }
};

std::string Text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

// A control's rectangle in the window's coordinates.
RECT InWindow(const TControl& control) {
    RECT r = control.BoundsRect();
    for (const TWinControl* p = control.Parent(); p && p->Parent(); p = p->Parent())
        OffsetRect(&r, p->Left(), p->Top());
    return r;
}

class WindowLookTest : public testing::Test {
protected:
    WindowLookTest() {
        form = std::make_unique<TForm>(nullptr);
        BuildMainLayout(*form, c);
        form->SetLayoutHeight(400);
    }
    ~WindowLookTest() override { OverrideHighContrast(std::nullopt); }

    std::unique_ptr<TForm> form;
    TMainWindowControls c;
};

TEST_F(WindowLookTest, EveryPlaceSizeAndFontFollowsTheDpiAndComesBackExactly) {
    ASSERT_EQ(96, form->Dpi()) << "the test prefix runs at 96 DPI";
    const std::string install96 = Text(c.btnInstall->BoundsRect()),
                      path96 = Text(c.edtPath->BoundsRect());
    const int bigTitleHeight96 = c.lblBigTitle->Height();

    // Told by the system, as when the window moves to a monitor at 150 %.
    RECT suggested{100, 50, 100 + 900, 50 + 600};
    SendMessageW(form->Handle(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(144, form->Dpi());
    EXPECT_EQ(900, form->Width());
    EXPECT_EQ(600, form->Height());
    EXPECT_EQ(100, form->Left());
    EXPECT_EQ("303,53 248x68", Text(c.btnInstall->BoundsRect())) << "202,35 165x45 times 1.5";
    EXPECT_EQ("101,651 632x35", Text(c.edtPath->BoundsRect()));
    EXPECT_EQ(c.cnMain->Left(), 17);     // 11 × 1.5 = 16.5, rounded up as MulDiv does
    EXPECT_EQ(c.imgbtnClose->Top(), -2); // -1 × 1.5 = -1.5, away from zero
    EXPECT_EQ(c.pnl1->Width(), 900);     // aligned to the top: the window's width
    EXPECT_EQ(c.lblBigTitle->Font().PixelHeight(), 47); // 31 px × 1.5 = 46.5
    EXPECT_GT(c.lblBigTitle->Height(), bigTitleHeight96);

    form->ApplyDpi(96);
    EXPECT_EQ(install96, Text(c.btnInstall->BoundsRect()));
    EXPECT_EQ(path96, Text(c.edtPath->BoundsRect()));
    EXPECT_EQ(bigTitleHeight96, c.lblBigTitle->Height());
    EXPECT_EQ(600, form->Width());
    EXPECT_EQ(400, form->Height());
}

TEST_F(WindowLookTest, HighContrastDrawsEveryTextInTheSystemsColours) {
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT), window = GetSysColor(COLOR_WINDOW);
    ASSERT_NE(text, window);
    c.lblBigTitle->SetCaption(L"示例应用");
    c.cnMain->SetActivePage(c.tbProcess);
    form->SetLayoutHeight(500); // the custom-install area open: "安装路径" shows
    // The header's own colour, as its picture would show it.
    c.pnl1->Color = RGB(0, 0, 255);
    const auto isText = [&](COLORREF p) { return Near(p, text); };
    const auto isHeader = [](COLORREF p) { return Near(p, RGB(0, 0, 255)); };
    const TLabel* const labels[] = {c.lblBigTitle, c.lblDescription, c.lblVersion,
                                    c.lblDesInstalling, c.lblPath};

    // The layout's colours: white header texts on the header, the progress text dark grey,
    // "安装路径" in the window text colour.
    OverrideHighContrast(false);
    {
        TWindowSurface surface(*form);
        for (const TLabel* label : labels) {
            const RECT r = InWindow(*label);
            const bool onHeader = label->Parent() == c.pnl1;
            EXPECT_EQ(onHeader, surface.Count(r, isHeader) > 0) << Text(r);
            EXPECT_EQ(label == c.lblPath, surface.Count(r, isText) > 0) << Text(r);
        }
    }
    // High contrast: every one in the system's text colour on its window colour.
    OverrideHighContrast(true);
    TWindowSurface surface(*form);
    for (const TLabel* label : labels) {
        const RECT r = InWindow(*label);
        EXPECT_GT(surface.Count(r, isText), 0) << Text(r);
        EXPECT_GT(surface.Count(r, [&](COLORREF p) { return Near(p, window); }), 0) << Text(r);
        EXPECT_EQ(0, surface.Count(r, isHeader)) << Text(r);
    }
    const RECT button = InWindow(*c.btnUninstall);
    c.cnMain->SetActivePage(c.tbUninstall);
    TWindowSurface buttons(*form);
    EXPECT_GT(buttons.Count(button, isText), 0) << "the button's caption and frame";
}

TEST_F(WindowLookTest, TextsAreDrawnAsTheyAreAndEndInsideTheirLabels) {
    c.lblBigTitle->SetCaption(L"R&D");
    const int withAmpersand = c.lblBigTitle->Width();
    c.lblBigTitle->SetCaption(L"RD");
    EXPECT_GT(withAmpersand, c.lblBigTitle->Width()) << "\"&\" taken for a mnemonic prefix";

    c.lblDescription->SetMaxWidth(120);
    c.lblDescription->SetCaption(L"一个用来演示一键安装的小程序，它的说明长得放不下");
    EXPECT_EQ(120, c.lblDescription->Width());
    c.lblDescription->SetCaption(L"短");
    EXPECT_LT(c.lblDescription->Width(), 120);
}

} // namespace
