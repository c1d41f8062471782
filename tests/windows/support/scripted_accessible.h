// An IAccessible whose answers a test sets: the name (present, absent, with
// NULs or blanks), the result of each call, and the rectangle. It counts its
// references and calls, so a test can check that every reference taken was
// released and every call was made as often as it should be.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

struct ScriptedAnswers {
    std::optional<std::wstring> name = L"";  // nullopt: S_OK with a null BSTR
    HRESULT nameResult = S_OK;
    bool writeNameDespiteResult = false;     // write the name even when nameResult is not S_OK
    HRESULT locationResult = S_OK;
    LONG left = 0, top = 0, width = 0, height = 0;
    bool writeLocationOnFailure = false;
    // Run inside the next get_accName / accLocation, once, before it answers.
    std::function<void()> duringNameQuery;
    std::function<void()> duringLocationQuery;
    // Run inside every get_accName, before it answers.
    std::function<void()> duringEveryNameQuery;
    // Children (ids 1 and up) named by this map, else by childPrefix and
    // their id; with neither, a child answers with the object's name.
    std::map<LONG, std::wstring> childNames;
    std::wstring childPrefix;
};

class ScriptedAccessible final : public IAccessible {
public:
    ScriptedAnswers answers;
    LONG references = 1;  // the creator's own
    int nameQueries = 0;
    int locationQueries = 0;
    int objectRequests = 0;  // WM_GETOBJECT for the client object

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch: not needed by a client that calls through the vtable.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                     EXCEPINFO*, UINT*) override;
    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR*) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR*) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR*) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR*, VARIANT, LONG*) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR*) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT*) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT*) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT, BSTR*) override;
    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override;
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(LONG, VARIANT, VARIANT*) override;
    HRESULT STDMETHODCALLTYPE accHitTest(LONG, LONG, VARIANT*) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override;
};

// Answers WM_GETOBJECT for the client object of `window` with `accessible`;
// returns false for every other message or object id.
bool answerGetObject(ScriptedAccessible& accessible, UINT message, WPARAM wParam, LPARAM lParam,
                     LRESULT* result);
