// The two picture buttons on a hidden top-level window, driven through the window's own
// message path: presses, moves, releases and double clicks sent to the window, key messages
// dispatched to the push button, flash ticks sent to the flash timer's window. What they show
// is read from the controls and from the window's surface as its container paints it.

#include "ui/Forms.h"
#include "ui/ImgBtn.h"
#include "ui/TextImageButton.h"
#include "PaintSurface.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// ---- Pictures made in memory: one colour, encoded as PNG and decoded by the toolkit.

void AppendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void AppendChunk(std::string& png, const char* type, const std::string& data) {
    AppendBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    png += body;
    AppendBigEndian(png,
                    static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                     static_cast<uInt>(body.size()))));
}

TPicture SolidPicture(int width, int height, COLORREF rgb, BYTE alpha = 255) {
    std::string rows;
    for (int y = 0; y < height; ++y) {
        rows += '\0'; // no filter
        for (int x = 0; x < width; ++x) {
            rows += static_cast<char>(GetRValue(rgb));
            rows += static_cast<char>(GetGValue(rgb));
            rows += static_cast<char>(GetBValue(rgb));
            rows += static_cast<char>(alpha);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    std::string packed(packedSize, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
              reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()), 6);
    packed.resize(packedSize);

    std::string header;
    AppendBigEndian(header, static_cast<std::uint32_t>(width));
    AppendBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x06\x00\x00\x00", 5); // 8-bit RGBA
    std::string png = "\x89PNG\r\n\x1A\n";
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", "");

    TPicture picture;
    picture.LoadPngFromMemory(png.data(), png.size());
    return picture;
}

constexpr COLORREF kRed = RGB(220, 30, 30), kGreen = RGB(30, 200, 30), kBlue = RGB(30, 30, 220),
                   kGrey = RGB(128, 128, 128), kYellow = RGB(255, 255, 0), kCyan = RGB(0, 200, 200);

// ---- The window's surface, painted by its container into memory and read back.

class TSurface : public TPaintSurface {
public:
    explicit TSurface(TWinControl& container)
        : TPaintSurface(container.ClientWidth(), container.ClientHeight()) {
        PaintContainer(container, 0, 0);
    }
    // The smallest rectangle holding every pixel of `area` that `match` accepts; empty (all
    // zero) when none does.
    template <typename Match> RECT Find(RECT area, Match match) const {
        RECT found{0, 0, 0, 0};
        bool any = false;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (match(At(x, y))) {
                    if (!any)
                        found = RECT{x, y, x + 1, y + 1};
                    found.left = std::min(found.left, static_cast<LONG>(x));
                    found.top = std::min(found.top, static_cast<LONG>(y));
                    found.right = std::max(found.right, static_cast<LONG>(x + 1));
                    found.bottom = std::max(found.bottom, static_cast<LONG>(y + 1));
                    any = true;
                }
        return found;
    }
};

// Text drawn in blue over a red or white ground.
bool Bluish(COLORREF c) {
    return GetBValue(c) > GetRValue(c) + 60;
}
bool Dark(COLORREF c) {
    return GetRValue(c) < 70 && GetGValue(c) < 70 && GetBValue(c) < 70;
}

// ---- A hidden top-level window holding the controls, and the mouse as it reaches it.

class PictureButtonsTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartPictureDecoder()); }

    PictureButtonsTest() {
        form.Color = clWhite;
        form.SetBounds(0, 0, 320, 200);
    }

    void Send(UINT msg, WPARAM keys, int x, int y) {
        SendMessageW(form.Handle(), msg, keys, MAKELPARAM(x, y));
    }
    void Move(int x, int y, WPARAM keys = 0) { Send(WM_MOUSEMOVE, keys, x, y); }
    void Press(int x, int y) { Send(WM_LBUTTONDOWN, MK_LBUTTON, x, y); }
    void Release(int x, int y) { Send(WM_LBUTTONUP, 0, x, y); }

    TForm form{nullptr};
    const TPicture normal = SolidPicture(60, 30, kRed);
    const TPicture hover = SolidPicture(60, 30, kGreen);
    const TPicture pressed = SolidPicture(60, 30, kBlue);
    const TPicture disabled = SolidPicture(40, 20, kGrey);
};

