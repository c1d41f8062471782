#include "scripted_accessible.h"

HRESULT ScriptedAccessible::QueryInterface(REFIID riid, void** object) {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, __uuidof(IAccessible))) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ScriptedAccessible::AddRef() {
    return static_cast<ULONG>(++references);
}

// The object lives as long as its test: the count only tells who still holds it.
ULONG ScriptedAccessible::Release() {
    return static_cast<ULONG>(--references);
}

HRESULT ScriptedAccessible::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}
HRESULT ScriptedAccessible::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT ScriptedAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}
HRESULT ScriptedAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) {
    return E_NOTIMPL;
}

HRESULT ScriptedAccessible::get_accParent(IDispatch** parent) {
    *parent = nullptr;
    return S_FALSE;
}
HRESULT ScriptedAccessible::get_accChildCount(LONG* count) {
    *count = 0;
    return S_OK;
}
HRESULT ScriptedAccessible::get_accChild(VARIANT, IDispatch** child) {
    *child = nullptr;
    return E_INVALIDARG;
}

namespace {

std::optional<std::wstring> childName(const ScriptedAnswers& answers, const VARIANT& child) {
    if (child.vt != VT_I4 || child.lVal <= 0) {
        return std::nullopt;
    }
    const auto named = answers.childNames.find(child.lVal);
    if (named != answers.childNames.end()) {
        return named->second;
    }
    if (!answers.childPrefix.empty()) {
        return answers.childPrefix + std::to_wstring(child.lVal);
    }
    return std::nullopt;
}

}  // namespace

HRESULT ScriptedAccessible::get_accName(VARIANT child, BSTR* name) {
    ++nameQueries;
    if (answers.duringNameQuery) {
        // Once: taken out first, so that it may set answers of its own.
        const std::function<void()> during = std::move(answers.duringNameQuery);
        answers.duringNameQuery = nullptr;
        during();
    }
    if (answers.duringEveryNameQuery) {
        answers.duringEveryNameQuery();
    }
    const bool write = answers.nameResult == S_OK || answers.writeNameDespiteResult;
    const std::optional<std::wstring> ofChild = childName(answers, child);
    const std::optional<std::wstring>& text = ofChild.has_value() ? ofChild : answers.name;
    if (write && text.has_value()) {
        *name = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
    } else if (write) {
        *name = nullptr;
    }
    return answers.nameResult;
}

HRESULT ScriptedAccessible::get_accValue(VARIANT, BSTR*) { return DISP_E_MEMBERNOTFOUND; }
HRESULT ScriptedAccessible::get_accDescription(VARIANT, BSTR*) { return DISP_E_MEMBERNOTFOUND; }
HRESULT ScriptedAccessible::get_accRole(VARIANT, VARIANT* role) {
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_PUSHBUTTON;
    return S_OK;
}
HRESULT ScriptedAccessible::get_accState(VARIANT, VARIANT* state) {
    state->vt = VT_I4;
    state->lVal = STATE_SYSTEM_FOCUSABLE;
    return S_OK;
}
HRESULT ScriptedAccessible::get_accHelp(VARIANT, BSTR*) { return DISP_E_MEMBERNOTFOUND; }
HRESULT ScriptedAccessible::get_accHelpTopic(BSTR*, VARIANT, LONG*) {
    return DISP_E_MEMBERNOTFOUND;
}
HRESULT ScriptedAccessible::get_accKeyboardShortcut(VARIANT, BSTR*) {
    return DISP_E_MEMBERNOTFOUND;
}
HRESULT ScriptedAccessible::get_accFocus(VARIANT*) { return DISP_E_MEMBERNOTFOUND; }
HRESULT ScriptedAccessible::get_accSelection(VARIANT*) { return DISP_E_MEMBERNOTFOUND; }
HRESULT ScriptedAccessible::get_accDefaultAction(VARIANT, BSTR*) { return DISP_E_MEMBERNOTFOUND; }
HRESULT ScriptedAccessible::accSelect(LONG, VARIANT) { return DISP_E_MEMBERNOTFOUND; }

HRESULT ScriptedAccessible::accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT) {
    ++locationQueries;
    if (answers.duringLocationQuery) {
        const std::function<void()> during = std::move(answers.duringLocationQuery);
        answers.duringLocationQuery = nullptr;
        during();
    }
    if (answers.locationResult == S_OK || answers.writeLocationOnFailure) {
        *left = answers.left;
        *top = answers.top;
        *width = answers.width;
        *height = answers.height;
    }
    return answers.locationResult;
}

HRESULT ScriptedAccessible::accNavigate(LONG, VARIANT, VARIANT*) { return DISP_E_MEMBERNOTFOUND; }
HRESULT ScriptedAccessible::accHitTest(LONG, LONG, VARIANT*) { return DISP_E_MEMBERNOTFOUND; }
HRESULT ScriptedAccessible::accDoDefaultAction(VARIANT) { return DISP_E_MEMBERNOTFOUND; }
HRESULT ScriptedAccessible::put_accName(VARIANT, BSTR) { return E_NOTIMPL; }
HRESULT ScriptedAccessible::put_accValue(VARIANT, BSTR) { return E_NOTIMPL; }

bool answerGetObject(ScriptedAccessible& accessible, UINT message, WPARAM wParam, LPARAM lParam,
                     LRESULT* result) {
    if (message != WM_GETOBJECT || static_cast<LONG>(lParam) != OBJID_CLIENT) {
        return false;
    }
    ++accessible.objectRequests;
    *result = LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(&accessible));
    return true;
}
