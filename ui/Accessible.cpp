#include "ui/Accessible.h"

#include "ui/Forms.h"
#include "ui/ImgBtn.h"
#include "ui/StdCtrls.h"
#include "ui/TextImageButton.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Posted to the form by accDoDefaultAction: the press runs from the message loop, after the
// client's call has returned (a press may run the whole installation).
constexpr UINT CM_ACCESSIBLEPRESS = 0xB020;

// oleacc.dll is no known DLL: it is loaded from the system folder, never imported.
struct TOleacc {
    using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    using CreateStdAccessibleObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
    LresultFromObjectFn LresultFromObject = nullptr;
    CreateStdAccessibleObjectFn CreateStdAccessibleObject = nullptr;
};

const TOleacc& Oleacc() {
    static const TOleacc oleacc = [] {
        TOleacc bound;
        HMODULE module = LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module) {
            bound.LresultFromObject = reinterpret_cast<TOleacc::LresultFromObjectFn>(
                GetProcAddress(module, "LresultFromObject"));
            bound.CreateStdAccessibleObject =
                reinterpret_cast<TOleacc::CreateStdAccessibleObjectFn>(
                    GetProcAddress(module, "CreateStdAccessibleObject"));
        }
        return bound;
    }();
    return oleacc;
}

enum class TKind { Button, Text, Edit, ProgressBar };

// One child as a client sees it: the control, what it is, and where (form client coordinates).
struct TElement {
    TControl* control;
    TKind kind;
    RECT rect;
};

// What a control is to a screen reader; false for what it does not see (decoration, empty
// labels, containers).
bool KindOf(TControl& control, TKind& kind) {
    if (dynamic_cast<TTextImageButton*>(&control) || dynamic_cast<TImgBtn*>(&control)) {
        kind = TKind::Button;
        return true;
    }
    if (auto* image = dynamic_cast<TImage*>(&control)) {
        // A picture that does something when clicked is a button; the rest is decoration.
        kind = TKind::Button;
        return static_cast<bool>(image->OnClick);
    }
    if (dynamic_cast<TLabel*>(&control)) {
        kind = TKind::Text;
        return !control.Caption().empty();
    }
    if (dynamic_cast<TEdit*>(&control)) {
        kind = TKind::Edit;
        return true;
    }
    if (dynamic_cast<TProgressBar*>(&control)) {
        kind = TKind::ProgressBar;
        return true;
    }
    return false;
}

bool IsContainer(const TControl& control) {
    return control.IsWindowed() && !dynamic_cast<const TEdit*>(&control) &&
           !dynamic_cast<const TProgressBar*>(&control);
}

// Appends the shown elements inside `container` (whose top left lies at `origin` in form
// client coordinates, and whose visible part is `clip`) in reading order: rows from the top
// (controls whose heights overlap share a row), each row from the left; a container nested in
// it is read in full at its place.
void Collect(const TWinControl& container, POINT origin, const RECT& clip,
             std::vector<TElement>& out) {
    struct TItem {
        TControl* control;
        RECT rect;
        bool container;
        TKind kind;
    };
    std::vector<TItem> items;
    for (TControl* c : container.Children()) {
        if (!c->Visible())
            continue;
        TItem item{c, c->BoundsRect(), IsContainer(*c), TKind::Text};
        OffsetRect(&item.rect, origin.x, origin.y);
        RECT shown;
        if (!IntersectRect(&shown, &item.rect, &clip))
            continue;
        if (item.container || KindOf(*c, item.kind))
            items.push_back(item);
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const TItem& a, const TItem& b) { return a.rect.top < b.rect.top; });
    for (std::size_t first = 0; first < items.size();) {
        std::size_t end = first + 1;
        LONG bottom = items[first].rect.bottom;
        for (; end < items.size() && items[end].rect.top < bottom; ++end)
            bottom = std::max(bottom, items[end].rect.bottom);
        std::stable_sort(items.begin() + static_cast<std::ptrdiff_t>(first),
                         items.begin() + static_cast<std::ptrdiff_t>(end),
                         [](const TItem& a, const TItem& b) { return a.rect.left < b.rect.left; });
        first = end;
    }
    for (const TItem& item : items) {
        if (!item.container) {
            out.push_back({item.control, item.kind, item.rect});
            continue;
        }
        RECT inner;
        IntersectRect(&inner, &item.rect, &clip);
        Collect(*static_cast<const TWinControl*>(item.control), {item.rect.left, item.rect.top},
                inner, out);
    }
}