// ======================================================================================
// The push button

class TextImageButtonTest : public PictureButtonsTest {
protected:
    // A 60 by 30 button at (20, 20) with its three state pictures, created as form data
    // would make it: the holders are filled in place.
    TTextImageButton& MakeButton() {
        auto* b = new TTextImageButton(&form, &form);
        b->SetBounds(20, 20, 60, 30);
        b->Bitmap() = normal;
        b->BitmapOver() = hover;
        b->BitmapDown() = pressed;
        return *b;
    }
    // Which picture the button shows now.
    std::string Shown(const TTextImageButton& b) const {
        const TPicture& p = b.ShownPicture();
        if (p.Empty())
            return "none";
        return p.SameGraphic(normal)    ? "normal"
               : p.SameGraphic(hover)   ? "hover"
               : p.SameGraphic(pressed) ? "pressed"
                                        : "other";
    }
    // Records every event of the button with the picture shown when it was raised.
    void Record(TTextImageButton& b) {
        b.OnClick = [this, &b](TObject* sender) {
            EXPECT_EQ(sender, &b);
            log.push_back("click:" + Shown(b));
        };
        b.OnMouseDown = [this, &b](TObject*, TMouseButton button, TShiftState shift, int x, int y) {
            EXPECT_EQ(button, TMouseButton::mbLeft);
            log.push_back("down" + std::string(shift & ssDouble ? "(double)" : "") + ":" +
                          Shown(b) + "@" + std::to_string(x) + "," + std::to_string(y));
        };
        b.OnMouseUp = [this, &b](TObject*, TMouseButton, TShiftState, int x, int y) {
            log.push_back("up:" + Shown(b) + "@" + std::to_string(x) + "," + std::to_string(y));
        };
    }
    std::vector<std::string> log;
};

TEST_F(TextImageButtonTest, PressAndReleaseInsideClicksWithThePressedPictureUp) {
    TTextImageButton& b = MakeButton();
    Record(b);
    std::vector<COLORREF> seenByClick;
    auto recordClick = b.OnClick;
    b.OnClick = [&](TObject* sender) {
        recordClick(sender);
        seenByClick.push_back(TSurface(form).At(50, 35));
    };

    EXPECT_EQ(Shown(b), "none");
    { TSurface first(form); } // the first paint takes the normal picture
    EXPECT_EQ(Shown(b), "normal");
    Move(30, 30);
    EXPECT_EQ(Shown(b), "hover");
    Press(30, 30);
    EXPECT_EQ(Shown(b), "pressed");
    Release(70, 45);
    EXPECT_EQ(Shown(b), "hover");
    Move(150, 150);
    EXPECT_EQ(Shown(b), "normal");

    // Mouse events come before their picture, the click between press and release; positions
    // are the control's own.
    EXPECT_EQ(log,
              (std::vector<std::string>{"down:hover@10,10", "click:pressed", "up:pressed@50,25"}));
    ASSERT_EQ(seenByClick.size(), 1u);
    EXPECT_TRUE(Near(seenByClick[0], kBlue)) << std::hex << seenByClick[0];
}

TEST_F(TextImageButtonTest, ReleaseOutsideDoesNotClickAndHoverStaysUntilThePointerMoves) {
    TTextImageButton& b = MakeButton();
    Record(b);
    Move(30, 30);
    Press(30, 30);
    Move(200, 150, MK_LBUTTON); // captured: no leave while the button is held
    EXPECT_EQ(Shown(b), "pressed");
    Release(200, 150);
    EXPECT_EQ(Shown(b), "hover");
    Move(201, 150);
    EXPECT_EQ(Shown(b), "normal");
    EXPECT_EQ(log, (std::vector<std::string>{"down:hover@10,10", "up:pressed@180,130"}));
}

