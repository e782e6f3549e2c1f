#pragma once
// The common base of the program's forms.

#include "ui/Forms.h"

class TCommForm : public TForm {
public:
    explicit TCommForm(TComponent* owner) : TForm(owner) {}
    std::wstring ClassName() const override { return L"TCommForm"; }
};
