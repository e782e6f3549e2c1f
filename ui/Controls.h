#pragma once
// The window toolkit's core: components owned by a form, windowless controls drawn by their
// container, and windowed controls (with a real window) that host them.
//
// A windowed container paints its windowless children in stacking order into one
// double-buffered surface, routes mouse input to the topmost enabled one under the pointer,
// captures the mouse from press to release and derives enter and leave notifications from
// pointer movement. Exceptions never leave a window procedure: they go to the application's
// error handler.

#include "ui/Font.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The window class of the toolkit's windows (the main window among them).
extern const wchar_t kToolkitWindowClass[];

class TObject {
public:
    virtual ~TObject() = default;
};

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Shift state bits, as mouse and key events report them.
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32,
                      ssDouble = 64;

using TNotifyEvent = std::function<void(TObject* sender)>;
using TMouseEvent =
    std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
// A key event: the handler may change the key code, which is written back into the message.
using TKeyEvent = std::function<void(TObject* sender, WORD& key, TShiftState shift)>;

// The toolkit's own notifications to a control.
constexpr UINT CM_TEXTCHANGED = 0xB012;
constexpr UINT CM_MOUSEENTER = 0xB013;
constexpr UINT CM_MOUSELEAVE = 0xB014;

// A message handed to a control, and the result its handler leaves in it.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

// A mouse message as its handlers read it; for enter and leave the position carries nothing.
struct TWMMouse {
    UINT Msg = 0;
    WPARAM Keys = 0;
    short XPos = 0;
    short YPos = 0;
    LRESULT Result = 0;
};
TWMMouse MouseMessage(const TMessage& message);

// Control style bits. csOpaque: the control declares that it covers its whole rectangle (the
// container paints a fresh surface every time, so it still paints what lies beneath).
// csNoStdEvents: key messages raise none of the control's key events.
using TControlStyle = unsigned;
constexpr TControlStyle csOpaque = 1, csNoStdEvents = 2;

// The shift state of a key message: Alt from its key data, Shift and Ctrl from the keyboard
// state of the thread at the time the message is handled.
TShiftState KeyDataToShiftState(LPARAM keyData);

// Owns the components created with it as owner, and frees them with itself.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    // The toolkit class name, compared by the form's drag-handle wiring.
    virtual std::wstring ClassName() const = 0;
    TComponent* Owner() const { return owner_; }
    // The components this one owns, in the order they were created.
    const std::vector<TComponent*>& Components() const { return components_; }

    std::wstring Name;

private:
    TComponent* owner_;
    std::vector<TComponent*> components_;
};

class TWinControl;

enum class TAlign { alNone, alTop, alBottom };

class TControl : public TComponent {
public:
    TControl(TComponent* owner, TWinControl* parent);
    ~TControl() override;

    TWinControl* Parent() const { return parent_; }
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    RECT BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    virtual void SetBounds(int left, int top, int width, int height);
    void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
    void SetTop(int top) { SetBounds(left_, top, width_, height_); }
    void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
    void SetHeight(int height) { SetBounds(left_, top_, width_, height); }

    // The window's dots per inch: 96 unless the window is on a scaled screen.
    virtual int Dpi() const;
    // A length of the layout (given at 96 DPI) in pixels at the window's DPI; every position
    // and size is scaled through here, so all are rounded the same way.
    int Scaled(int length) const { return MulDiv(length, Dpi(), 96); }
    // Sets the bounds in layout units and keeps them, so that the control can be placed again
    // when the DPI changes.
    void SetLayoutBounds(int left, int top, int width, int height);
    // Takes the window's DPI: the font, and the bounds from the layout's (auto-sized controls
    // then size themselves again).
    virtual void ScaleToDpi();

    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);

    const std::wstring& Caption() const { return caption_; }
    virtual void SetCaption(const std::wstring& caption);

    TFont& Font() { return font_; }
    const TFont& Font() const { return font_; }
    virtual void SetFont(const TFont& font);

    // A system cursor (IDC_*) shown while the pointer is over the control; null for the arrow.
    LPCWSTR Cursor = nullptr;
    // Takes the keyboard focus with Tab and Shift+Tab (in the form's tab order); Enter and
    // Space then press it.
    bool TabStop = false;
    // What a screen reader calls the control when its caption does not say it (or it has none).
    std::wstring AccessibleName;
    // Visible, and so is every container up to the window.
    bool Showing() const;
    // The control has the window's keyboard focus.
    bool Focused() const;
    // What Enter and Space do to the focused control: a click, when it is enabled and shown.
    virtual void Press();
    TControlStyle ControlStyle = 0;

    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnClick;

    virtual bool IsWindowed() const { return false; }

    // Hands a message to the control's own handlers, as a window procedure would: a
    // windowless control has no window to send it to. Handlers may write into `message`.
    virtual void Dispatch(TMessage& message);
    // Dispatches the message and returns its result.
    LRESULT Perform(UINT msg, WPARAM wParam, LPARAM lParam);

    // Windowless drawing: `dc` has its origin at the control's top left.
    virtual void Paint(HDC dc) {}
    // Mouse input, in control coordinates; the default handling of the mouse messages and of
    // the enter and leave notifications that the container dispatches calls these.
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y) {}
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    virtual void Click();

    // Marks the control for repainting by the message loop.
    void Invalidate();
    // Repaints the control now, before returning.
    void Repaint();