TEST_F(TextImageButtonTest, OtherButtonsChangeNothingAndADoubleClickClicksOnce) {
    TTextImageButton& b = MakeButton();
    Record(b);
    Move(30, 30);
    for (auto [down, up] :
         {std::pair{WM_RBUTTONDOWN, WM_RBUTTONUP}, std::pair{WM_MBUTTONDOWN, WM_MBUTTONUP},
          std::pair{WM_RBUTTONDBLCLK, WM_RBUTTONUP}}) {
        Send(down, 0, 30, 30);
        Send(up, 0, 30, 30);
        EXPECT_EQ(Shown(b), "hover") << "message " << down;
    }
    EXPECT_TRUE(log.empty());

    Press(30, 30);
    Release(30, 30);
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, 30, 30);
    EXPECT_EQ(Shown(b), "pressed");
    Release(30, 30);
    EXPECT_EQ(log,
              (std::vector<std::string>{"down:hover@10,10", "click:pressed", "up:pressed@10,10",
                                        "down(double):hover@10,10", "up:pressed@10,10"}));
}

TEST_F(TextImageButtonTest, EmptyHoverOrPressedPicturesAreNeverSwitchedIn) {
    TTextImageButton& b = MakeButton();
    b.BitmapOver().Clear();
    b.BitmapDown().Clear();
    { TSurface first(form); }
    Move(30, 30);
    Press(30, 30);
    Release(30, 30);
    EXPECT_EQ(Shown(b), "normal");

    // Without a normal picture, leaving keeps whatever was switched in last.
    TTextImageButton& bare = MakeButton();
    bare.SetBounds(100, 100, 60, 30);
    bare.Bitmap().Clear();
    Move(110, 110);
    EXPECT_EQ(Shown(bare), "hover");
    Move(300, 190);
    EXPECT_EQ(Shown(bare), "hover");
}

TEST_F(TextImageButtonTest, DisabledTakesNoPressesButKeepsItsPicture) {
    TTextImageButton& b = MakeButton();
    Record(b);
    b.SetCaption(L"WWW");
    b.SetFont(TFont(L"Tahoma", 16, clWhite, true));
    Move(30, 30);
    b.SetEnabled(false);
    Press(30, 30);
    Release(30, 30);
    Move(200, 150);
    Move(30, 30);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(Shown(b), "hover"); // the last shown picture stays, without a disabled one

    TSurface surface(form);
    EXPECT_TRUE(Near(surface.At(22, 22), kGreen));
    EXPECT_NE(surface.Find(b.BoundsRect(), Dark).right, 0) << "the caption is drawn in black";

    b.SetEnabled(true);
    TSurface enabled(form);
    EXPECT_EQ(enabled.Find(b.BoundsRect(), Dark).right, 0) << "enabled, the font's colour";
}

TEST_F(TextImageButtonTest, DisabledPictureGivesTheSizeAndHidesTheSmallIcon) {
    TTextImageButton& withIcon = MakeButton();
    withIcon.SetBounds(20, 20, 120, 40);
    withIcon.BitmapDisabled() = disabled;
    withIcon.aSmallIcon() = SolidPicture(16, 16, kYellow);
    withIcon.SetEnabled(false);

    TTextImageButton& captioned = MakeButton();
    captioned.SetBounds(20, 100, 120, 40);
    captioned.SetFont(TFont(L"Tahoma", 12, clWhite, true));
    captioned.SetCaption(L"II");
    captioned.BitmapDisabled() = disabled;
    captioned.SetEnabled(false);

    TSurface surface(form);
    EXPECT_EQ(withIcon.Width(), 40);
    EXPECT_EQ(withIcon.Height(), 20);
    EXPECT_TRUE(Near(surface.At(20, 20), kGrey)) << "drawn at (0, 0)";
    EXPECT_TRUE(Near(surface.At(59, 39), kGrey)) << "at its own size";
    EXPECT_TRUE(Near(surface.At(31, 30), kGrey)) << "no small icon over the disabled picture";

    const RECT text = surface.Find(RECT{20, 100, 60, 120}, Dark);
    ASSERT_NE(text.right, 0) << "a black caption";
    EXPECT_NEAR((text.left + text.right) / 2.0, 40, 3) << "centred in the new size";
    EXPECT_NEAR((text.top + text.bottom) / 2.0, 110, 3);
}

