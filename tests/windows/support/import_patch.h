// Replaces one imported function of this program for the length of a test:
// a stand-in for platform faults that a real platform cannot be made to
// produce (an allocation that fails, an object query that answers S_OK with
// no object), and a way to see the exact arguments of a call.
#pragma once

#include <windows.h>

class ImportPatch {
public:
    ImportPatch(const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool applied() const { return slot_ != nullptr; }
    template <class Function>
    Function original() const {
        return reinterpret_cast<Function>(original_);
    }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};