protected:
    // Adjusts a proposed size; true when the control may take it (auto-size negotiation).
    virtual bool CanAutoSize(int& width, int& height) { return true; }
    bool autoSize_ = false;
    // The bounds the layout gave, at 96 DPI (left, top, width, height), when it gave them.
    RECT layout_{0, 0, 0, 0};
    bool hasLayout_ = false;

private:
    TWinControl* parent_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;

    TAlign align_ = TAlign::alNone;
    bool visible_ = true;
    bool enabled_ = true;
    // A left press on the control that has not been released yet: its release may click.
    bool clickPending_ = false;
    std::wstring caption_;
    TFont font_;

    friend class TWinControl;
};

// A control with a window of its own. Windowless children are drawn and fed by it.
class TWinControl : public TControl {
public:
    TWinControl(TComponent* owner, TWinControl* parent);
    ~TWinControl() override;

    HWND Handle() const { return hwnd_; }
    bool IsWindowed() const override { return true; }
    void SetBounds(int left, int top, int width, int height) override;
    void SetVisible(bool visible) override;
    void SetEnabled(bool enabled) override;
    void SetCaption(const std::wstring& caption) override;
    void SetFont(const TFont& font) override;
    void ScaleToDpi() override;

    COLORREF Color = clWhite;
    int ClientWidth() const;
    int ClientHeight() const;

    // The children in stacking order (later ones lie above earlier ones).
    const std::vector<TControl*>& Children() const { return children_; }
    void AddChild(TControl* child);
    void RemoveChild(TControl* child);
    // Repositions children that are aligned to an edge.
    void Realign();
    // The topmost visible windowless child under the point, or null; disabled ones only when
    // `allowDisabled` (presses skip them, enter and leave do not).
    TControl* ControlAtPos(POINT clientPoint, bool allowDisabled) const;
    // Paints this container's background and windowless children into `dc`.
    void PaintChildren(HDC dc, const RECT& area);
    // The window this control lies on (the outermost container).
    TWinControl* RootContainer();

    // Keyboard focus, kept by the outermost container for the whole window: the focused
    // control (null for none), set by Tab, by a press of the mouse on a control that takes the
    // focus, and by the edit box when it gets the focus itself. `byKeyboard` turns the focus
    // rectangle on for good (the system's rule: hidden until a key is used).
    TControl* FocusedControl() const { return focused_; }
    void FocusControl(TControl* control, bool byKeyboard);
    bool FocusCuesShown() const { return focusCues_; }

protected:
    // Called on the outermost container after the focus has moved.
    virtual void FocusChanged(TControl* focused) {}

protected:
    // Creates the window; the toolkit's own class unless `className` names a system class.
    // `controlId` is the child window's identifier (0 for none).
    void CreateHandle(LPCWSTR className, DWORD style, DWORD exStyle, HWND parentWindow,
                      int controlId = 0);
    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // The press that reached the container itself, not one of its windowless children.
    virtual void ContainerMouseDown(TMouseButton button, TShiftState shift, int x, int y);

private:
    void HandleMousePress(UINT msg, WPARAM wParam, LPARAM lParam);
    void HandleMouseRelease(UINT msg, WPARAM wParam, LPARAM lParam);
    void HandleMouseMove(WPARAM wParam, LPARAM lParam);
    void SetHovered(TControl* control);

    HWND hwnd_ = nullptr;
    std::vector<TControl*> children_;
    TControl* captured_ = nullptr;
    TControl* hovered_ = nullptr;
    bool trackingLeave_ = false;

protected:
    // Kept on the outermost container: the control with the keyboard focus (windowless or
    // windowed), and whether focus rectangles are drawn (only once a key has been used).
    TControl* focused_ = nullptr;
    bool focusCues_ = false;

    friend class TControl;
};

// What reports an exception that reached a window procedure, a timer or the message loop
// (called inside a catch block). The application installs its own; until then such an
// exception is dropped, so that it never unwinds through the system.
using TToolkitErrorHandler = void (*)();
void SetToolkitErrorHandler(TToolkitErrorHandler handler);
// Hands the exception being handled to the installed error handler.
void HandleToolkitException();