TEST_F(TextImageButtonTest, CaptionIsCentredInTheControlAndCutAtItsEdges) {
    TTextImageButton& b = MakeButton();
    b.SetBounds(100, 50, 40, 30);
    b.SetFont(TFont(L"Tahoma", 16, kBlue, true));
    b.SetCaption(L"WWWWWWWWWW");
    TSurface surface(form);
    const RECT inside = surface.Find(b.BoundsRect(), Bluish);
    EXPECT_LE(inside.left, 102) << "the caption starts left of the control's left edge";
    EXPECT_GE(inside.right, 138);
    EXPECT_EQ(surface.Find(RECT{60, 40, 100, 90}, Bluish).right, 0) << "cut at the left edge";
    EXPECT_EQ(surface.Find(RECT{140, 40, 180, 90}, Bluish).right, 0) << "cut at the right edge";
}

TEST_F(TextImageButtonTest, SmallIconIsDrawnAtTheLeftAndPushesAShortCaptionRight) {
    TTextImageButton& b = MakeButton();
    b.SetFont(TFont(L"Tahoma", 14, kBlue, true));
    b.SetCaption(L"I");
    const RECT without = TSurface(form).Find(b.BoundsRect(), Bluish);
    ASSERT_NE(without.right, 0);
    EXPECT_LT(without.left - 20, 32) << "centred, the caption lies left of x = 32";

    b.SetaSmallIcon(SolidPicture(16, 16, kYellow));
    TSurface surface(form);
    const RECT with = surface.Find(b.BoundsRect(), Bluish);
    ASSERT_NE(with.right, 0);
    EXPECT_GE(with.left - 20, 32);
    // At x = 10, y = (30 - 16) div 2 + 1 = 8, at its own size.
    EXPECT_TRUE(Near(surface.At(20 + 10, 20 + 8), kYellow));
    EXPECT_TRUE(Near(surface.At(20 + 25, 20 + 23), kYellow));
    EXPECT_TRUE(Near(surface.At(20 + 9, 20 + 8), kRed));
    EXPECT_TRUE(Near(surface.At(20 + 10, 20 + 7), kRed));
    EXPECT_TRUE(Near(surface.At(20 + 26, 20 + 8), kRed));
}

TEST_F(TextImageButtonTest, PictureRectangleFollowsStretchAndProportional) {
    struct {
        int w, h, cw, ch;
        bool stretch, proportional, transparent;
        RECT expected;
        bool opaque;
    } cases[] = {
        {150, 45, 165, 45, true, false, false, {0, 0, 165, 45}, true},
        {150, 45, 165, 45, true, true, false, {7, 0, 157, 45}, false},
        {150, 45, 165, 45, false, true, false, {7, 0, 157, 45}, false}, // fits: kept as it is
        {200, 100, 100, 100, false, true, false, {0, 25, 100, 75}, false},
        {50, 200, 100, 100, false, true, false, {37, 0, 62, 100}, false},
        {100, 90, 100, 50, true, true, false, {22, 0, 77, 50}, false}, // wide, then too high
        {90, 100, 50, 100, true, true, false, {0, 22, 50, 77}, false}, // high, then too wide
        {200, 50, 100, 100, false, false, false, {-50, 25, 150, 75}, false},
        {200, 200, 100, 100, false, false, false, {-50, -50, 150, 150}, true},
        {60, 30, 60, 30, true, false, true, {0, 0, 60, 30}, false}, // covers, but see-through
        {0, 0, 80, 40, true, false, false, {0, 0, 80, 40}, false},  // no picture
    };
    for (const auto& c : cases) {
        auto* b = new TTextImageButton(&form, &form);
        if (c.w > 0)
            b->SetBitmap(SolidPicture(c.w, c.h, kRed, c.transparent ? 128 : 255));
        b->SetBounds(0, 0, c.cw, c.ch);
        b->SetStretch(c.stretch);
        b->SetProportional(c.proportional);
        const RECT r = b->PictureRect();
        const std::string what = std::to_string(c.w) + "x" + std::to_string(c.h) + " in " +
                                 std::to_string(c.cw) + "x" + std::to_string(c.ch) +
                                 (c.stretch ? " stretch" : "") + (c.proportional ? " prop" : "");
        EXPECT_EQ(r.left, c.expected.left) << what;
        EXPECT_EQ(r.top, c.expected.top) << what;
        EXPECT_EQ(r.right, c.expected.right) << what;
        EXPECT_EQ(r.bottom, c.expected.bottom) << what;
        EXPECT_EQ((b->ControlStyle & csOpaque) != 0, c.opaque) << what;
        delete b;
    }
}

