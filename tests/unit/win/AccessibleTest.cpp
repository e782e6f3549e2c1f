// The form's accessible object as a screen reader gets it (WM_GETOBJECT, then the system's
// ObjectFromLresult), on a hidden form with one control of each kind: what is listed and in
// which order, roles, names, states, values, locations, hit tests and navigation, the default
// action (a press that runs from the message loop), and the object cut off when the form goes.

#include "ui/Forms.h"
#include "ui/StdCtrls.h"
#include "ui/TextImageButton.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <oleacc.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct TRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
using TAccessible = std::unique_ptr<IAccessible, TRelease>;

VARIANT Child(long id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

// What a screen reader sees of one child.
struct TSeen {
    long role;
    std::wstring name;
    long state;
};

class AccessibleTest : public testing::Test {
protected:
    void SetUp() override {
        comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        HMODULE comctl = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        auto init = reinterpret_cast<InitFn>(
            reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        ASSERT_TRUE(init && init(&icc));

        form_ = std::make_unique<TForm>(nullptr);
        TForm& f = *form_;
        f.SetBounds(0, 0, 300, 200);
        // Decoration under everything: never listed.
        new TImage(&f, &f);
        topLabel_ = Label(&f, 10, 10, L"top label");
        go_ = new TTextImageButton(&f, &f);
        go_->SetBounds(100, 40, 80, 30);
        go_->SetCaption(L"Go");
        go_->TabStop = true;
        go_->OnClick = [this](TObject*) { ++presses_; };
        // A picture with a click handler is a button, named by its accessible name.
        more_ = new TImage(&f, &f);
        more_->SetBounds(200, 45, 20, 20);
        more_->AccessibleName = L"More";
        more_->OnClick = [](TObject*) {};
        Label(&f, 10, 80, L"hidden")->SetVisible(false);
        Label(&f, 50, 80, L"");
        auto* panel = new TPanel(&f, &f);
        panel->SetBounds(0, 100, 300, 100);
        Label(panel, 5, 5, L"in panel");
        bar_ = new TProgressBar(&f, panel);
        bar_->SetBounds(5, 40, 100, 10);
        bar_->SetPosition(42);
        // Below the client area until the form grows.
        edit_ = new TEdit(&f, &f, true);
        edit_->SetBounds(10, 250, 200, 23);
        edit_->AccessibleName = L"path";
        edit_->SetText(L"C:\\Some Place");

        object_ = Object();
        ASSERT_TRUE(object_);
    }

    void TearDown() override {
        object_.reset();
        form_.reset();
        if (comStarted_)
            CoUninitialize();
    }

    TLabel* Label(TWinControl* parent, int left, int top, const wchar_t* caption) {
        auto* label = new TLabel(form_.get(), parent);
        label->SetBounds(left, top, 10, 10);
        label->SetCaption(caption);
        return label;
    }

    // The object as a client receives it: WM_GETOBJECT's answer, unmarshalled by oleacc.
    TAccessible Object() {
        const LRESULT answer =
            SendMessageW(form_->Handle(), WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
        if (answer <= 0)
            return nullptr;
        HMODULE oleacc = LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        using FromLresultFn = HRESULT(WINAPI*)(LRESULT, REFIID, WPARAM, void**);
        auto fromLresult = reinterpret_cast<FromLresultFn>(
            reinterpret_cast<void*>(GetProcAddress(oleacc, "ObjectFromLresult")));
        IAccessible* object = nullptr;
        if (!fromLresult || FAILED(fromLresult(answer, __uuidof(IAccessible), 0,
                                               reinterpret_cast<void**>(&object))))
            return nullptr;
        return TAccessible(object);
    }

    std::vector<TSeen> Seen() {
        long count = 0;
        EXPECT_EQ(S_OK, object_->get_accChildCount(&count));
        std::vector<TSeen> seen;
        for (long id = 1; id <= count; ++id) {
            VARIANT role, state;
            BSTR name = nullptr;
            EXPECT_EQ(S_OK, object_->get_accRole(Child(id), &role));
            EXPECT_EQ(S_OK, object_->get_accState(Child(id), &state));
            EXPECT_EQ(S_OK, object_->get_accName(Child(id), &name));
            seen.push_back({role.lVal, std::wstring(name, SysStringLen(name)), state.lVal});
            SysFreeString(name);
        }
        return seen;
    }

    static void ProcessMessages() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }

    bool comStarted_ = false;
    std::unique_ptr<TForm> form_;
    TAccessible object_;
    TLabel* topLabel_ = nullptr;
    TTextImageButton* go_ = nullptr;
    TImage* more_ = nullptr;
    TProgressBar* bar_ = nullptr;
    TEdit* edit_ = nullptr;
    int presses_ = 0;
};

TEST_F(AccessibleTest, ListsWhatIsShownInReadingOrder) {
    const long readOnly = STATE_SYSTEM_READONLY, focusable = STATE_SYSTEM_FOCUSABLE;
    // Rows from the top, each from the left ("Go" and "More" share one); the panel's controls
    // at the panel's place; no decoration, hidden or empty label, nor the edit box below.
    std::vector<TSeen> expected = {
        {ROLE_SYSTEM_STATICTEXT, L"top label", readOnly},
        {ROLE_SYSTEM_PUSHBUTTON, L"Go", focusable},
        {ROLE_SYSTEM_PUSHBUTTON, L"More", focusable},
        {ROLE_SYSTEM_STATICTEXT, L"in panel", readOnly},
        {ROLE_SYSTEM_PROGRESSBAR, L"", readOnly},
    };
    auto check = [&](const char* when) {
        const std::vector<TSeen> seen = Seen();
        ASSERT_EQ(expected.size(), seen.size()) << when;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(expected[i].role, seen[i].role) << when << ", child " << i + 1;
            EXPECT_EQ(expected[i].name, seen[i].name) << when << ", child " << i + 1;
            EXPECT_EQ(expected[i].state, seen[i].state) << when << ", child " << i + 1;
        }
    };
    check("at first");

    // Read live: a disabled button, the focus, a grown window that shows the edit box.
    go_->SetEnabled(false);
    expected[1].state |= STATE_SYSTEM_UNAVAILABLE;
    form_->FocusControl(more_, false);
    expected[2].state |= STATE_SYSTEM_FOCUSED;
    topLabel_->SetCaption(L"renamed");
    expected[0].name = L"renamed";
    form_->SetBounds(0, 0, 300, 300);
    expected.push_back({ROLE_SYSTEM_TEXT, L"path", focusable | readOnly});
    check("after the changes");

    BSTR value = nullptr;
    ASSERT_EQ(S_OK, object_->get_accValue(Child(5), &value));
    EXPECT_STREQ(L"42%", value);
    SysFreeString(value);
    ASSERT_EQ(S_OK, object_->get_accValue(Child(6), &value));
    EXPECT_STREQ(L"C:\\Some Place", value);
    SysFreeString(value);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, object_->get_accValue(Child(2), &value));
    EXPECT_EQ(E_INVALIDARG, object_->get_accName(Child(7), &value));
}

