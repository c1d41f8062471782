// Libraries planted beside the program under the names of system ones must
// never run. Wine loads its own builtin libraries first by default; the test
// sets, for programs named vocaret.exe only, the order Windows follows for
// libraries that are not known system ones: the program's folder first.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "child_process.h"

namespace {

const char* const plantedNames[] = {"oleacc.dll", "winmm.dll"};
const char* const appDefaults = "Software\\Wine\\AppDefaults\\vocaret.exe";

class NativeFirstLoadOrder {
public:
    NativeFirstLoadOrder() {
        HKEY key = nullptr;
        const std::string overrides = std::string(appDefaults) + "\\DllOverrides";
        applied = RegCreateKeyExA(HKEY_CURRENT_USER, overrides.c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS;
        static const char order[] = "native,builtin";
        for (const char* name : {"oleacc", "winmm"}) {
            applied = applied && RegSetValueExA(key, name, 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(order),
                                                sizeof order) == ERROR_SUCCESS;
        }
        RegCloseKey(key);
    }
    ~NativeFirstLoadOrder() { RegDeleteTreeA(HKEY_CURRENT_USER, appDefaults); }
    NativeFirstLoadOrder(const NativeFirstLoadOrder&) = delete;
    NativeFirstLoadOrder& operator=(const NativeFirstLoadOrder&) = delete;
    bool applied = false;
};

// A folder of its own holding PROGRAM as vocaret.exe, with the planted
// libraries beside it.
std::string plantedFolder(const std::string& name, const std::string& program) {
    const std::string folder = programFolder() + "\\" + name;
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyFileA(program.c_str(), (folder + "\\vocaret.exe").c_str(), FALSE);
    for (const char* library : plantedNames) {
        const std::string planted = folder + "\\" + library;
        CopyFileA((programFolder() + "\\planted\\" + library).c_str(), planted.c_str(), FALSE);
        DeleteFileA((planted + ".ran").c_str());
    }
    return folder;
}

bool ran(const std::string& folder, const char* library) {
    return GetFileAttributesA((folder + "\\" + library + ".ran").c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(ProgramLoading, PlantedSystemLibrariesNeverRunAndTheCueStillPlays) {
    NativeFirstLoadOrder order;
    ASSERT_TRUE(order.applied);

    // The control: loaded by bare name, both planted libraries run.
    const std::string control =
        plantedFolder("planted-control", programFolder() + "\\vocaret_bare_loader.exe");
    ChildProcess loader;
    ASSERT_TRUE(loader.start("\"" + control + "\\vocaret.exe\"", control, false, "", {}));
    ASSERT_TRUE(loader.wait(20000));
    EXPECT_EQ(loader.exitCode(), 0u);
    for (const char* library : plantedNames) {
        ASSERT_TRUE(ran(control, library)) << library << " did not run in the control";
    }

    const std::string folder = plantedFolder("planted-vocaret", programFolder() + "\\vocaret.exe");
    Vocaret vocaret({}, folder);
    ASSERT_NE(vocaret.waitForMainWindow(), nullptr);
    Target target;
    ASSERT_TRUE(target.ready());
    ASSERT_EQ(target.command("name Mentés"), "ok");
    ASSERT_TRUE(target.raiseAndWait("8005"));
    ASSERT_TRUE(vocaret.waitForSounds(1));
    EXPECT_EQ(vocaret.sounds(), std::vector<std::string>{"Sounds\\Save.wav"});
    for (const char* library : plantedNames) {
        EXPECT_FALSE(ran(folder, library)) << "the planted " << library << " ran";
    }
}

}  // namespace