TEST_F(TextImageButtonTest, ProportionalFitIsDrawnCentredOverTheFill) {
    auto* b = new TTextImageButton(&form, &form);
    b->SetBitmap(SolidPicture(150, 45, kRed));
    b->SetBounds(10, 10, 165, 45);
    b->SetStretch(true);
    b->SetProportional(true);
    TSurface surface(form);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_TRUE(Near(surface.At(10 + 6, 30), face));
    EXPECT_TRUE(Near(surface.At(10 + 7, 30), kRed));
    EXPECT_TRUE(Near(surface.At(10 + 156, 30), kRed));
    EXPECT_TRUE(Near(surface.At(10 + 157, 30), face));
}

TEST_F(TextImageButtonTest, ButtonFaceFillStopsAfterTheFirstPaintThatDrawsACaption) {
    // No picture: what shows is the fill, or the window beneath it.
    auto* b = new TTextImageButton(&form, &form);
    b->SetBounds(10, 10, 80, 30);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    ASSERT_FALSE(Near(face, RGB(255, 255, 255)));
    EXPECT_TRUE(Near(TSurface(form).At(12, 12), face));
    EXPECT_TRUE(Near(TSurface(form).At(12, 12), face)) << "no caption yet: still filled";
    b->SetCaption(L"x");
    EXPECT_TRUE(Near(TSurface(form).At(12, 12), face)) << "filled before the caption is drawn";
    EXPECT_TRUE(Near(TSurface(form).At(12, 12), RGB(255, 255, 255)));
}

TEST_F(TextImageButtonTest, AutoSizeKeepsTheNormalPicturesSize) {
    auto* b = new TTextImageButton(&form, &form);
    EXPECT_EQ(b->Width(), 75);
    EXPECT_EQ(b->Height(), 25);
    b->SetAutoSize(true);
    b->SetBounds(5, 6, 120, 40); // no normal picture yet: taken as given
    EXPECT_EQ(b->Width(), 120);
    b->Bitmap() = SolidPicture(77, 26, kRed);
    for (auto [w, h] : {std::pair{77, 26}, {200, 100}, {1, 1}, {0, 0}}) {
        b->SetBounds(5, 6, w, h);
        EXPECT_EQ(b->Width(), 77) << w << "x" << h;
        EXPECT_EQ(b->Height(), 26) << w << "x" << h;
        EXPECT_EQ(b->Left(), 5);
    }

    // Without AutoSize the normal picture's setter still gives its size, stretched or not.
    auto* plain = new TTextImageButton(&form, &form);
    plain->SetStretch(true);
    plain->SetBitmap(SolidPicture(33, 11, kRed));
    EXPECT_EQ(plain->Width(), 33);
    EXPECT_EQ(plain->Height(), 11);
    plain->SetBounds(0, 0, 50, 50);
    EXPECT_EQ(plain->Width(), 50);
}

