// Registration: DllRegisterServer writes the classes, names, interfaces and the
// type library; DllUnregisterServer removes exactly those entries.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "frame/com.hpp"
#include "frame/entry.hpp"
#include "platform/registry.hpp"

using namespace t2;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/t2regXXXXXX";
        dir_ = mkdtemp(tmpl);
        old_ = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (old_.empty())
            unsetenv("XDG_DATA_HOME");
        else
            setenv("XDG_DATA_HOME", old_.c_str(), 1);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    std::string dir_, old_;
};

TEST_F(RegistryTest, RegisterAndUnregisterKeepOtherEntries) {
    ASSERT_EQ(platform::registry_path(), dir_ + "/tavolin2/registry");
    ASSERT_TRUE(platform::registry_update({{"Other\\Key", {{"@", "kept"}}}}, {}));
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ASSERT_EQ(DllRegisterServer(), S_OK);  // twice: the same entries, not two copies

    std::vector<platform::RegistryKey> keys;
    ASSERT_TRUE(platform::registry_read(keys));
    // 9 classes x (CLSID, ProgID, Interface) + 2 event interfaces + type library + the foreign key
    EXPECT_EQ(keys.size(), 9u * 3 + 2 + 1 + 1);
    const std::string clsid = "CLSID\\" + guid_text(CLSID_cDIBSection);
    EXPECT_EQ(platform::registry_value(clsid, "ProgID"), "TAVOLIN2.cDIBSection");
    EXPECT_EQ(platform::registry_value(clsid, "ThreadingModel"), "Apartment");
    EXPECT_EQ(platform::registry_value(clsid, "TypeLib"), guid_text(LIBID_TAVOLIN2));
    auto server = platform::registry_value(clsid, "InprocServer32");
    ASSERT_TRUE(server.has_value());
    EXPECT_FALSE(server->empty());
    EXPECT_EQ(platform::registry_value("TAVOLIN2.GIF", "CLSID"), guid_text(CLSID_GIF));
    EXPECT_EQ(platform::registry_value("TypeLib\\" + guid_text(LIBID_TAVOLIN2) + "\\1.0", "@"), "TAVOLIN2");
    EXPECT_EQ(platform::registry_value("Interface\\" + guid_text(DIID___cPalette), "@"), "__cPalette");
    EXPECT_EQ(platform::registry_value("CLSID\\" + guid_text(CLSID_GIF), "Instancing"), "AppObject");

    ASSERT_EQ(DllUnregisterServer(), S_OK);
    ASSERT_TRUE(platform::registry_read(keys));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].name, "Other\\Key");
}

TEST_F(RegistryTest, AForeignClassIsFoundThroughTheRegistry) {
    GUID foreign = *parse_guid("{11111111-2222-3333-4444-555555555555}");
    ASSERT_TRUE(
        platform::registry_update({{"Other.Thing", {{"CLSID", guid_text(foreign)}}},
                                   {"CLSID\\" + guid_text(foreign), {{"InprocServer32", dir_ + "/missing.so"}}}},
                                  {}));
    CLSID c{};
    ASSERT_EQ(T2CLSIDFromProgID("Other.Thing", &c), S_OK);
    EXPECT_TRUE(c == foreign);
    void* p = nullptr;
    EXPECT_EQ(T2CoCreateInstance(foreign, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);  // its file is not there
    EXPECT_EQ(p, nullptr);
}

TEST_F(RegistryTest, AnUnwritableFolderFailsRegistration) {
    setenv("XDG_DATA_HOME", "/proc/no-such-place", 1);
    EXPECT_EQ(DllRegisterServer(), SELFREG_E_CLASS);
}

// Regression: the registration rewrite dropped comments and unparsable lines, and
// replaced a read-only registration file with a writable one.
TEST_F(RegistryTest, RewriteDroppedForeignLinesAndTheFilesMode) {
    const std::string path = platform::registry_path();
    ASSERT_TRUE(platform::registry_update({{"Mine", {{"@", "old"}}}}, {}));
    const std::string foreign = "; written by hand\n[Other]\n@=x\nnot a value line\n# another comment\n";
    {
        std::ofstream f(path, std::ios::app);
        f << foreign;
    }
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(platform::registry_update({{"Mine", {{"@", "new"}}}}, {"Gone"}));
    std::ifstream f(path);
    std::stringstream text;
    text << f.rdbuf();
    EXPECT_NE(text.str().find(foreign), std::string::npos) << text.str();
    EXPECT_EQ(text.str().find("@=old"), std::string::npos) << text.str();
    EXPECT_EQ(platform::registry_value("Mine", "@"), "new");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (geteuid() != 0) {  // a read-only file is refused, not replaced (root may write it)
        chmod(path.c_str(), 0444);
        EXPECT_FALSE(platform::registry_update({{"Mine", {{"@", "newer"}}}}, {}));
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0444u);
        EXPECT_EQ(platform::registry_value("Mine", "@"), "new");
    }
}

// Regression: with no home folder the registry went to /tmp, where any user
// could have chosen the library file others load; and failures said nothing.
TEST_F(RegistryTest, NoUsableHomeFailsWithTheReason) {
    const char* old_home = std::getenv("HOME");
    const std::string home = old_home ? old_home : "";
    auto description = [] {
        IErrorInfo* info = nullptr;
        std::string text;
        if (GetErrorInfo(0, &info) == S_OK && info) {
            BSTR d = nullptr;
            info->GetDescription(&d);
            char* u = T2StringToUTF8(d);
            text = u ? u : "";
            std::free(u);
            SysFreeString(d);
            info->Release();
        }
        return text;
    };
    struct Case {
        const char* xdg;
        const char* home;
        const char* text;
    };
    const Case cases[] = {
        {"relative/data", "/", "no home folder"},
        {"", "/", "no home folder"},
        {"/proc/no-such-folder", "/", "/proc/no-such-folder/tavolin2/registry: "},
    };
    for (const Case& c : cases) {
        setenv("XDG_DATA_HOME", c.xdg, 1);
        setenv("HOME", c.home, 1);
        EXPECT_EQ(DllRegisterServer(), SELFREG_E_CLASS) << c.xdg;
        EXPECT_NE(description().find(c.text), std::string::npos) << c.xdg << ": " << description();
        if (std::string(c.text) == "no home folder") {
            EXPECT_STREQ(T2RegistryPath(), "");
        }
    }
    if (old_home)
        setenv("HOME", home.c_str(), 1);
    else
        unsetenv("HOME");
}

}  // namespace