TEST_F(AccessibleTest, LocationHitTestAndNavigation) {
    POINT origin{0, 0};
    ClientToScreen(form_->Handle(), &origin);
    long left, top, width, height;
    // The progress bar: its bounds offset by the panel's.
    ASSERT_EQ(S_OK, object_->accLocation(&left, &top, &width, &height, Child(5)));
    EXPECT_EQ(origin.x + 5, left);
    EXPECT_EQ(origin.y + 140, top);
    EXPECT_EQ(100, width);
    EXPECT_EQ(10, height);

    VARIANT hit;
    ASSERT_EQ(S_OK, object_->accHitTest(origin.x + 210, origin.y + 55, &hit));
    EXPECT_EQ(VT_I4, hit.vt);
    EXPECT_EQ(3, hit.lVal); // "More", over the decoration beneath it
    ASSERT_EQ(S_OK, object_->accHitTest(origin.x + 290, origin.y + 20, &hit));
    EXPECT_EQ(CHILDID_SELF, hit.lVal);
    EXPECT_EQ(S_FALSE, object_->accHitTest(origin.x + 10, origin.y + 250, &hit));
    EXPECT_EQ(VT_EMPTY, hit.vt);

    VARIANT to;
    ASSERT_EQ(S_OK, object_->accNavigate(NAVDIR_FIRSTCHILD, Child(CHILDID_SELF), &to));
    EXPECT_EQ(1, to.lVal);
    ASSERT_EQ(S_OK, object_->accNavigate(NAVDIR_LASTCHILD, Child(CHILDID_SELF), &to));
    EXPECT_EQ(5, to.lVal);
    ASSERT_EQ(S_OK, object_->accNavigate(NAVDIR_NEXT, Child(2), &to));
    EXPECT_EQ(3, to.lVal);
    ASSERT_EQ(S_OK, object_->accNavigate(NAVDIR_RIGHT, Child(2), &to));
    EXPECT_EQ(3, to.lVal);
    ASSERT_EQ(S_OK, object_->accNavigate(NAVDIR_LEFT, Child(3), &to));
    EXPECT_EQ(2, to.lVal);
    // From the panel's label: the label straight above, not the buttons off to the right.
    ASSERT_EQ(S_OK, object_->accNavigate(NAVDIR_UP, Child(4), &to));
    EXPECT_EQ(1, to.lVal);
    EXPECT_EQ(S_FALSE, object_->accNavigate(NAVDIR_NEXT, Child(5), &to));
    EXPECT_EQ(VT_EMPTY, to.vt);
    EXPECT_EQ(S_FALSE, object_->accNavigate(NAVDIR_PREVIOUS, Child(1), &to));

    IDispatch* child = nullptr;
    EXPECT_EQ(S_FALSE, object_->get_accChild(Child(2), &child));
    EXPECT_EQ(nullptr, child);
}