TEST_F(TextImageButtonTest, KeyMessagesRaiseKeyEventsAndTakeTheKeyBack) {
    TTextImageButton& b = MakeButton();
    std::vector<std::string> keys;
    b.OnKeyDown = [&](TObject* sender, WORD& key, TShiftState shift) {
        EXPECT_EQ(sender, &b);
        keys.push_back("down " + std::to_string(key) + " shift " + std::to_string(shift));
        key = 0; // handled
    };
    b.OnKeyUp = [&](TObject*, WORD& key, TShiftState shift) {
        keys.push_back("up " + std::to_string(key) + " shift " + std::to_string(shift));
    };

    BYTE state[256] = {}, saved[256] = {};
    GetKeyboardState(saved);
    state[VK_SHIFT] = 0x80;
    SetKeyboardState(state);
    TMessage down{WM_KEYDOWN, VK_RETURN, 1, 0};
    b.Dispatch(down);
    SetKeyboardState(saved);
    EXPECT_EQ(down.WParam, 0u) << "the handler's key is written back";
    TMessage altUp{WM_KEYUP, 'A', LPARAM(1) << 29, 0};
    b.Dispatch(altUp);
    EXPECT_EQ(altUp.WParam, WPARAM('A'));

    // The button never has the focus: key messages to the window do not reach it.
    SendMessageW(form.Handle(), WM_KEYDOWN, VK_SPACE, 1);
    b.ControlStyle |= csNoStdEvents;
    b.Perform(WM_KEYDOWN, VK_SPACE, 1);
    EXPECT_EQ(keys, (std::vector<std::string>{"down 13 shift " + std::to_string(ssShift),
                                              "up 65 shift " + std::to_string(ssAlt)}));
}

// ======================================================================================
// The hot button

class ImgBtnTest : public PictureButtonsTest {
protected:
    // A close button at (200, 10) with all four pictures, filled in place as form data does,
    // showing the normal one.
    TImgBtn& MakeButton() {
        auto* b = new TImgBtn(&form, &form);
        b->SetBounds(200, 10, 60, 30);
        b->Pic() = normal;
        b->PicUp() = hover;
        b->PicDown() = pressed;
        b->PicDisabled() = disabled;
        b->SetPicture(normal);
        return *b;
    }
    std::string Shown(const TImgBtn& b) const {
        const TPicture& p = b.Picture();
        if (p.Empty())
            return "none";
        return p.SameGraphic(normal)     ? "normal"
               : p.SameGraphic(hover)    ? "hover"
               : p.SameGraphic(pressed)  ? "pressed"
               : p.SameGraphic(disabled) ? "disabled"
                                         : "other";
    }
    void Record(TImgBtn& b) {
        b.OnClick = [this, &b](TObject*) { log.push_back("click:" + Shown(b)); };
        auto named = [this, &b](const char* name) {
            return [this, &b, name](TWMMouse& msg) {
                log.push_back(std::string(name) + ":" + Shown(b) + " msg " +
                              std::to_string(msg.Msg) + " @" + std::to_string(msg.XPos) + "," +
                              std::to_string(msg.YPos));
            };
        };
        b.OnMouseEnter = named("enter");
        b.OnMouseLeave = named("leave");
        b.OnMouseDown = named("down");
        b.OnMouseUp = named("up");
    }
    void Tick(const TImgBtn& b) { SendMessageW(b.FlashTimer().Handle(), WM_TIMER, 1, 0); }
    std::vector<std::string> log;
};

TEST_F(ImgBtnTest, EnterPressReleaseLeaveShowsTheStatePictures) {
    TImgBtn& b = MakeButton();
    Record(b);
    std::vector<std::string> shown;
    auto step = [&](auto&& action) {
        action();
        shown.push_back(Shown(b));
    };
    step([&] { Move(210, 20); });
    step([&] { Press(210, 20); });
    step([&] { Release(215, 25); });
    step([&] { Move(100, 100); });
    EXPECT_EQ(shown, (std::vector<std::string>{"hover", "pressed", "hover", "normal"}));
    const std::string enter = std::to_string(CM_MOUSEENTER), leave = std::to_string(CM_MOUSELEAVE);
    EXPECT_EQ(log, (std::vector<std::string>{
                       "enter:hover msg " + enter + " @0,0",
                       "down:pressed msg " + std::to_string(WM_LBUTTONDOWN) + " @10,10",
                       "click:pressed", "up:hover msg " + std::to_string(WM_LBUTTONUP) + " @15,15",
                       "leave:normal msg " + leave + " @0,0"}));
}