std::vector<TElement> ShownElements(const TForm& form) {
    std::vector<TElement> elements;
    const RECT client{0, 0, form.ClientWidth(), form.ClientHeight()};
    Collect(form, {0, 0}, client, elements);
    return elements;
}

BSTR MakeBstr(const std::wstring& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

std::wstring NameOf(const TControl& control) {
    return control.AccessibleName.empty() ? control.Caption() : control.AccessibleName;
}

// The position as a share of the bar's range, as a screen reader says it.
std::wstring ProgressValue(TProgressBar& bar) {
    PBRANGE range{};
    SendMessageW(bar.Handle(), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    const int span = range.iHigh - range.iLow;
    const int percent = span > 0 ? MulDiv(bar.Position() - range.iLow, 100, span) : 0;
    return std::to_wstring(std::clamp(percent, 0, 100)) + L"%";
}

// The index of the control among its parent's children: higher lies above.
std::ptrdiff_t StackingIndex(const TControl& control) {
    const TWinControl* parent = control.Parent();
    if (!parent)
        return 0;
    const auto& siblings = parent->Children();
    return std::find(siblings.begin(), siblings.end(), &control) - siblings.begin();
}

int Depth(const TControl& control) {
    int depth = 0;
    for (const TControl* c = control.Parent(); c; c = c->Parent())
        ++depth;
    return depth;
}

long ChildIdOf(const VARIANT& child) {
    if (child.vt == VT_I4)
        return child.lVal;
    if (child.vt == VT_INT)
        return child.intVal;
    if (child.vt == VT_I2)
        return child.iVal;
    return -1;
}

void SetChildId(VARIANT* out, long id) {
    out->vt = VT_I4;
    out->lVal = id;
}

} // namespace

// The client area's accessible object. It holds the form only, and reads everything else on
// each call, so that nothing it returns can outlive what it describes.
class TClientAccessible final : public IAccessible {
public:
    explicit TClientAccessible(TForm* form) : form_(form) {}

    void Disconnect() { form_ = nullptr; }

    // ---- IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) ||
            riid == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // ---- IDispatch: clients use the interface's own methods.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // ---- IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent)
            return E_POINTER;
        *parent = nullptr;
        if (!form_)
            return RPC_E_DISCONNECTED;
        const auto create = Oleacc().CreateStdAccessibleObject;
        if (!create)
            return S_FALSE;
        return create(form_->Handle(), OBJID_WINDOW, __uuidof(IDispatch),
                      reinterpret_cast<void**>(parent));
    }

    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        if (!form_)
            return RPC_E_DISCONNECTED;
        *count = static_cast<long>(ShownElements(*form_).size());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** dispatch) override {
        if (!dispatch)
            return E_POINTER;
        *dispatch = nullptr;
        const TElement* element = nullptr;
        std::vector<TElement> elements;
        const HRESULT hr = Resolve(child, elements, element);
        if (FAILED(hr))
            return hr;
        // Simple elements have no object of their own; the object itself is nobody's child.
        return element ? S_FALSE : E_INVALIDARG;
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return Text(child, name, [this](const TElement* element, std::wstring& text) {
            if (element) {
                text = NameOf(*element->control);
                return true;
            }
            const int length = GetWindowTextLengthW(form_->Handle());
            text.assign(static_cast<std::size_t>(length) + 1, L'\0');
            text.resize(
                static_cast<std::size_t>(GetWindowTextW(form_->Handle(), text.data(), length + 1)));
            return true;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return Text(child, value, [](const TElement* element, std::wstring& text) {
            if (!element)
                return false;
            if (element->kind == TKind::Edit) {
                text = static_cast<TEdit*>(element->control)->Text();
                return true;
            }
            if (element->kind == TKind::ProgressBar) {
                text = ProgressValue(*static_cast<TProgressBar*>(element->control));
                return true;
            }
            return false;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return Text(child, text, [](const TElement*, std::wstring&) { return false; });
    }

    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role)
            return E_POINTER;
        VariantInit(role);
        const TElement* element = nullptr;
        std::vector<TElement> elements;
        const HRESULT hr = Resolve(child, elements, element);
        if (FAILED(hr))
            return hr;
        long value = ROLE_SYSTEM_CLIENT;
        if (element) {
            switch (element->kind) {
            case TKind::Button:
                value = ROLE_SYSTEM_PUSHBUTTON;
                break;
            case TKind::Text:
                value = ROLE_SYSTEM_STATICTEXT;
                break;
            case TKind::Edit:
                value = ROLE_SYSTEM_TEXT;
                break;
            case TKind::ProgressBar:
                value = ROLE_SYSTEM_PROGRESSBAR;
                break;
            }
        }
        SetChildId(role, value);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state)
            return E_POINTER;
        VariantInit(state);
        const TElement* element = nullptr;
        std::vector<TElement> elements;
        const HRESULT hr = Resolve(child, elements, element);
        if (FAILED(hr))
            return hr;
        long bits = 0;
        if (!element) {
            const HWND window = form_->Handle();
            bits = STATE_SYSTEM_FOCUSABLE;
            if (!IsWindowVisible(window))
                bits |= STATE_SYSTEM_INVISIBLE;
            if (GetFocus() == window)
                bits |= STATE_SYSTEM_FOCUSED;
        } else {
            const TControl& control = *element->control;
            if (!control.Enabled())
                bits |= STATE_SYSTEM_UNAVAILABLE;
            switch (element->kind) {
            case TKind::Button:
                bits |= STATE_SYSTEM_FOCUSABLE;
                break;
            case TKind::Edit:
                bits |= STATE_SYSTEM_FOCUSABLE;
                if (GetWindowLongW(static_cast<const TEdit&>(control).Handle(), GWL_STYLE) &
                    ES_READONLY)
                    bits |= STATE_SYSTEM_READONLY;
                break;
            case TKind::Text:
            case TKind::ProgressBar:
                bits |= STATE_SYSTEM_READONLY;
                break;
            }
            if (control.Focused())
                bits |= STATE_SYSTEM_FOCUSED;
        }
        SetChildId(state, bits);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return Text(child, help, [](const TElement*, std::wstring&) { return false; });
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        if (file)
            *file = nullptr;
        if (topic)
            *topic = 0;
        return form_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
    }

    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return Text(child, shortcut, [this](const TElement* element, std::wstring& text) {
            // Esc presses the cancel control.
            if (!element || element->control != form_->CancelControl)
                return false;
            text = L"Esc";
            return true;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (!focus)
            return E_POINTER;
        VariantInit(focus);
        if (!form_)
            return RPC_E_DISCONNECTED;
        const HWND window = form_->Handle();
        const HWND focused = GetFocus();
        if (!focused || (focused != window && !IsChild(window, focused)))
            return S_FALSE;
        const std::vector<TElement> elements = ShownElements(*form_);
        SetChildId(focus, IdOf(elements, form_->FocusedControl()));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (!selection)
            return E_POINTER;
        VariantInit(selection);
        return form_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
    }

    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return Text(child, action, [](const TElement* element, std::wstring& text) {
            if (!element || element->kind != TKind::Button)
                return false;
            text = L"Press";
            return true;
        });
    }

    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        const TElement* element = nullptr;
        std::vector<TElement> elements;
        const HRESULT hr = Resolve(child, elements, element);
        if (FAILED(hr))
            return hr;
        if (flags != SELFLAG_TAKEFOCUS || !element || !element->control->TabStop)
            return DISP_E_MEMBERNOTFOUND;
        if (!element->control->Enabled())
            return E_FAIL;
        form_->FocusControl(element->control, true);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        if (!left || !top || !width || !height)
            return E_POINTER;
        *left = *top = *width = *height = 0;
        const TElement* element = nullptr;
        std::vector<TElement> elements;
        const HRESULT hr = Resolve(child, elements, element);
        if (FAILED(hr))
            return hr;
        RECT r = element ? element->rect : RECT{0, 0, form_->ClientWidth(), form_->ClientHeight()};
        POINT origin{0, 0};
        ClientToScreen(form_->Handle(), &origin);
        *left = r.left + origin.x;
        *top = r.top + origin.y;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        if (!end)
            return E_POINTER;
        VariantInit(end);
        const TElement* element = nullptr;
        std::vector<TElement> elements;
        const HRESULT hr = Resolve(start, elements, element);
        if (FAILED(hr))
            return hr;
        if (!element) {
            if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
                elements = ShownElements(*form_);
                if (elements.empty())
                    return S_FALSE;
                SetChildId(
                    end, direction == NAVDIR_FIRSTCHILD ? 1L : static_cast<long>(elements.size()));
                return S_OK;
            }
            // The window's siblings are the system's business.
            return S_FALSE;
        }
        const long at = static_cast<long>(element - elements.data()) + 1;
        long to = 0;
        switch (direction) {
        case NAVDIR_NEXT:
            to = at < static_cast<long>(elements.size()) ? at + 1 : 0;
            break;
        case NAVDIR_PREVIOUS:
            to = at - 1;
            break;
        case NAVDIR_LEFT:
        case NAVDIR_RIGHT:
        case NAVDIR_UP:
        case NAVDIR_DOWN:
            to = Nearest(elements, *element, direction);
            break;
        case NAVDIR_FIRSTCHILD:
        case NAVDIR_LASTCHILD:
            return E_INVALIDARG; // a simple element has no children
        default:
            return E_INVALIDARG;
        }
        if (to == 0)
            return S_FALSE;
        SetChildId(end, to);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* hit) override {
        if (!hit)
            return E_POINTER;
        VariantInit(hit);
        if (!form_)
            return RPC_E_DISCONNECTED;
        POINT p{x, y};
        ScreenToClient(form_->Handle(), &p);
        const RECT client{0, 0, form_->ClientWidth(), form_->ClientHeight()};
        if (!PtInRect(&client, p))
            return S_FALSE;
        const std::vector<TElement> elements = ShownElements(*form_);
        // The topmost one: the deepest container's, latest in stacking order.
        long best = CHILDID_SELF;
        int bestDepth = -1;
        std::ptrdiff_t bestIndex = -1;
        for (std::size_t i = 0; i < elements.size(); ++i) {
            if (!PtInRect(&elements[i].rect, p))
                continue;
            const int depth = Depth(*elements[i].control);
            const std::ptrdiff_t index = StackingIndex(*elements[i].control);
            if (depth > bestDepth || (depth == bestDepth && index > bestIndex)) {
                best = static_cast<long>(i) + 1;
                bestDepth = depth;
                bestIndex = index;
            }
        }
        SetChildId(hit, best);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        const TElement* element = nullptr;
        std::vector<TElement> elements;
        const HRESULT hr = Resolve(child, elements, element);
        if (FAILED(hr))
            return hr;
        if (!element || element->kind != TKind::Button)
            return DISP_E_MEMBERNOTFOUND;
        if (!element->control->Enabled())
            return E_FAIL;
        // Checked again when the message arrives: the control may be gone from view by then.
        PostMessageW(form_->Handle(), CM_ACCESSIBLEPRESS, 0,
                     reinterpret_cast<LPARAM>(element->control));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

    // The child id of the control among the shown elements; CHILDID_SELF when it is not one.
    static long IdOf(const std::vector<TElement>& elements, const TControl* control) {
        for (std::size_t i = 0; i < elements.size(); ++i)
            if (elements[i].control == control)
                return static_cast<long>(i) + 1;
        return CHILDID_SELF;
    }

private:
    ~TClientAccessible() = default;

    // Reads the shown elements and finds the one `child` names (null for the object itself).
    HRESULT Resolve(const VARIANT& child, std::vector<TElement>& elements,
                    const TElement*& element) const {
        element = nullptr;
        if (!form_)
            return RPC_E_DISCONNECTED;
        const long id = ChildIdOf(child);
        if (id == CHILDID_SELF)
            return S_OK;
        elements = ShownElements(*form_);
        if (id < 1 || id > static_cast<long>(elements.size()))
            return E_INVALIDARG;
        element = &elements[static_cast<std::size_t>(id - 1)];
        return S_OK;
    }

    // A string property: `read` fills the text and returns true, or false when the element
    // has no such property.
    template <typename Read> HRESULT Text(const VARIANT& child, BSTR* out, Read read) {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        const TElement* element = nullptr;
        std::vector<TElement> elements;
        const HRESULT hr = Resolve(child, elements, element);
        if (FAILED(hr))
            return hr;
        std::wstring text;
        if (!read(element, text))
            return DISP_E_MEMBERNOTFOUND;
        *out = MakeBstr(text);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    // The closest element lying wholly in that direction from `from`; 0 for none.
    static long Nearest(const std::vector<TElement>& elements, const TElement& from,
                        long direction) {
        const RECT& a = from.rect;
        long best = 0;
        long long bestDistance = 0;
        for (std::size_t i = 0; i < elements.size(); ++i) {
            const RECT& b = elements[i].rect;
            if (&elements[i] == &from)
                continue;
            const bool beyond = (direction == NAVDIR_LEFT && b.right <= a.left) ||
                                (direction == NAVDIR_RIGHT && b.left >= a.right) ||
                                (direction == NAVDIR_UP && b.bottom <= a.top) ||
                                (direction == NAVDIR_DOWN && b.top >= a.bottom);
            if (!beyond)
                continue;
            const long long dx = (b.left + b.right) / 2 - (a.left + a.right) / 2;
            const long long dy = (b.top + b.bottom) / 2 - (a.top + a.bottom) / 2;
            const long long distance = dx * dx + dy * dy;
            if (best == 0 || distance < bestDistance) {
                best = static_cast<long>(i) + 1;
                bestDistance = distance;
            }
        }
        return best;
    }

    LONG refs_ = 1;
    TForm* form_;
};

// ---- TFormAccessibility

TFormAccessibility::TFormAccessibility(TForm& form) : form_(form) {}

TFormAccessibility::~TFormAccessibility() {
    if (!object_)
        return;
    object_->Disconnect();
    // Clients in other processes lose their proxies now rather than at their next call.
    CoDisconnectObject(static_cast<IAccessible*>(object_), 0);
    object_->Release();
}

bool TFormAccessibility::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (msg == CM_ACCESSIBLEPRESS) {
        // Pressed only while it is still one of the buttons shown.
        const auto* wanted = reinterpret_cast<const TControl*>(lParam);
        result = 0;
        for (const TElement& element : ShownElements(form_))
            if (element.control == wanted && element.kind == TKind::Button) {
                element.control->Press();
                break;
            }
        return true;
    }
    if (msg != WM_GETOBJECT || static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT))
        return false;
    const auto lresultFromObject = Oleacc().LresultFromObject;
    if (!lresultFromObject)
        return false;
    if (!object_)
        object_ = new TClientAccessible(&form_);
    result = lresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(object_));
    return true;
}

void TFormAccessibility::FocusChanged(TControl* focused) {
    if (!form_.Handle())
        return;
    NotifyWinEvent(EVENT_OBJECT_FOCUS, form_.Handle(), OBJID_CLIENT,
                   TClientAccessible::IdOf(ShownElements(form_), focused));
}