TEST_F(AccessibleTest, DefaultActionPressesFromTheMessageLoop) {
    BSTR action = nullptr;
    ASSERT_EQ(S_OK, object_->get_accDefaultAction(Child(2), &action));
    EXPECT_STREQ(L"Press", action);
    SysFreeString(action);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, object_->accDoDefaultAction(Child(1)));

    ASSERT_EQ(S_OK, object_->accDoDefaultAction(Child(2)));
    EXPECT_EQ(0, presses_) << "the client's call returns before the press";
    ProcessMessages();
    EXPECT_EQ(1, presses_);

    // Hidden between the request and its turn in the message loop: not pressed.
    ASSERT_EQ(S_OK, object_->accDoDefaultAction(Child(2)));
    go_->SetVisible(false);
    ProcessMessages();
    EXPECT_EQ(1, presses_);

    go_->SetVisible(true);
    go_->SetEnabled(false);
    EXPECT_EQ(E_FAIL, object_->accDoDefaultAction(Child(2)));
    ProcessMessages();
    EXPECT_EQ(1, presses_);
}

TEST_F(AccessibleTest, OnlyTheClientAreaAndCutOffWhenTheFormGoes) {
    EXPECT_EQ(0, SendMessageW(form_->Handle(), WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_WINDOW)));
    // A second request gives the same object.
    TAccessible again = Object();
    ASSERT_TRUE(again);
    long count = 0;
    EXPECT_EQ(S_OK, again->get_accChildCount(&count));
    EXPECT_EQ(5, count);

    form_.reset();
    EXPECT_EQ(RPC_E_DISCONNECTED, object_->get_accChildCount(&count));
    VARIANT role;
    EXPECT_EQ(RPC_E_DISCONNECTED, object_->get_accRole(Child(1), &role));
    EXPECT_EQ(RPC_E_DISCONNECTED, again->accDoDefaultAction(Child(2)));
}

} // namespace