TEST_F(ImgBtnTest, ReleaseOutsideDoesNotClickAndLeavesOnTheNextMove) {
    TImgBtn& b = MakeButton();
    Record(b);
    Move(210, 20);
    Press(210, 20);
    Move(50, 150, MK_LBUTTON);
    EXPECT_EQ(Shown(b), "pressed") << "no leave arrives while the mouse is captured";
    Release(50, 150);
    EXPECT_EQ(Shown(b), "hover");
    Move(51, 150);
    EXPECT_EQ(Shown(b), "normal");
    for (const std::string& entry : log)
        EXPECT_EQ(entry.find("click"), std::string::npos) << entry;
}

TEST_F(ImgBtnTest, OnlyTheLeftButtonsFirstPressSwitchesPictures) {
    TImgBtn& b = MakeButton();
    Record(b);
    Move(210, 20);
    log.clear();
    for (auto [down, up] :
         {std::pair{WM_RBUTTONDOWN, WM_RBUTTONUP}, std::pair{WM_MBUTTONDOWN, WM_MBUTTONUP},
          std::pair{WM_LBUTTONDBLCLK, WM_LBUTTONUP}}) {
        Send(down, 0, 210, 20);
        EXPECT_EQ(Shown(b), "hover") << "message " << down;
        Send(up, 0, 210, 20);
        EXPECT_EQ(Shown(b), "hover") << "message " << up;
    }
    // The double click's release is a left release: it runs the release handling, not a click.
    EXPECT_EQ(log, (std::vector<std::string>{"up:hover msg " + std::to_string(WM_LBUTTONUP) +
                                             " @10,10"}));
}

TEST_F(ImgBtnTest, EnabledStateAndTheDisabledPicture) {
    TImgBtn& b = MakeButton();
    Record(b);
    Move(210, 20);
    b.SetEnabled(false);
    EXPECT_EQ(Shown(b), "disabled");
    Press(210, 20);
    Release(210, 20);
    EXPECT_EQ(Shown(b), "disabled") << "a disabled button takes no presses";
    Move(100, 100);
    EXPECT_EQ(Shown(b), "normal") << "leaving a disabled button shows the normal picture";
    Move(210, 20);
    EXPECT_EQ(Shown(b), "hover") << "and entering it the hover picture";
    b.SetEnabled(true);
    EXPECT_EQ(Shown(b), "normal");
    // Re-enabled under a resting pointer: not entered until it leaves and comes back, yet it
    // still clicks.
    Press(210, 20);
    EXPECT_EQ(Shown(b), "normal");
    Release(210, 20);
    EXPECT_EQ(log.back(), "up:normal msg " + std::to_string(WM_LBUTTONUP) + " @10,10");
    EXPECT_EQ(log[log.size() - 2], "click:normal");

    b.PicDisabled().Clear();
    b.SetEnabled(false);
    EXPECT_EQ(Shown(b), "normal") << "without a disabled picture";
}

TEST_F(ImgBtnTest, UnsupportedKeepsItsPictureRaisesNothingAndStillClicks) {
    TImgBtn& b = MakeButton();
    Record(b);
    b.Supported = false;
    Move(210, 20);
    Press(210, 20);
    Release(210, 20);
    Move(100, 100);
    EXPECT_EQ(Shown(b), "normal");
    EXPECT_EQ(log, (std::vector<std::string>{"click:normal"}));
}

TEST_F(ImgBtnTest, EmptyPicturesOnEnterLeavePressAndRelease) {
    TImgBtn& b = MakeButton();
    b.PicUp().Clear();
    Move(210, 20);
    EXPECT_EQ(Shown(b), "none") << "enter tests only the normal picture";
    Press(210, 20);
    EXPECT_EQ(Shown(b), "pressed");
    Release(210, 20);
    EXPECT_EQ(Shown(b), "pressed") << "an empty hover picture is not shown on release";

    TImgBtn& bare = MakeButton();
    bare.SetBounds(200, 100, 60, 30);
    bare.Pic().Clear();
    bare.SetPicture(pressed);
    Move(210, 110);
    Move(100, 100);
    EXPECT_EQ(Shown(bare), "pressed") << "without a normal picture, no switching on enter or leave";
}

TEST_F(ImgBtnTest, PicSetterShowsACopyAndTheOthersOnlyKeep) {
    auto* b = new TImgBtn(&form, &form);
    EXPECT_EQ(b->Width(), 105);
    EXPECT_EQ(b->Height(), 105);
    b->SetPicUp(hover);
    b->SetPicDown(pressed);
    b->SetPicDisabled(disabled);
    EXPECT_TRUE(b->Picture().Empty());
    b->SetPic(normal);
    EXPECT_EQ(Shown(*b), "normal");
    // The shown copy does not follow later changes of its holder.
    b->Pic() = SolidPicture(5, 5, kCyan);
    EXPECT_EQ(Shown(*b), "normal");
}

TEST_F(ImgBtnTest, FlashingAlternatesHoverAndPressedAndPausesWhileHeld) {
    TImgBtn& b = MakeButton();
    EXPECT_FALSE(b.FlashTimer().Enabled());
    Tick(b);
    EXPECT_EQ(Shown(b), "normal") << "a stopped timer's tick flashes nothing";

    b.SetFlashed(true);
    EXPECT_TRUE(b.FlashTimer().Enabled());
    EXPECT_EQ(b.FlashTimer().Interval(), 500u);
    std::vector<std::string> shown;
    for (int i = 0; i < 3; ++i) {
        Tick(b);
        shown.push_back(Shown(b));
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"hover", "pressed", "hover"}));

    Move(210, 20);
    Press(210, 20);
    Tick(b);
    Tick(b);
    EXPECT_EQ(Shown(b), "pressed") << "paused while the left button is held";
    Release(210, 20);
    Tick(b);
    EXPECT_EQ(Shown(b), "pressed") << "the fourth tick: even";

    b.SetFlashed(false);
    EXPECT_FALSE(b.FlashTimer().Enabled());
    Tick(b);
    EXPECT_EQ(Shown(b), "pressed") << "the last flash picture stays";
    b.SetFlashed(true);
    Tick(b);
    EXPECT_EQ(Shown(b), "hover") << "the count goes on where it stopped";
}

TEST_F(ImgBtnTest, LostCaptureEndsThePressSoFlashingGoesOn) {
    TImgBtn& b = MakeButton();
    Record(b);
    b.SetFlashed(true);
    Move(210, 20);
    Press(210, 20);
    ReleaseCapture(); // another window takes the mouse mid-press: no release will come
    EXPECT_EQ(Shown(b), "hover");
    Tick(b);
    EXPECT_EQ(Shown(b), "hover") << "the first tick";
    Tick(b);
    EXPECT_EQ(Shown(b), "pressed");
    Release(210, 20);
    for (const std::string& entry : log)
        EXPECT_EQ(entry.find("click"), std::string::npos) << entry;
}

TEST_F(ImgBtnTest, AutoSizeTakesTheSizeOfEachPictureShown) {
    auto* b = new TImgBtn(&form, &form);
    b->SetBounds(200, 10, 30, 30);
    b->SetAutoSize(true);
    b->Pic() = SolidPicture(30, 30, kRed);
    b->PicUp() = SolidPicture(34, 32, kGreen);
    b->PicDown() = SolidPicture(28, 26, kBlue);
    b->SetPicture(b->Pic());
    Move(205, 15);
    EXPECT_EQ(b->Width(), 34);
    EXPECT_EQ(b->Height(), 32);
    Press(205, 15);
    EXPECT_EQ(b->Width(), 28);
    EXPECT_EQ(b->Height(), 26);
    Release(205, 15);
    Move(100, 100);
    EXPECT_EQ(b->Width(), 30);
    EXPECT_EQ(b->Height(), 30);
}

} // namespace
